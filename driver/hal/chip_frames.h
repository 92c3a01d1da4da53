#pragma once
// The chip frame layout that the station core builds and the chip reads: u16 body length
// (total - 32), frame control, duration, address 1, address 2, address 3, sequence control,
// a 6-byte address-4 field, body from byte 32. Several such frames (the fragments of one
// MSDU) may follow each other in one buffer, each starting on a multiple of 4.
#include <cstdint>

namespace zelnic::hal {

inline constexpr std::uint32_t kChipFrameHeader = 32;
inline constexpr std::uint8_t kFrameFlagPowerManagement = 0x10;
inline constexpr std::uint8_t kFrameFlagProtected = 0x40;

inline std::uint32_t ChipFrameBody(const std::uint8_t* frame) {
  return static_cast<std::uint32_t>(frame[0] | frame[1] << 8);
}
inline std::uint8_t ChipFrameControl(const std::uint8_t* frame) { return frame[2]; }
inline std::uint8_t ChipFrameFlags(const std::uint8_t* frame) { return frame[3]; }
inline bool IsManagementType(std::uint8_t frameControl) { return (frameControl & 0x0C) == 0; }

// Where the next frame of a buffer starts after the frame at `at`.
inline std::uint32_t NextChipFrame(std::uint32_t at, const std::uint8_t* frame) {
  return (at + kChipFrameHeader + ChipFrameBody(frame) + 3) & ~3u;
}

}  // namespace zelnic::hal
