#pragma once
// CCMP of the access point (IEEE 802.11i): the CCMP header, the nonce and additional
// authentication data from the MAC header, and OpenSSL's AES-128-CCM with an 8-byte MIC.
#include <cstdint>
#include <optional>
#include <span>

#include "sim/air/frame_protection.h"
#include "sim/air/ieee80211.h"

namespace simair {

inline constexpr std::size_t kCcmpHeaderBytes = 8, kCcmpMicBytes = 8;
using CcmpKey = std::span<const std::uint8_t, 16>;

// The protected body for `plain` under the 48-bit `pn`; `header` is the frame's whole MAC
// header (see DataHeaderLength).
dot11::Bytes CcmpSeal(CcmpKey key, std::span<const std::uint8_t> header, std::uint64_t pn, std::uint8_t keyId,
                      std::span<const std::uint8_t> plain);

struct CcmpOpened {
  dot11::Bytes plain;
  std::uint64_t pn = 0;
};
// Refused before decrypting: shorter than header and MIC, no Extended IV, a packet number
// not above `last` (all 48 bits); after: a MIC that does not verify.
std::optional<CcmpOpened> CcmpOpen(CcmpKey key, std::span<const std::uint8_t> header, std::optional<std::uint64_t> last,
                                   std::span<const std::uint8_t> body, Refusal& why);

}  // namespace simair
