#pragma once
// Between the chip layout in host memory and 802.11 frames on the air. The chip layout is
// {u16 body length, frame control, duration, address 1, address 2, address 3, sequence
// control, six-byte address 4, body from byte 32}; on the air the header is 24 bytes, or 30
// with address 4 when both DS bits are set. Everything here reads untrusted bytes and is
// bounds-checked.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "sim/air/radio.h"

namespace simchip {

inline constexpr std::size_t kChipHeader = 32;
inline constexpr std::size_t kAirHeader = 24;
inline constexpr std::size_t kAddress4Bytes = 6;

// The air frames of one transmit buffer: the chip-layout frames back to back, each on a
// multiple of 4. Nothing when a frame runs past `buffer` (a host fault).
std::optional<std::vector<std::vector<std::uint8_t>>> ChipFramesToAir(std::span<const std::uint8_t> buffer);

// One air frame in chip layout (address 4 zero when the frame has none); nothing for a
// frame shorter than its header.
std::optional<std::vector<std::uint8_t>> AirToChip(std::span<const std::uint8_t> air);

// Header fields of an air frame (callers check the length first).
inline std::uint8_t FrameType(std::span<const std::uint8_t> air) { return (air[0] >> 2) & 3; }
inline std::uint8_t FrameSubtype(std::span<const std::uint8_t> air) { return air[0] >> 4; }
inline bool BothDs(std::span<const std::uint8_t> air) { return (air[1] & 3) == 3; }
simair::MacAddress AddressAt(std::span<const std::uint8_t> air, std::size_t at);
inline bool IsGroup(const simair::MacAddress& a) { return (a[0] & 1) != 0; }
// The BSSID of a frame by its DS bits (none for a frame with both).
std::optional<simair::MacAddress> BssidOf(std::span<const std::uint8_t> air);
// The first element with `id` in a management body starting at `at`; empty when absent.
std::span<const std::uint8_t> FindElement(std::span<const std::uint8_t> air, std::size_t at, std::uint8_t id);

}  // namespace simchip
