#include "sim/chip/chip_text.h"

namespace simchip {

std::string Hex(std::uint32_t value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
  return text;
}

std::string MacText(std::span<const std::uint8_t> mac) {
  std::string text;
  for (std::size_t i = 0; i < mac.size(); ++i) text += (i ? "-" : "") + Hex(mac[i], 2);
  return text;
}

std::string ReleaseText(std::uint32_t release) {
  return std::to_string(release >> 24) + "." + std::to_string((release >> 16) & 0xFF) + "." +
         std::to_string((release >> 8) & 0xFF) + "." + std::to_string(release & 0xFF);
}

}  // namespace simchip
