#include "platform/ndis/configuration_number.h"

#include <cctype>

namespace ndis {

std::string TrimConfigurationText(const std::string& text) {
  std::size_t first = 0, last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

bool ParseConfigurationNumber(const std::string& raw, bool hex, std::uint32_t& value) {
  std::string text = TrimConfigurationText(raw);
  bool negative = false;
  if (!hex && !text.empty() && text[0] == '-') {
    negative = true;
    text.erase(0, 1);
  }
  if (hex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.erase(0, 2);
  if (text.empty()) return false;
  std::uint64_t number = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && std::isxdigit(static_cast<unsigned char>(c))) {
      digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    } else {
      return false;
    }
    number = number * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    if (number > 0xFFFFFFFFull) return false;
  }
  value = static_cast<std::uint32_t>(negative ? (0u - static_cast<std::uint32_t>(number)) : number);
  return true;
}

}  // namespace ndis
