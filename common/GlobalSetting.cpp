#include "common/GlobalSetting.h"

#include <cerrno>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "common/Utility.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace {

constexpr std::size_t kMaxValueChars = 1023;
constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
    std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char ca = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char cb = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (ca != cb) {
            return false;
        }
    }
    return true;
}

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

bool IsQuoted(std::string_view value) {
    return value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
}

// One line of the file as it reads: a section header, a key line or anything else.
struct IniLine {
    enum Kind { kOther, kSection, kKey } kind = kOther;
    std::string_view name;
    std::string_view value;
};

IniLine ParseLine(std::string_view text) {
    IniLine line;
    std::string_view body = Trim(text);
    if (!body.empty() && body.front() == '[') {
        line.kind = IniLine::kSection;
        line.name = Trim(body.substr(1, body.find(']') - 1));
        return line;
    }
    std::size_t equals = body.find('=');
    if (equals == std::string_view::npos || Trim(body.substr(0, equals)).empty()) {
        return line;
    }
    line.kind = IniLine::kKey;
    line.name = Trim(body.substr(0, equals));
    line.value = Trim(body.substr(equals + 1));
    if (IsQuoted(line.value)) {
        line.value = line.value.substr(1, line.value.size() - 2);
    }
    return line;
}

// The file as lines without their line ends. A byte-order mark is skipped.
class CIniText {
  public:
    explicit CIniText(std::string_view text) {
        if (text.substr(0, 3) == "\xEF\xBB\xBF") {
            text.remove_prefix(3);
        }
        while (!text.empty()) {
            std::size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            if (!line.empty() && line.back() == '\r') {
                line.remove_suffix(1);
            }
            m_lines.emplace_back(line);
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        }
    }

    std::optional<std::string> Find(std::string_view section, std::string_view key) const {
        std::optional<std::size_t> at = KeyLine(section, key);
        if (!at) {
            return std::nullopt;
        }
        return std::string(ParseLine(m_lines[*at]).value);
    }

    void Set(std::string_view section, std::string_view key, std::string_view value) {
        std::string line = std::string(key) + "=" + Stored(value);
        if (std::optional<std::size_t> at = KeyLine(section, key)) {
            m_lines[*at] = line;
        } else if (std::optional<std::size_t> end = SectionEnd(section)) {
            m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(*end), line);
        } else {
            m_lines.push_back("[" + std::string(section) + "]");
            m_lines.push_back(line);
        }
    }

    std::string Text() const {
        std::string text;
        for (const std::string& line : m_lines) {
            text.append(line).append("\n");
        }
        return text;
    }

  private:
    // Values that would lose blanks or quotes when read back are wrapped in a pair of quotes.
    static std::string Stored(std::string_view value) {
        if (Trim(value).size() != value.size() || IsQuoted(value)) {
            return "\"" + std::string(value) + "\"";
        }
        return std::string(value);
    }

    // Index of the first line of the first section with this name, after its header.
    std::optional<std::size_t> SectionStart(std::string_view section) const {
        for (std::size_t i = 0; i < m_lines.size(); ++i) {
            IniLine line = ParseLine(m_lines[i]);
            if (line.kind == IniLine::kSection && SameName(line.name, section)) {
                return i + 1;
            }
        }
        return std::nullopt;
    }

    std::optional<std::size_t> KeyLine(std::string_view section, std::string_view key) const {
        std::optional<std::size_t> start = SectionStart(section);
        for (std::size_t i = start.value_or(m_lines.size()); i < m_lines.size(); ++i) {
            IniLine line = ParseLine(m_lines[i]);
            if (line.kind == IniLine::kSection) {
                break;
            }
            if (line.kind == IniLine::kKey && SameName(line.name, key)) {
                return i;
            }
        }
        return std::nullopt;
    }

    // Where a new key of the section goes: after its last non-blank line.
    std::optional<std::size_t> SectionEnd(std::string_view section) const {
        std::optional<std::size_t> start = SectionStart(section);
        if (!start) {
            return std::nullopt;
        }
        std::size_t end = *start;
        for (std::size_t i = *start; i < m_lines.size(); ++i) {
            if (ParseLine(m_lines[i]).kind == IniLine::kSection) {
                break;
            }
            if (!Trim(m_lines[i]).empty()) {
                end = i + 1;
            }
        }
        return end;
    }

    std::vector<std::string> m_lines;
};

std::filesystem::path SettingsPath(const std::wstring& fileName) {
    return plat::ConfigDir() / WstringToString(fileName);
}

std::wstring ReadValue(const CIniText& ini, const std::wstring& section, const std::wstring& key) {
    std::optional<std::string> found = ini.Find(WstringToString(section), WstringToString(key));
    std::wstring value = found ? StringToWstring(*found) : std::wstring();
    if (value.size() > kMaxValueChars) {
        value.resize(kMaxValueChars);
    }
    return value;
}

// A missing or unreadable file reads as empty.
CIniText ReadSettings(const std::wstring& fileName) {
    std::string text;
    plat::ReadFile(SettingsPath(fileName), text);
    return CIniText(text);
}

bool HasLineBreakOrNul(const std::wstring& text) {
    return text.find_first_of(std::wstring(L"\r\n\0", 3)) != std::wstring::npos;
}

bool CanStore(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    std::string narrowKey(Trim(WstringToString(key)));
    if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value)) {
        return false;
    }
    return !narrowKey.empty() && narrowKey.front() != '[' &&
           narrowKey.find('=') == std::string::npos && section.find(L']') == std::wstring::npos;
}

std::mutex& WriteMutex() {
    static std::mutex mutex;
    return mutex;
}

int WriteSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value,
                 const std::wstring& fileName) {
    if (!CanStore(section, key, value)) {
        return -2;
    }
    std::lock_guard<std::mutex> lock(WriteMutex());
    std::filesystem::path path = SettingsPath(fileName);
    std::string text;
    int error = plat::ReadFile(path, text);
    // An existing file that cannot be read is left alone rather than replaced by one key.
    if (error != 0 && error != ENOENT) {
        return -2;
    }
    CIniText ini(text);
    ini.Set(Trim(WstringToString(section)), Trim(WstringToString(key)), WstringToString(value));
    return plat::WriteFileAtomic(path, ini.Text(), 0600) == 0 ? 0 : -2;
}

}  // namespace

int CGlobalSetting::Load(const std::wstring& fileName) {
    CIniText ini = ReadSettings(fileName);
    m_wstrUser = ReadValue(ini, L"main", L"user");
    m_wstrLogLevel = ReadValue(ini, L"main", L"logLevel");
    return 0;
}

int CGlobalSetting::Save(const std::wstring& fileName) {
    return WriteSetting(L"main", L"user", m_wstrUser, fileName);
}

int CGlobalSetting::SaveDir(const std::wstring& syncDir, const std::wstring& fileName) {
    return WriteSetting(L"main", L"syncdir", syncDir, fileName);
}

int CGlobalSetting::SetValue(const std::wstring& section, const std::wstring& key,
                             const std::wstring& value, const std::wstring& fileName) {
    return WriteSetting(section, key, value, fileName);
}

int CGlobalSetting::GetValue(const std::wstring& section, const std::wstring& key,
                             std::wstring& value, const std::wstring& fileName) {
    value = ReadValue(ReadSettings(fileName), section, key);
    return 0;
}
