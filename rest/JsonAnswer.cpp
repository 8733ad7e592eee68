#include "rest/JsonAnswer.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <memory>

#include "rest/RestResult.h"

namespace {

// Leading blanks, an optional sign and the digits that follow, as atoi reads them; saturates
// at the limits of long long instead of overflowing.
long long LeadingInteger(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        int digit = text[i] - '0';
        if (value > (LLONG_MAX - digit) / 10) {
            return negative ? LLONG_MIN : LLONG_MAX;
        }
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

bool IsNumber(const Json::Value& value) {
    return value.type() == Json::intValue || value.type() == Json::uintValue ||
           value.type() == Json::realValue;
}

// Building a reader costs more than parsing a short answer; each thread keeps its own, as a
// reader holds the state of the parse under way.
Json::CharReader& AnswerReader() {
    thread_local const std::unique_ptr<Json::CharReader> reader = [] {
        Json::CharReaderBuilder builder;
        builder["collectComments"] = false;
        builder["failIfExtra"] = true;
        builder["stackLimit"] = CJsonAnswer::MAX_NESTING;
        return std::unique_ptr<Json::CharReader>(builder.newCharReader());
    }();
    return *reader;
}

}  // namespace

bool CJsonAnswer::Parse(const std::string& text) {
    Json::CharReader& reader = AnswerReader();
    m_root = Json::Value();
    std::string errors;
    bool parsed = false;
    try {
        parsed = reader.parse(text.data(), text.data() + text.size(), &m_root, &errors);
    } catch (const Json::Exception&) {
        // The parser throws instead of failing when the nesting passes the stack limit.
        parsed = false;
    }
    if (!parsed) {
        m_root = Json::Value();
        return false;
    }
    return m_root.isObject();
}

const Json::Value& CJsonAnswer::Member(const Json::Value& object, const char* key) {
    static const Json::Value null;
    if (!object.isObject()) {
        return null;
    }
    const Json::Value* found = object.find(key, key + std::char_traits<char>::length(key));
    return found != nullptr ? *found : null;
}

long long CJsonAnswer::Code() const {
    return LeadingInteger(Text(m_root, "code"));
}

int CJsonAnswer::Result(int base) const {
    return CodeResult(Text(m_root, "code"), base);
}

int CJsonAnswer::CodeResult(const std::string& codeText, int base) {
    long long code = LeadingInteger(codeText);
    if (code == 0) {
        return REST_OK;
    }
    if (code < 0 || code > REST_MAX_SERVICE_CODE) {
        return REST_BAD_ANSWER;
    }
    return base + static_cast<int>(code);
}

std::string CJsonAnswer::Text(const Json::Value& object, const char* key) {
    const Json::Value& value = Member(object, key);
    switch (value.type()) {
        case Json::stringValue:
        case Json::intValue:
        case Json::uintValue:
        case Json::realValue:
        case Json::booleanValue:
            return value.asString();
        default:
            return {};
    }
}

int CJsonAnswer::Int(const Json::Value& object, const char* key) {
    return NumberToInt(Number(object, key));
}

int CJsonAnswer::NumberToInt(double value) {
    if (!(value > double(INT_MIN) - 1 && value < double(INT_MAX) + 1)) {
        return 0;
    }
    return static_cast<int>(value);
}

double CJsonAnswer::Number(const Json::Value& object, const char* key) {
    const Json::Value& value = Member(object, key);
    return IsNumber(value) ? value.asDouble() : 0.0;
}

int CJsonAnswer::TextToInt(const std::string& text) {
    long long value = LeadingInteger(text);
    return value < INT_MIN || value > INT_MAX ? 0 : static_cast<int>(value);
}

std::string CJsonAnswer::NumberToSizeText(double value) {
    // 2^63 is exactly representable; every double below it converts without overflow.
    constexpr double kLimit = 9223372036854775808.0;
    if (!(value > -kLimit && value < kLimit)) {
        return "0";
    }
    return std::to_string(static_cast<long long>(value));
}
