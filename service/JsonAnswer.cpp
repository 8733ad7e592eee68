#include "service/JsonAnswer.h"

#include "service/EntryName.h"

void AppendJsonString(std::string& out, std::string_view text) {
    static const char digits[] = "0123456789abcdef";
    bool utf8 = IsValidUtf8(text);
    out += '"';
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || (byte >= 0x80 && !utf8)) {
            out += "\\u00";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

CJsonAnswer::CJsonAnswer(int code) {
    m_strText = "{\"code\":\"" + std::to_string(code) + "\"";
}

CJsonAnswer& CJsonAnswer::Text(std::string_view key, std::string_view value) {
    Key(key);
    AppendJsonString(m_strText, value);
    return *this;
}

CJsonAnswer& CJsonAnswer::Integer(std::string_view key, std::int64_t value) {
    Key(key);
    m_strText += std::to_string(value);
    return *this;
}

CJsonAnswer& CJsonAnswer::Raw(std::string_view key, std::string_view json) {
    Key(key);
    m_strText += json;
    return *this;
}

std::string CJsonAnswer::Finish() {
    m_strText += '}';
    return std::move(m_strText);
}

void CJsonAnswer::Key(std::string_view key) {
    m_strText += ',';
    AppendJsonString(m_strText, key);
    m_strText += ':';
}

std::string CodeAnswer(int code) {
    return CJsonAnswer(code).Finish();
}
