#pragma once
// What the access point's TKIP and CCMP share: why a protected frame was refused, and the
// MAC header of a data frame (its length, and the QoS priority the nonce and Michael use).
#include <cstdint>
#include <optional>
#include <span>

namespace simair {

enum class Refusal : std::uint8_t { None, TooShort, NoExtendedIv, Replay, Integrity };
const char* RefusalName(Refusal refusal);

// 24 bytes, 30 with address 4, 2 more for QoS data; nothing when the frame is shorter.
std::optional<std::size_t> DataHeaderLength(std::span<const std::uint8_t> frame);
// The TID of a QoS data frame, 0 for the others (call with a whole header).
std::uint8_t DataPriority(std::span<const std::uint8_t> header);

// The 48-bit packet number (TSC) of an Extended IV header in TKIP or CCMP order.
std::uint64_t TkipTsc(std::span<const std::uint8_t, 8> header);
std::uint64_t CcmpPn(std::span<const std::uint8_t, 8> header);

}  // namespace simair
