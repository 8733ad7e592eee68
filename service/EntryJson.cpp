#include "service/EntryJson.h"

#include <charconv>
#include <cstdio>
#include <ctime>

#include "service/JsonAnswer.h"

namespace {

void AppendInt(std::string& out, std::int64_t value) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// Listings write two stamps per entry, and neighbouring entries mostly share the second, so
// the date part of the last second is kept.
void AppendStamp(std::string& out, std::int64_t micros) {
    thread_local std::int64_t cachedSecond = -1;
    thread_local char cachedText[64];
    std::int64_t second = micros / 1000000;
    if (second != cachedSecond) {
        auto seconds = static_cast<std::time_t>(second);
        std::tm tm{};
        gmtime_r(&seconds, &tm);
        std::snprintf(cachedText, sizeof cachedText, "%04d-%02d-%02d %02d:%02d:%02d",
                      tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                      tm.tm_sec);
        cachedSecond = second;
    }
    out += cachedText;
    char fraction[8] = {'.'};
    auto rest = static_cast<int>(micros % 1000000);
    for (int i = 6; i >= 1; --i) {
        fraction[i] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    }
    out.append(fraction, 7);
}

}  // namespace

std::string StampText(std::int64_t micros) {
    std::string text;
    AppendStamp(text, micros);
    return text;
}

void AppendEntryJson(std::string& out, const TEntry& entry) {
    out += "{\"fid\":";
    AppendInt(out, entry.iId);
    out += ",\"fpid\":";
    AppendInt(out, entry.iPId);
    out += ",\"pid\":";
    AppendInt(out, entry.iPId);
    out += ",\"fname\":";
    AppendJsonString(out, entry.strName);
    out += entry.bDir ? ",\"fisdir\":\"0\"" : ",\"fisdir\":\"1\"";
    out += ",\"fsize\":";
    AppendInt(out, entry.iSize);
    out += ",\"fmodify\":\"";
    AppendStamp(out, entry.iModified);
    out += "\",\"fcreate\":\"";
    AppendStamp(out, entry.iCreated);
    out += "\",\"storecode\":";
    AppendJsonString(out, entry.strMD5);
    out += '}';
}
