#include "platform/gui/base/utf8.h"

#include <cstdint>

namespace zfw {

size_t utf8SequenceLength(std::string_view s, size_t at) {
  if (at >= s.size()) return 0;
  const auto c = static_cast<unsigned char>(s[at]);
  size_t extra;
  uint32_t cp;
  if (c < 0x80) {
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    extra = 1;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    extra = 2;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    extra = 3;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (at + extra >= s.size()) return 0;
  for (size_t k = 1; k <= extra; ++k) {
    const auto cc = static_cast<unsigned char>(s[at + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return extra + 1;
}

bool isUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = utf8SequenceLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

}  // namespace zfw
