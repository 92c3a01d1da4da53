#pragma once
// The AES S-box and doubling in GF(2^8), computed at compile time (multiplicative inverse,
// then the affine map), so no table of magic numbers can carry a typo. AES and TKIP's key
// mixing share them.
#include <array>
#include <cstdint>

namespace zelnic::core {

constexpr std::uint8_t AesTimes2(std::uint8_t x) { return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) ? 0x1B : 0)); }

constexpr std::array<std::uint8_t, 256> MakeAesSbox() {
  std::array<std::uint8_t, 256> sbox{};
  std::uint8_t p = 1, q = 1;
  do {
    p = static_cast<std::uint8_t>(p ^ AesTimes2(p));  // p *= 3
    q ^= static_cast<std::uint8_t>(q << 1);             // q /= 3
    q ^= static_cast<std::uint8_t>(q << 2);
    q ^= static_cast<std::uint8_t>(q << 4);
    if (q & 0x80) q ^= 0x09;
    const auto rotl = [](std::uint8_t v, int s) { return static_cast<std::uint8_t>((v << s) | (v >> (8 - s))); };
    sbox[p] = static_cast<std::uint8_t>(q ^ rotl(q, 1) ^ rotl(q, 2) ^ rotl(q, 3) ^ rotl(q, 4) ^ 0x63);
  } while (p != 1);
  sbox[0] = 0x63;
  return sbox;
}

inline constexpr std::array<std::uint8_t, 256> kAesSbox = MakeAesSbox();

}  // namespace zelnic::core
