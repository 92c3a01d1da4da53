#pragma once
// The CCX elements of a beacon or probe response the station acts on: the access point's
// transmit-power limit, the CCX version, and the Aironet element's CKIP flags and contention
// windows. Each reader takes one element (ID, length, content) and reads only within it.
#include <cstdint>
#include <optional>

namespace zelnic::core {

constexpr std::uint8_t kElementApTxPower = 150;
constexpr std::uint8_t kElementAironet = 133;

// The TX power level (1..4, 5 dBm steps) an AP power element of `power` dBm leaves: lowered to
// power / 5, kept within 1..3, when the limit is below the current level's power.
std::optional<std::uint32_t> CappedTxPowerLevel(const std::uint8_t* element, std::uint32_t length,
                                                std::uint32_t currentLevel);
// The version byte of a CCX version element (221, length 5, 00 40 96 03).
std::optional<std::uint8_t> CcxVersion(const std::uint8_t* element, std::uint32_t length);

struct AironetInfo {
  std::uint8_t ckipFlags = 0;  // element byte 10 (from the ID): key permutation 0x10, CMIC 0x08
  std::uint8_t cwMinExponent = 0;
  std::uint8_t cwMaxExponent = 0;
};
// The Aironet element (133, length above 27).
std::optional<AironetInfo> ParseAironetElement(const std::uint8_t* element, std::uint32_t length);

}  // namespace zelnic::core
