#include <dcf/dcfBytes.h>

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::uint32_t HexToBytes(std::uint8_t* out, std::uint32_t max, const char* text,
                         const char** end) {
  std::uint32_t count = 0;
  if (text != nullptr) {
    while (count < max) {
      const int high = HexValue(text[0]);
      if (high < 0) break;
      const int low = HexValue(text[1]);  // text[1] exists: text[0] was not the NUL
      if (low < 0) break;
      if (out != nullptr) out[count] = static_cast<std::uint8_t>((high << 4) | low);
      ++count;
      text += 2;
    }
  }
  if (end != nullptr) *end = text;
  return count;
}
