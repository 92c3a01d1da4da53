#pragma once
// Splits a text into tokens: maximal runs of characters that are not delimiters.
#include <string_view>

class BstrTokenizer {
public:
  BstrTokenizer(std::u16string_view text, std::u16string_view delimiters)
      : text_(text), delimiters_(delimiters) {}

  // The next token; empty when there is none left.
  std::u16string_view Next();

private:
  std::u16string_view text_;
  std::u16string_view delimiters_;
  std::size_t position_ = 0;
};
