// libFuzzer target over the text conversions and the path arithmetic of common/Utility with
// hostile names: invalid UTF-8, code units outside Unicode, backslashes, dots, empty names,
// separators at either end. Besides running without a crash or undefined behaviour:
//   - decoding then encoding gives the bytes back whenever nothing had to be replaced;
//   - a relative path made from a path below the sync directory converts back to that path,
//     and a plain relative path (names only, no "." or "..") converts to a path inside the
//     sync directory that converts back to it;
//   - parent and file name put together give the path again;
//   - wildcmp agrees with a plain backtracking matcher;
//   - a backup name stays in the item's folder.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "common/Utility.h"

namespace {

// The texts of the case being checked, printed with a broken property.
std::vector<std::wstring> g_shown;

void Show(std::initializer_list<std::wstring> texts) {
    g_shown.assign(texts);
}

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property broken: %s\n", what);
        for (const std::wstring& text : g_shown) {
            std::fprintf(stderr, "  [");
            for (wchar_t wc : text) {
                std::fprintf(stderr, wc >= 0x20 && wc < 0x7F ? "%lc" : "\\x{%X}", wc);
            }
            std::fprintf(stderr, "]\n");
        }
        std::abort();
    }
}

bool IsCodePoint(wchar_t wc) {
    const auto c = static_cast<char32_t>(wc);
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

// Raw code units, many of them no character at all.
std::wstring ConsumeWide(FuzzedDataProvider& input, std::size_t maxLength) {
    std::wstring text;
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, maxLength);
    for (std::size_t i = 0; i < length && input.remaining_bytes() > 0; ++i) {
        text.push_back(static_cast<wchar_t>(input.ConsumeIntegral<std::uint32_t>()));
    }
    return text;
}

void CheckConversions(FuzzedDataProvider& input) {
    const std::string bytes = input.ConsumeRandomLengthString(256);
    const std::wstring wide = StringToWstring(bytes);
    Show({std::wstring(bytes.begin(), bytes.end()), wide});
    std::wstring viaOut;
    Utf82WideString(bytes, viaOut);
    Require(viaOut == wide, "both decoders agree");
    bool bReplaced = false;
    for (wchar_t wc : wide) {
        Require(IsCodePoint(wc), "decoding gives characters only");
        bReplaced = bReplaced || wc == 0xFFFD;
    }
    const std::string encoded = WstringToString(wide);
    Require(StringToWstring(encoded) == wide, "encoding then decoding is exact");
    if (!bReplaced) {
        Require(encoded == bytes, "valid UTF-8 converts back to the same bytes");
    }

    const std::wstring raw = ConsumeWide(input, 64);
    const std::string narrow = WstringToString(raw);
    const std::wstring back = StringToWstring(narrow);
    Show({raw, back});
    Require(back.size() == raw.size(), "every code unit becomes one character");
    for (std::size_t i = 0; i < raw.size(); ++i) {
        Require(back[i] == (IsCodePoint(raw[i]) ? raw[i] : L'\xFFFD'),
                "a code unit reads back or as U+FFFD");
    }
    const std::string percent = UnicodeToUtf8_new(raw);
    Require(percent.size() == 3 * narrow.size(), "every byte is written as %XX");
    for (std::size_t i = 0; i < narrow.size(); ++i) {
        Require(percent[3 * i] == '%' && std::strtoul(percent.substr(3 * i + 1, 2).c_str(), nullptr,
                                                      16) == static_cast<unsigned char>(narrow[i]),
                "%XX holds the byte");
    }
}

// A name from a small alphabet of troublesome characters, or from anything.
std::wstring ConsumeName(FuzzedDataProvider& input) {
    static const wchar_t kAlphabet[] = L"a.\\/ *?\xFFFD\xE9";
    std::wstring name;
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, 8);
    const bool bAny = input.ConsumeBool();
    for (std::size_t i = 0; i < length && input.remaining_bytes() > 0; ++i) {
        if (bAny) {
            name.push_back(static_cast<wchar_t>(input.ConsumeIntegral<std::uint32_t>()));
        } else {
            name.push_back(kAlphabet[input.ConsumeIntegralInRange<std::size_t>(
                0, sizeof kAlphabet / sizeof kAlphabet[0] - 2)]);
        }
    }
    return name;
}

// A name of the relative form: not empty, not "." or "..", no separator, no NUL.
bool IsPlainName(const std::wstring& name) {
    return !name.empty() && name != L"." && name != L".." &&
           name.find_first_of(std::wstring(L"/\\\0", 3)) == std::wstring::npos;
}

bool IsInside(const std::wstring& path, const std::wstring& base) {
    const std::filesystem::path normal =
        std::filesystem::path(WstringToString(path)).lexically_normal();
    std::filesystem::path root = std::filesystem::path(WstringToString(base)).lexically_normal();
    if (!root.has_filename()) {
        root = root.parent_path();
    }
    const std::filesystem::path below = normal.lexically_relative(root);
    return !below.empty() && *below.begin() != ".." && below != ".";
}

