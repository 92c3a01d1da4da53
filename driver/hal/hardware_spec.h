#pragma once
// The firmware's hardware-specification reply (response 0x8003) and the region table.
#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace zelnic::hal {

using MacAddress = std::array<std::uint8_t, 6>;

struct HardwareSpec {
  std::uint16_t version = 0;
  MacAddress permanentMac{};
  std::uint16_t regionCode = 0x10;
  std::uint32_t regionIndex = 0;
  std::uint32_t firmwareRelease = 0;
  // Offsets in window 0 as the firmware reported them (the start refuses any above 0xFFFC).
  std::uint32_t txRingRegister = 0;
  std::uint32_t rxWritePointerRegister = 0;
  std::uint32_t rxReadPointerRegister = 0;
};

inline constexpr std::size_t kHardwareSpecSize = 44;

// Region code to region index; an unknown code is region 0x10, index 0.
struct Region {
  std::uint16_t code;
  std::uint32_t index;
};
Region RegionOfCode(std::uint16_t code);

// Reads the reply: 8 u16 version; 14 six-byte MAC; 20 u16 region code; 24 u32 release;
// 28, 32, 36 u32 offsets of the transmit-ring, receive write-pointer and receive
// read-pointer registers. Nothing for a reply shorter than 40 bytes.
std::optional<HardwareSpec> ParseHardwareSpec(std::span<const std::uint8_t> reply);

// The ring registers must lie inside window 0 (at most 0xFFFC) and be word aligned; a reply
// that says otherwise is not trusted.
bool RingRegistersUsable(const HardwareSpec& spec);

}  // namespace zelnic::hal
