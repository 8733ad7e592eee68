#include "service/FormBody.h"

#include <charconv>

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

bool PercentDecode(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return false;
        }
        int high = HexValue(text[i + 1]);
        int low = HexValue(text[i + 2]);
        if (high < 0 || low < 0) {
            return false;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

std::optional<std::int64_t> ParseDecimal(std::string_view text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    if (text.empty() || text[0] == '+') {
        return std::nullopt;
    }
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) {
        return std::nullopt;
    }
    return value;
}

bool CFormBody::Parse(std::string_view text) {
    m_params.clear();
    while (!text.empty()) {
        std::size_t amp = text.find('&');
        std::string_view piece = text.substr(0, amp);
        text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
        if (piece.empty()) {
            continue;
        }
        std::size_t eq = piece.find('=');
        std::string name;
        std::string value;
        if (!PercentDecode(piece.substr(0, eq), name) ||
            (eq != std::string_view::npos && !PercentDecode(piece.substr(eq + 1), value))) {
            m_params.clear();
            return false;
        }
        m_params.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

std::optional<std::string> CFormBody::Get(std::string_view name) const {
    for (const auto& [key, value] : m_params) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

std::vector<std::string> CFormBody::GetAll(std::string_view name) const {
    std::vector<std::string> values;
    for (const auto& [key, value] : m_params) {
        if (key == name) {
            values.push_back(value);
        }
    }
    return values;
}

std::optional<std::int64_t> CFormBody::GetInt(std::string_view name) const {
    auto value = Get(name);
    return value ? ParseDecimal(*value) : std::nullopt;
}
