#include "ksSupp/wide_text.h"

#include <cstring>

#include <strings/dcfUtf.h>

Utf16FromUtf8::Utf16FromUtf8(const char* text) : null_(text == nullptr) {
  if (text == nullptr) return;
  // One unit per byte and the terminator always suffice.
  const std::size_t bytes = std::strlen(text);
  units_.resize(bytes + 1);
  std::uint32_t written = 0;
  Utf8ToUtf16(units_.data(), static_cast<std::uint32_t>(units_.size()), &written, text, -1,
              nullptr);
  units_.resize(written > 0 ? written - 1 : 0);  // the count includes the terminator
}
