// Text conversions, path arithmetic and the texts of the desktop client. The file-system
// chores are in FileChores.cpp.
#include "common/Utility.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string_view>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

char32_t ValidCodePoint(wchar_t wc) {
    char32_t c = static_cast<char32_t>(wc);
    return (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) ? kReplacement : c;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

struct Utf8Lead {
    std::size_t length;       // bytes of the sequence, 0 for a byte that cannot start one
    unsigned char low, high;  // range of the second byte (excludes overlongs and surrogates)
};

Utf8Lead LeadOf(unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF)
        return {2, 0x80, 0xBF};
    if (b == 0xE0)
        return {3, 0xA0, 0xBF};
    if (b == 0xED)
        return {3, 0x80, 0x9F};
    if (b >= 0xE1 && b <= 0xEF)
        return {3, 0x80, 0xBF};
    if (b == 0xF0)
        return {4, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3)
        return {4, 0x80, 0xBF};
    if (b == 0xF4)
        return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

// Decodes one character at text[i] and advances i. A malformed sequence yields U+FFFD and
// consumes its longest valid beginning (at least one byte).
char32_t DecodeUtf8At(std::string_view text, std::size_t& i) {
    unsigned char b = static_cast<unsigned char>(text[i++]);
    if (b < 0x80) {
        return b;
    }
    Utf8Lead lead = LeadOf(b);
    if (lead.length == 0) {
        return kReplacement;
    }
    char32_t c = b & (0xFF >> (lead.length + 1));
    for (std::size_t k = 1; k < lead.length; ++k) {
        if (i >= text.size()) {
            return kReplacement;
        }
        unsigned char next = static_cast<unsigned char>(text[i]);
        unsigned char low = k == 1 ? lead.low : 0x80;
        unsigned char high = k == 1 ? lead.high : 0xBF;
        if (next < low || next > high) {
            return kReplacement;
        }
        c = (c << 6) | (next & 0x3F);
        ++i;
    }
    return c;
}

std::wstring DecodeUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        out.push_back(static_cast<wchar_t>(DecodeUtf8At(text, i)));
    }
    return out;
}

}  // namespace

std::string WstringToString(std::wstring wstr) {
    std::string out;
    out.reserve(wstr.size());
    for (wchar_t wc : wstr) {
        AppendUtf8(out, ValidCodePoint(wc));
    }
    return out;
}

std::wstring StringToWstring(const std::string& str) {
    return DecodeUtf8(str);
}

void Utf82WideString(const std::string& utf8, std::wstring& wide) {
    wide = DecodeUtf8(utf8);
}

std::string UnicodeToUtf8_new(const std::wstring& wstr) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : WstringToString(wstr)) {
        out.push_back('%');
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0x0F]);
    }
    return out;
}

std::wstring GetRelatePath(const std::wstring& fullPath, const std::wstring& baseFolder) {
    if (fullPath.size() <= baseFolder.size() ||
        fullPath.compare(0, baseFolder.size(), baseFolder) != 0) {
        return fullPath;
    }
    std::size_t restStart = baseFolder.size();
    if (baseFolder.empty() || baseFolder.back() != L'/') {
        // "/S/ab" is not below "/S/a": only a separator may follow the base.
        if (fullPath[restStart] != L'/') {
            return fullPath;
        }
        ++restStart;
    }
    std::wstring rest = fullPath.substr(restStart);
    if (rest.find(L'\\') != std::wstring::npos) {
        return fullPath;
    }
    for (wchar_t& c : rest) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return L".\\" + rest;
}

std::wstring GetAbsolutePath(const std::wstring& relativePath, const std::wstring& baseFolder) {
    if (relativePath.empty()) {
        return baseFolder;
    }
    // Only "/" separates native names: a base ending in a backslash ends in a name.
    bool baseEndsInSeparator = !baseFolder.empty() && baseFolder.back() == L'/';
    std::size_t skip = std::min<std::size_t>(baseEndsInSeparator ? 2 : 1, relativePath.size());
    std::wstring rest = relativePath.substr(skip);
    for (wchar_t& c : rest) {
        if (c == L'\\') {
            c = L'/';
        }
    }
    return baseFolder + rest;
}

std::wstring GetParentPath(const std::wstring& path) {
    std::size_t last = path.rfind(L'\\');
    if (last == std::wstring::npos || last == 0) {
        return std::wstring();
    }
    return path.substr(0, last);
}

std::wstring GetFileName(const std::wstring& path) {
    std::size_t last = path.find_last_of(L"/\\");
    return last == std::wstring::npos ? path : path.substr(last + 1);
}