void CheckPaths(FuzzedDataProvider& input) {
    std::wstring base = L"/" + ConsumeName(input);
    while (input.ConsumeBool() && base.size() < 64) {
        base += L"/" + ConsumeName(input);
    }

    // Below the base or anywhere else.
    std::wstring full = input.ConsumeBool() ? base + L"/" : L"/";
    std::vector<std::wstring> names;
    for (int i = input.ConsumeIntegralInRange<int>(0, 4); i > 0; --i) {
        names.push_back(ConsumeName(input));
        full += (full.back() == L'/' ? L"" : L"/") + names.back();
    }
    const std::wstring relative = GetRelatePath(full, base);
    Show({base, full, relative});
    if (relative.compare(0, 2, L".\\") == 0) {
        Require(relative.find(L'/') == std::wstring::npos, "the relative form has no slash");
        Require(GetAbsolutePath(relative, base) == full, "relative form converts back");
    } else {
        Require(relative == full, "a path outside the base comes back unchanged");
    }

    // Plain relative paths stay inside the base and convert back.
    std::wstring plain = L".";
    bool bPlain = !names.empty();
    for (const std::wstring& name : names) {
        plain += L"\\" + name;
        bPlain = bPlain && IsPlainName(name);
    }
    const std::wstring absolute = GetAbsolutePath(plain, base);
    Show({base, full, plain, absolute});
    if (bPlain) {
        Require(absolute.compare(0, base.size(), base) == 0, "the base is kept in front");
        Require(IsInside(absolute, base), "a plain relative path stays inside the base");
        Require(GetRelatePath(absolute, base) == plain, "absolute form converts back");
        const std::wstring parent = GetParentPath(plain);
        Require(parent + L"\\" + GetFileName(plain) == plain, "parent and name make the path");
        Require(GetFileName(absolute) == names.back(), "the file name is the last name");
    }
    Require(GetAbsolutePath(L"", base) == base, "an empty relative path is the base");
    const std::wstring fileName = GetFileName(full);
    Require(fileName.find_first_of(L"/\\") == std::wstring::npos, "a file name has no separator");
    Require(full.size() >= fileName.size() &&
                full.compare(full.size() - fileName.size(), fileName.size(), fileName) == 0,
            "the file name ends the path");

    const std::time_t now = input.ConsumeIntegral<std::int64_t>();
    const int attempt = input.ConsumeIntegralInRange<int>(-1, 1000);
    const std::wstring backup = BackupPath(full, now, attempt);
    Show({full, backup});
    const std::size_t slash = full.rfind(L'/');
    const std::size_t folderLength = slash == std::wstring::npos ? 0 : slash + 1;
    Require(backup != full, "a backup name differs");
    Require(backup.compare(0, folderLength, full, 0, folderLength) == 0 &&
                backup.find(L'/', folderLength) == std::wstring::npos,
            "a backup stays in the item's folder");
}

// Plain backtracking over the two texts (both short): the reference for wildcmp.
bool Matches(const wchar_t* text, const wchar_t* pattern) {
    if (*pattern == L'\0') {
        return *text == L'\0';
    }
    if (*pattern == L'*') {
        return Matches(text, pattern + 1) || (*text != L'\0' && Matches(text + 1, pattern));
    }
    return *text != L'\0' && (*pattern == L'?' || *pattern == *text) &&
           Matches(text + 1, pattern + 1);
}

void CheckWildcards(FuzzedDataProvider& input) {
    std::wstring text, pattern;
    for (std::size_t i = input.ConsumeIntegralInRange<std::size_t>(0, 12); i > 0; --i) {
        text.push_back(L"ab*?"[input.ConsumeIntegralInRange<int>(0, 3)]);
    }
    for (std::size_t i = input.ConsumeIntegralInRange<std::size_t>(0, 12); i > 0; --i) {
        pattern.push_back(L"ab*?"[input.ConsumeIntegralInRange<int>(0, 3)]);
    }
    Show({text, pattern});
    Require(
        wildcmp(text.c_str(), pattern.c_str()) == (Matches(text.c_str(), pattern.c_str()) ? 1 : 0),
        "wildcmp agrees with backtracking");
    const std::wstring anyText = ConsumeWide(input, 256);
    const std::wstring anyPattern = ConsumeWide(input, 64);
    wildcmp(anyText.c_str(), anyPattern.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    switch (input.ConsumeIntegralInRange<int>(0, 2)) {
        case 0:
            CheckConversions(input);
            break;
        case 1:
            CheckPaths(input);
            break;
        default:
            CheckWildcards(input);
            break;
    }
    return 0;
}
