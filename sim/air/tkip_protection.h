#pragma once
// TKIP of the access point (IEEE 802.11i): the two phases of key mixing, then RC4 over the
// MPDU's data and CRC-32 ICV on OpenSSL's legacy provider. Michael belongs to the MSDU
// (michael_mic.h); the caller appends it before sealing and checks it after reassembly.
#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "sim/air/frame_protection.h"
#include "sim/air/ieee80211.h"

namespace simair {

inline constexpr std::size_t kTkipHeaderBytes = 8, kTkipIcvBytes = 4, kTkipMicBytes = 8;
using TemporalKey = std::span<const std::uint8_t, 16>;

// TKIP's S-box on a 16-bit word (CKIP's key permutation uses it too).
std::uint16_t TkipS(std::uint16_t value);

std::array<std::uint16_t, 5> TkipPhase1(TemporalKey tk, const MacAddress& transmitter, std::uint32_t iv32);
std::array<std::uint8_t, 16> TkipPhase2(TemporalKey tk, const std::array<std::uint16_t, 5>& p1k, std::uint16_t iv16);

// The protected body for `plain` (data with Michael appended) under the 48-bit `tsc`.
dot11::Bytes TkipSeal(TemporalKey tk, const MacAddress& transmitter, std::uint64_t tsc, std::uint8_t keyId,
                      std::span<const std::uint8_t> plain);

struct TkipOpened {
  dot11::Bytes plain;  // data (with Michael when this is the MSDU's last fragment)
  std::uint64_t tsc = 0;
};
// Refused before decrypting: shorter than header and ICV, no Extended IV, a TSC not above
// `last`; after: a wrong ICV. The caller commits the TSC once Michael verifies.
std::optional<TkipOpened> TkipOpen(TemporalKey tk, const MacAddress& transmitter, std::optional<std::uint64_t> last,
                                   std::span<const std::uint8_t> body, Refusal& why);

}  // namespace simair
