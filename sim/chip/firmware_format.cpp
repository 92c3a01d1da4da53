#include "sim/chip/firmware_format.h"

#include <zlib.h>

namespace simchip {
namespace {

void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

std::uint32_t Crc32(std::span<const std::uint8_t> bytes) {
  return static_cast<std::uint32_t>(
      crc32(crc32(0L, Z_NULL, 0), bytes.data(), static_cast<uInt>(bytes.size())));
}

}  // namespace

std::vector<std::uint8_t> BuildImage(std::uint32_t magic, std::uint32_t release,
                                     std::uint32_t hardwareVersion, std::size_t length) {
  std::vector<std::uint8_t> image(length, 0);
  if (length < kImageHeaderSize + 4) return image;
  PutU32(&image[0], magic);
  PutU32(&image[4], release);
  PutU32(&image[8], hardwareVersion);
  PutU32(&image[12], static_cast<std::uint32_t>(length));
  std::uint32_t state = magic;  // xorshift32: never 0 for a non-zero seed
  for (std::size_t i = kImageHeaderSize; i < length - 4; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    image[i] = static_cast<std::uint8_t>(state);
  }
  PutU32(&image[length - 4], Crc32(std::span(image).first(length - 4)));
  return image;
}

std::optional<ImageHeader> VerifyImage(std::span<const std::uint8_t> image,
                                       std::uint32_t expectedMagic, std::size_t expectedLength,
                                       std::uint32_t hardwareVersion, std::string* why) {
  auto refuse = [why](const char* reason) -> std::optional<ImageHeader> {
    if (why) *why = reason;
    return std::nullopt;
  };
  if (image.size() != expectedLength || image.size() < kImageHeaderSize + 4)
    return refuse("wrong length");
  ImageHeader header{GetU32(&image[0]), GetU32(&image[4]), GetU32(&image[8]), GetU32(&image[12])};
  if (header.magic != expectedMagic) return refuse("wrong magic");
  if (header.length != expectedLength) return refuse("length field disagrees");
  if (header.hardwareVersion != hardwareVersion) return refuse("built for other hardware");
  if (GetU32(&image[image.size() - 4]) != Crc32(image.first(image.size() - 4)))
    return refuse("CRC mismatch");
  return header;
}

}  // namespace simchip
