#pragma once
// 16-bit fields of 802.11 frames and firmware records: little-endian, at any alignment.
#include <cstdint>

namespace zelnic::core {

inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

inline void Put16(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace zelnic::core