std::wstring BackupPath(const std::wstring& path, std::time_t now, int attempt) {
    // A clock set absurdly far ahead names the backup after a time that still fits (or
    // after year 1900 when gmtime_r gives up); it must not overflow.
    constexpr std::time_t kUtcPlus8 = 8 * 3600;
    const std::time_t shifted = now > std::numeric_limits<std::time_t>::max() - kUtcPlus8
                                    ? std::numeric_limits<std::time_t>::max()
                                    : now + kUtcPlus8;
    std::tm tm{};
    gmtime_r(&shifted, &tm);
    wchar_t stamp[48];
    std::swprintf(stamp, sizeof stamp / sizeof stamp[0], L"_%4lld%02d%02d%02d%02d%02d",
                  static_cast<long long>(tm.tm_year) + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                  tm.tm_min, tm.tm_sec);
    std::wstring suffix = stamp;
    if (attempt > 0) {
        suffix += L"_" + std::to_wstring(attempt);
    }
    std::size_t nameStart = path.rfind(L'/') == std::wstring::npos ? 0 : path.rfind(L'/') + 1;
    std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || dot <= nameStart) {
        dot = path.size();
    }
    return path.substr(0, dot) + suffix + path.substr(dot);
}

int CountChar(const std::wstring& text, wchar_t ch) {
    int count = 0;
    for (wchar_t c : text) {
        count += c == ch ? 1 : 0;
    }
    return count;
}

// Greedy matching with one backtrack point (the last "*"): linear in practice, never
// exponential, whatever the pattern.
int wildcmp(const wchar_t* text, const wchar_t* pattern) {
    if (text == nullptr || pattern == nullptr) {
        return 0;
    }
    const wchar_t* star = nullptr;
    const wchar_t* resume = nullptr;
    while (*text != L'\0') {
        if (*pattern == L'*') {
            star = ++pattern;
            resume = text;
        } else if (*pattern == L'?' || *pattern == *text) {
            ++pattern;
            ++text;
        } else if (star != nullptr) {
            pattern = star;
            text = ++resume;
        } else {
            return 0;
        }
    }
    while (*pattern == L'*') {
        ++pattern;
    }
    return *pattern == L'\0' ? 1 : 0;
}

// A sign stays in front of the first group.
char* sectionMark(char* out, const char* number, int length) {
    if (out == nullptr) {
        return out;
    }
    std::string_view text;
    if (number != nullptr && length > 0) {
        text = std::string_view(number, strnlen(number, static_cast<std::size_t>(length)));
    }
    std::size_t pos = 0;
    char* write = out;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        *write++ = text[pos++];
    }
    std::size_t integerEnd = std::min(text.find('.', pos), text.size());
    for (; pos < integerEnd; ++pos) {
        *write++ = text[pos];
        std::size_t remaining = integerEnd - pos - 1;
        if (remaining > 0 && remaining % 3 == 0) {
            *write++ = ',';
        }
    }
    *std::copy(text.begin() + static_cast<std::ptrdiff_t>(pos), text.end(), write) = '\0';
    return out;
}

std::wstring AutoReturnString(const std::wstring& text, int width) {
    std::size_t step = width > 0 ? static_cast<std::size_t>(width) : text.size();
    std::wstring out;
    for (std::size_t pos = 0; pos < text.size(); pos += step) {
        out += text.substr(pos, step);
        out += L"\r\n";
    }
    return out;
}

// A pass that makes the text longer means the replacement feeds the pattern: repeating would
// never end. Passes that keep the length may go round in a circle, so they are limited; passes
// that shorten the text end by themselves.
void ReplaceRegex(std::wstring& text, const std::regex& pattern, const std::wstring& replacement) {
    constexpr int kMaxSameLengthPasses = 64;
    std::string narrow = WstringToString(text);
    const std::string narrowReplacement = WstringToString(replacement);
    int sameLengthPasses = 0;
    try {
        while (std::regex_search(narrow, pattern)) {
            std::string next = std::regex_replace(narrow, pattern, narrowReplacement);
            bool changed = next != narrow;
            bool grew = next.size() > narrow.size();
            bool sameLength = next.size() == narrow.size();
            narrow = std::move(next);
            if (!changed || grew || (sameLength && ++sameLengthPasses >= kMaxSameLengthPasses)) {
                break;
            }
        }
    } catch (const std::regex_error&) {
        // The matcher gave up on this text (too complex): keep what the passes so far made.
    }
    text = StringToWstring(narrow);
}
