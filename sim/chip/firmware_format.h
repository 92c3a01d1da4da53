#pragma once
// The layout of the two images the chip's boot ROM accepts: the 256-byte boot block (the
// loader) and the 122,624-byte firmware image. Both are our own generated data, never
// interpreted by the driver; the chip checks them before it runs them.
//
//   offset 0   u32 magic            kBootMagic or kImageMagic
//   offset 4   u32 release word     the firmware release the chip reports in its
//                                   hardware-specification reply
//   offset 8   u32 hardware version must equal the chip's own hardware version
//   offset 12  u32 length           total length of the image in bytes
//   offset 16  filler               deterministic bytes (xorshift32 seeded by the magic)
//   last 4     u32 CRC-32           IEEE CRC-32 (zlib's) of every byte before it
//
// All words are little-endian.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace simchip {

inline constexpr std::uint32_t kBootMagic = 0x4C42435A;   // "ZCBL" in memory order
inline constexpr std::uint32_t kImageMagic = 0x5746435A;  // "ZCFW" in memory order
inline constexpr std::size_t kBootBlockSize = 256;
inline constexpr std::size_t kDownloadBlockSize = 256;
inline constexpr std::size_t kFirmwareImageSize = 122624;  // 479 blocks of 256 bytes
inline constexpr std::size_t kImageHeaderSize = 16;

// What the chip comes with unless a test says otherwise; the build's images match it.
inline constexpr std::uint32_t kDefaultHardwareVersion = 0x0203;
inline constexpr std::uint32_t kDefaultFirmwareRelease = 0x02090114;

struct ImageHeader {
  std::uint32_t magic = 0;
  std::uint32_t release = 0;
  std::uint32_t hardwareVersion = 0;
  std::uint32_t length = 0;
};

// Builds one image: header, filler, CRC.
std::vector<std::uint8_t> BuildImage(std::uint32_t magic, std::uint32_t release,
                                     std::uint32_t hardwareVersion, std::size_t length);

// Checks an image as the boot ROM does: length, magic, hardware version and CRC. On
// failure `why` (when given) says which check failed.
std::optional<ImageHeader> VerifyImage(std::span<const std::uint8_t> image,
                                       std::uint32_t expectedMagic, std::size_t expectedLength,
                                       std::uint32_t hardwareVersion, std::string* why = nullptr);

}  // namespace simchip
