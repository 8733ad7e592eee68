#pragma once
// One JSON answer of the service, read defensively: a member of the wrong type or a missing
// member reads as the default of what the caller asked for, never as an exception. The service's
// interface has "code" and every text member as JSON strings and the integer and number members
// as JSON numbers; a number where text is expected reads as its decimal text.

#include <json/json.h>

#include <string>

class CJsonAnswer {
  public:
    // Nesting deep enough for any answer of the service, shallow enough that a hostile answer of
    // nested brackets cannot exhaust the stack of a parser's recursion.
    static constexpr int MAX_NESTING = 64;

    // False when the text is not valid JSON or its top level is not an object.
    bool Parse(const std::string& text);

    // The "code" member as a result: 0 for success (also when missing, or text that is not a
    // number), else 8000 (base) plus the code. A code outside 1..REST_MAX_SERVICE_CODE, which
    // would collide with the other result ranges, gives REST_BAD_ANSWER.
    int Result(int base) const;
    // The code itself (0 when missing or not a number); only meaningful when Result is not
    // REST_BAD_ANSWER.
    long long Code() const;
    // Result for the text of a "code" member, by the rules of Result.
    static int CodeResult(const std::string& codeText, int base);

    const Json::Value& Root() const { return m_root; }

    // Member readers on any object of the answer. Member gives a null value for a missing
    // member or a non-object.
    static const Json::Value& Member(const Json::Value& object, const char* key);
    static std::string Text(const Json::Value& object, const char* key);
    // JSON numbers within the int range (a fraction is cut); anything else 0.
    static int Int(const Json::Value& object, const char* key);
    // A number cut to int; 0 outside the int range.
    static int NumberToInt(double value);
    // JSON numbers; anything else 0.
    static double Number(const Json::Value& object, const char* key);
    // Text converted like atoi, without its undefined overflow: out of the int range gives 0.
    static int TextToInt(const std::string& text);
    // A number cut to a 64-bit integer and written in decimal ("%lld"); 0 for values outside
    // the 64-bit range.
    static std::string NumberToSizeText(double value);

  private:
    Json::Value m_root;
};
