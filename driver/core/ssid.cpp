#include <cctype>
#include <cstring>

#include "driver/core/station_management.h"

namespace zelnic::core {

bool SsidEquals(const Ssid& a, const Ssid& b) {
  return a.length == b.length && a.length <= 32 && std::memcmp(a.bytes, b.bytes, a.length) == 0;
}

void CopySsid(Ssid& destination, const Ssid& source) {
  destination.length = source.length <= 32 ? source.length : 32;
  std::memcpy(destination.bytes, source.bytes, sizeof destination.bytes);
}

bool IsAnySsid(const Ssid& ssid) {
  if (ssid.length != 3) return false;
  static constexpr char kAny[] = "ANY";
  for (int i = 0; i < 3; ++i)
    if (std::toupper(ssid.bytes[i]) != kAny[i]) return false;
  return true;
}

}  // namespace zelnic::core
