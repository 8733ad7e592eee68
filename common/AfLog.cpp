#include "common/AfLog.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "common/GlobalSetting.h"
#include "common/Utility.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/ThreadMessage.h"

namespace {

// A line (prefix and message) holds at most this many bytes; the rest is cut.
constexpr std::size_t kMaxLineBytes = 102399;
constexpr char kByteOrderMark[] = "\xFF\xFE";

CAfLog g_afLog;

// Writers of this process take turns, so that no line is lost to a colliding writer.
std::mutex& FileMutex() {
    static std::mutex mutex;
    return mutex;
}

// Leading decimal digits after blanks and an optional sign; anything else reads as 0.
int LeadingInteger(const std::wstring& text) {
    std::size_t i = text.find_first_not_of(L" \t");
    if (i == std::wstring::npos) {
        return 0;
    }
    bool negative = text[i] == L'-';
    if (text[i] == L'-' || text[i] == L'+') {
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > INT_MAX) {
            return negative ? INT_MIN : INT_MAX;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

// What identifies one state of the settings file; a link is never taken as unchanged, as its
// target may change behind it.
struct TSettingsState {
    std::filesystem::path path;
    plat::FileStatus status;

    bool SameAs(const TSettingsState& other) const {
        return path == other.path && status.bExists == other.status.bExists &&
               (!status.bExists ||
                (status.bRegular && other.status.bRegular && status.device == other.status.device &&
                 status.fileId == other.status.fileId && status.size == other.status.size &&
                 status.changeNanos == other.status.changeNanos));
    }
};

// The logLevel of config.ini as the file says now. Every line asks; the file is parsed again
// only when it changed since the last read, so a new threshold still holds from the next line.
int Threshold() {
    static std::mutex mutex;
    static std::optional<TSettingsState> read;
    static int threshold = 0;
    TSettingsState now;
    now.path = CGlobalSetting::FilePath(L"config.ini");
    now.status = plat::GetFileStatus(now.path);
    std::lock_guard<std::mutex> lock(mutex);
    if (!read || !read->SameAs(now)) {
        CGlobalSetting setting;
        setting.Load(L"config.ini");
        threshold = LeadingInteger(setting.m_wstrLogLevel);
        read = now;
    }
    return threshold;
}

// Drops a UTF-8 sequence that the cut left incomplete at the end of text.
void DropPartialCharacter(std::string& text) {
    std::size_t start = text.size();
    while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80 &&
           text.size() - start < 3) {
        --start;
    }
    if (start == 0) {
        return;
    }
    unsigned char lead = static_cast<unsigned char>(text[start - 1]);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (text.size() - (start - 1) < length) {
        text.resize(start - 1);
    }
}

// printf into the end of line, keeping the line within kMaxLineBytes.
void AppendFormattedV(std::string& line, const char* format, va_list args) {
    std::size_t room = kMaxLineBytes - std::min(line.size(), kMaxLineBytes);
    char small[1024];
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0) {
        return;
    }
    std::size_t length = static_cast<std::size_t>(needed);
    if (length < sizeof small) {
        line.append(small, std::min(length, room));
    } else {
        std::string large(std::min(length, room) + 1, '\0');
        std::vsnprintf(large.data(), large.size(), format, args);
        line.append(large.data(), large.size() - 1);
    }
    if (length > room) {
        DropPartialCharacter(line);
    }
}

void AppendFormatted(std::string& line, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

void AppendFormatted(std::string& line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendFormattedV(line, format, args);
    va_end(args);
}

std::filesystem::path LogFolder(const std::tm& now) {
    char date[64];
    std::snprintf(date, sizeof date, "%02d年%02d月%02d日", now.tm_year % 100, now.tm_mon + 1,
                  now.tm_mday);
    return plat::StateDir() / "log" / date;
}

// <base>.<extension>-<hour>.txt; the extension keeps its own period, so an executable without
// one gives "tandrix.-09.txt".
std::filesystem::path LogFile(const std::tm& now) {
    static const std::filesystem::path executable = plat::ExecutablePath();
    char hour[16];
    std::snprintf(hour, sizeof hour, "%02d", now.tm_hour);
    std::string name =
        executable.stem().string() + "." + executable.extension().string() + "-" + hour + ".txt";
    return LogFolder(now) / name;
}

void AppendUtf16(std::string& out, char32_t c) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>((c >> 8) & 0xFF));
}

// UTF-16LE bytes; a code point outside Unicode becomes U+FFFD.
std::string ToUtf16Le(const std::wstring& text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (wchar_t wc : text) {
        char32_t c = static_cast<char32_t>(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = 0xFFFD;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            AppendUtf16(out, 0xD800 + (c >> 10));
            AppendUtf16(out, 0xDC00 + (c & 0x3FF));
        } else {
            AppendUtf16(out, c);
        }
    }
    return out;
}

}  // namespace

void AfLog(int level, const char* file, const char* function, int line, const char* format, ...) {
    if (level < Threshold()) {
        return;
    }
    std::tm now = plat::Clock::LocalNow();
    std::string text;
    AppendFormatted(text, "%02d:%02d:%02d--file:%32s %35s():L%-4d ~%-4d >> ", now.tm_hour,
                    now.tm_min, now.tm_sec, file ? file : "", function ? function : "", line,
                    static_cast<int>(plat::GetCurrentThreadId()));
    va_list args;
    va_start(args, format);
    AppendFormattedV(text, format ? format : "", args);
    va_end(args);
    g_afLog.AddInfo(StringToWstring(text));
}

void CAfLog::AddInfo(const std::wstring& text) {
    std::string bytes = ToUtf16Le(text + L"\r\n");
    std::filesystem::path path = LogFile(plat::Clock::LocalNow());
    std::lock_guard<std::mutex> lock(FileMutex());
    // The folder is made only when the append finds it missing: once an hour, not every line.
    if (plat::AppendToFile(path, bytes, kByteOrderMark) == ENOENT &&
        plat::CreateFolders(path.parent_path()) == 0) {
        plat::AppendToFile(path, bytes, kByteOrderMark);
    }
}

void CAfLog::CreateFileName(std::wstring& path) {
    std::filesystem::path file = LogFile(plat::Clock::LocalNow());
    plat::CreateFolders(file.parent_path());
    path = StringToWstring(file.string());
}
