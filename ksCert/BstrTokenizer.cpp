#include "ksCert/BstrTokenizer.h"

std::u16string_view BstrTokenizer::Next() {
  const std::size_t start = text_.find_first_not_of(delimiters_, position_);
  if (start == std::u16string_view::npos) {
    position_ = text_.size();
    return {};
  }
  std::size_t end = text_.find_first_of(delimiters_, start);
  if (end == std::u16string_view::npos) end = text_.size();
  position_ = end;
  return text_.substr(start, end - start);
}
