#include "sim/air/frame_protection.h"

namespace simair {

const char* RefusalName(Refusal refusal) {
  switch (refusal) {
    case Refusal::None: return "none";
    case Refusal::TooShort: return "too short";
    case Refusal::NoExtendedIv: return "no Extended IV";
    case Refusal::Replay: return "replay";
    case Refusal::Integrity: return "integrity check failed";
  }
  return "?";
}

std::optional<std::size_t> DataHeaderLength(std::span<const std::uint8_t> frame) {
  if (frame.size() < 2) return std::nullopt;
  std::size_t length = (frame[1] & 0x03) == 0x03 ? 30 : 24;  // ToDS and FromDS: address 4
  if ((frame[0] & 0x0C) == 0x08 && (frame[0] & 0x80) != 0) length += 2;  // QoS data subtypes
  if (frame.size() < length) return std::nullopt;
  return length;
}

std::uint8_t DataPriority(std::span<const std::uint8_t> header) {
  const bool qos = header.size() >= 26 && (header[0] & 0x0C) == 0x08 && (header[0] & 0x80) != 0;
  return qos ? static_cast<std::uint8_t>(header[header.size() - 2] & 0x0F) : 0;
}

std::uint64_t TkipTsc(std::span<const std::uint8_t, 8> h) {
  // TSC1, WEP seed, TSC0, key id, TSC2..TSC5.
  return static_cast<std::uint64_t>(h[2]) | static_cast<std::uint64_t>(h[0]) << 8 |
         static_cast<std::uint64_t>(h[4]) << 16 | static_cast<std::uint64_t>(h[5]) << 24 |
         static_cast<std::uint64_t>(h[6]) << 32 | static_cast<std::uint64_t>(h[7]) << 40;
}

std::uint64_t CcmpPn(std::span<const std::uint8_t, 8> h) {
  // PN0, PN1, reserved, key id, PN2..PN5.
  return static_cast<std::uint64_t>(h[0]) | static_cast<std::uint64_t>(h[1]) << 8 |
         static_cast<std::uint64_t>(h[4]) << 16 | static_cast<std::uint64_t>(h[5]) << 24 |
         static_cast<std::uint64_t>(h[6]) << 32 | static_cast<std::uint64_t>(h[7]) << 40;
}

}  // namespace simair
