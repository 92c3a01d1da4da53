#pragma once
// Michael, TKIP's message integrity code, as the access point computes it: 8 bytes over
// the MSDU's destination, source, priority (and three zero bytes) and data.
#include <array>
#include <cstdint>
#include <span>

#include "sim/air/radio.h"

namespace simair {

using MichaelKey = std::span<const std::uint8_t, 8>;

// Michael of a raw message (the annex's test chain runs over these).
std::array<std::uint8_t, 8> MichaelOf(MichaelKey key, std::span<const std::uint8_t> message);

// Michael of one MSDU.
std::array<std::uint8_t, 8> MsduMichael(MichaelKey key, const MacAddress& destination, const MacAddress& source,
                                        std::uint8_t priority, std::span<const std::uint8_t> data);

}  // namespace simair
