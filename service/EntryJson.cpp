#include "service/EntryJson.h"

#include <cstdio>
#include <ctime>

#include "service/JsonAnswer.h"

std::string StampText(std::int64_t micros) {
    std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%06lld", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<long long>(micros % 1000000));
    return text;
}

void AppendEntryJson(std::string& out, const TEntry& entry) {
    out += "{\"fid\":";
    out += std::to_string(entry.iId);
    out += ",\"fpid\":";
    out += std::to_string(entry.iPId);
    out += ",\"pid\":";
    out += std::to_string(entry.iPId);
    out += ",\"fname\":";
    AppendJsonString(out, entry.strName);
    out += entry.bDir ? ",\"fisdir\":\"0\"" : ",\"fisdir\":\"1\"";
    out += ",\"fsize\":";
    out += std::to_string(entry.iSize);
    out += ",\"fmodify\":\"";
    out += StampText(entry.iModified);
    out += "\",\"fcreate\":\"";
    out += StampText(entry.iCreated);
    out += "\",\"storecode\":";
    AppendJsonString(out, entry.strMD5);
    out += '}';
}
