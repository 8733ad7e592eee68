#include "common/IniText.h"

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

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

// Values that would lose blanks or quotes when read back are wrapped in a pair of quotes.
std::string Stored(std::string_view value) {
    if (Trim(value).size() != value.size() || IsQuoted(value)) {
        return "\"" + std::string(value) + "\"";
    }
    return std::string(value);
}

bool HasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

}  // namespace

CIniText::CIniText(std::string_view text) {
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        m_bByteOrderMark = true;
        text.remove_prefix(kByteOrderMark.size());
    }
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        // Every CR at the end goes: a kept one would be lost on the next write, whose line
        // ends CR LF read as LF.
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        m_lines.emplace_back(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
}

std::optional<std::string> CIniText::Find(std::string_view section, std::string_view key) const {
    std::optional<std::size_t> at = KeyLine(section, key);
    if (!at) {
        return std::nullopt;
    }
    return std::string(ParseLine(m_lines[*at]).value);
}

bool CIniText::CanStore(std::string_view section, std::string_view key, std::string_view value) {
    if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value)) {
        return false;
    }
    std::string_view name = Trim(key);
    return !name.empty() && name.front() != '[' && name.find('=') == std::string_view::npos &&
           section.find(']') == std::string_view::npos;
}

bool CIniText::Set(std::string_view section, std::string_view key, std::string_view value) {
    if (!CanStore(section, key, value)) {
        return false;
    }
    section = Trim(section);
    key = Trim(key);
    std::string line = std::string(key) + "=" + Stored(value);
    if (std::optional<std::size_t> at = KeyLine(section, key)) {
        m_lines[*at] = line;
    } else if (std::optional<std::size_t> end = SectionEnd(section)) {
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(*end), line);
    } else {
        m_lines.push_back("[" + std::string(section) + "]");
        m_lines.push_back(line);
    }
    return true;
}

std::string CIniText::Text() const {
    std::string text(m_bByteOrderMark ? kByteOrderMark : std::string_view());
    for (const std::string& line : m_lines) {
        text.append(line).append("\n");
    }
    return text;
}

// Index of the first line of the first section with this name, after its header.
std::optional<std::size_t> CIniText::SectionStart(std::string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        IniLine line = ParseLine(m_lines[i]);
        if (line.kind == IniLine::kSection && SameName(line.name, section)) {
            return i + 1;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> CIniText::KeyLine(std::string_view section, std::string_view key) const {
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
std::optional<std::size_t> CIniText::SectionEnd(std::string_view section) const {
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
