#pragma once
// The text of an answer, piece by piece in order, as it arrives, for readers that take an
// answer in one pass without holding it whole. Used by one thread.

#include <string_view>

class CAnswerSource {
  public:
    // The next piece, valid until the next call; false once the answer has ended. A piece may
    // be empty.
    virtual bool Next(std::string_view& piece) = 0;

  protected:
    ~CAnswerSource() = default;
};
