#pragma once
// WEP of the access point, on OpenSSL's RC4 (legacy provider): the frame body becomes
// IV (3 bytes) | key id | RC4(IV | key) over data and CRC-32 ICV. Written apart from the
// station's cipher so every protected frame checks one implementation against the other.
#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "sim/air/ieee80211.h"

namespace simair {

inline constexpr std::size_t kWepHeaderBytes = 4, kWepIcvBytes = 4;

// IEEE 802.3 CRC-32 (the ICV, sent least significant byte first).
std::uint32_t Crc32(std::span<const std::uint8_t> data);

// IV (24 bits, most significant byte first) | key id | RC4(seed) over `plain` and its CRC-32
// ICV. WEP's seed is IV | key; CKIP's is its per-packet key.
dot11::Bytes SealUnderSeed(std::span<const std::uint8_t> seed, std::uint32_t iv, std::uint8_t keyId,
                           std::span<const std::uint8_t> plain);
// The data of such a body under `seed`, or nothing: shorter than IV and ICV, or a wrong ICV.
std::optional<dot11::Bytes> OpenUnderSeed(std::span<const std::uint8_t> seed, std::span<const std::uint8_t> body);
// The 3 IV bytes of a 24-bit IV, most significant first.
std::array<std::uint8_t, 3> IvBytes(std::uint32_t iv);

// The protected body for `plain`: `iv` is 24 bits, sent most significant byte first.
dot11::Bytes WepSeal(std::span<const std::uint8_t> key, std::uint32_t iv, std::uint8_t keyId,
                     std::span<const std::uint8_t> plain);

// The key id a protected body names (0..3), nothing when it is shorter than IV and ICV.
std::optional<std::uint8_t> WepKeyIdOf(std::span<const std::uint8_t> body);

// The data of a protected body, or nothing: shorter than IV and ICV, or the ICV is wrong.
std::optional<dot11::Bytes> WepOpen(std::span<const std::uint8_t> key, std::span<const std::uint8_t> body);

}  // namespace simair
