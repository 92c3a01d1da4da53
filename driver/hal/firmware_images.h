#pragma once
// The chip's boot block and firmware image, linked into the driver as constant data
// (generated at build time by zelnic_fwgen; opaque to the driver).
#include <cstddef>
#include <cstdint>

namespace zelnic {

inline constexpr std::size_t kBootBlockSize = 256;
inline constexpr std::size_t kFirmwareImageSize = 122624;  // 479 blocks of 256 bytes

extern const std::uint8_t kBootBlock[kBootBlockSize];
extern const std::uint8_t kFirmwareImage[kFirmwareImageSize];

}  // namespace zelnic
