#include "driver/core/ccx_beacon_elements.h"

#include <bit>

#include "driver/core/ckip_cipher.h"
#include "driver/core/little_endian.h"

namespace zelnic::core {
namespace {

constexpr std::uint8_t kElementVendor = 221;
constexpr std::uint8_t kCiscoOui[3] = {0x00, 0x40, 0x96};

// An element whose header and content lie within `length`, of this ID and content length
// (or at least `minContent` when `exact` is false).
bool Fits(const std::uint8_t* e, std::uint32_t length, std::uint8_t id, std::uint32_t content, bool exact) {
  if (e == nullptr || length < 2 || e[0] != id || 2u + e[1] > length) return false;
  return exact ? e[1] == content : e[1] >= content;
}

bool HasCiscoType(const std::uint8_t* e, std::uint8_t type) {
  return e[2] == kCiscoOui[0] && e[3] == kCiscoOui[1] && e[4] == kCiscoOui[2] && e[5] == type;
}

// log2(word + 1): the exponent of a contention window of 2^n - 1 slots.
std::uint8_t WindowExponent(std::uint16_t word) {
  return static_cast<std::uint8_t>(std::bit_width(static_cast<std::uint32_t>(word) + 1) - 1);
}

}  // namespace

std::optional<std::uint32_t> CappedTxPowerLevel(const std::uint8_t* element, std::uint32_t length,
                                                std::uint32_t currentLevel) {
  if (!Fits(element, length, kElementApTxPower, 6, true) || !HasCiscoType(element, 0x00)) return std::nullopt;
  const std::uint32_t powerDbm = element[6];
  if (powerDbm >= currentLevel * 5) return std::nullopt;
  std::uint32_t level = powerDbm / 5;
  if (level < 1) level = 1;
  if (level > 3) level = 3;
  return level;
}

std::optional<std::uint8_t> CcxVersion(const std::uint8_t* element, std::uint32_t length) {
  if (!Fits(element, length, kElementVendor, 5, true) || !HasCiscoType(element, 0x03)) return std::nullopt;
  return element[6];
}

std::optional<AironetInfo> ParseAironetElement(const std::uint8_t* element, std::uint32_t length) {
  if (!Fits(element, length, kElementAironet, 28, false)) return std::nullopt;
  // Offsets count from the element's ID byte: the contention windows at 6 and 8, the CKIP
  // flags at 10 (content bytes 4, 6 and 8), as the station's own Aironet element carries them.
  AironetInfo info;
  info.ckipFlags = element[10] & (kCkipKeyPermutation | kCkipCmic);
  info.cwMinExponent = WindowExponent(Get16(element + 6));
  info.cwMaxExponent = WindowExponent(Get16(element + 8));
  return info;
}

}  // namespace zelnic::core
