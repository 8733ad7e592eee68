#pragma once
// Writes the service's JSON answers straight into a string: "code" first and as a string,
// then the members in the order given. Written by hand rather than through a document tree
// because a listing of 100,000 entries must be answered in a fraction of a second.

#include <cstdint>
#include <string>
#include <string_view>

// Appends text as a quoted JSON string. Text that is not UTF-8 has each byte above 0x7F
// written as the code point of the same value, so no byte is lost or merged.
void AppendJsonString(std::string& out, std::string_view text);

class CJsonAnswer {
  public:
    explicit CJsonAnswer(int code);

    CJsonAnswer& Text(std::string_view key, std::string_view value);
    CJsonAnswer& Integer(std::string_view key, std::int64_t value);
    // A member whose value is already JSON (an array, an object).
    CJsonAnswer& Raw(std::string_view key, std::string_view json);

    std::string Finish();

  private:
    void Key(std::string_view key);

    std::string m_strText;
};

// {"code":"<code>"}
std::string CodeAnswer(int code);
