#pragma once
// The parameters of a form body or a query string ("&fpid=0&fname=%E6%96%B0").
//
// Unlike a browser form, "+" stays "+": the client sends Base64 passwords unescaped, and they
// contain "+". Every "%" must be followed by two hex digits; a body that breaks this is
// refused as a whole rather than guessed at.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CFormBody {
  public:
    // false when an escape does not decode; the parameters are then empty.
    bool Parse(std::string_view text);

    // The first value of the parameter.
    std::optional<std::string> Get(std::string_view name) const;
    std::vector<std::string> GetAll(std::string_view name) const;
    // A decimal integer (optional "-", digits, nothing else); nullopt when missing or not one.
    std::optional<std::int64_t> GetInt(std::string_view name) const;

  private:
    std::vector<std::pair<std::string, std::string>> m_params;
};

bool PercentDecode(std::string_view text, std::string& out);
std::optional<std::int64_t> ParseDecimal(std::string_view text);
