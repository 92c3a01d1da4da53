#pragma once
// What the forms of SHA-1's compression that run the 80 steps in ordinary registers share:
// the step, its three functions and the four constants.
#include <bit>
#include <cstdint>

namespace crypto_detail {

inline constexpr std::uint32_t kSha1K0 = 0x5a827999, kSha1K1 = 0x6ed9eba1, kSha1K2 = 0x8f1bbcdc,
                               kSha1K3 = 0xca62c1d6;

// One step with the five working words named in their rotated order: instead of moving the
// words along, each call names them one place further on. wk is the message word plus the
// step's constant.
[[gnu::always_inline]] inline void Sha1Step(std::uint32_t a, std::uint32_t& b, std::uint32_t& e, std::uint32_t f,
                                            std::uint32_t wk) {
  e += std::rotl(a, 5) + f + wk;
  b = std::rotl(b, 30);
}

[[gnu::always_inline]] inline std::uint32_t Sha1Choose(std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return d ^ (b & (c ^ d));
}
[[gnu::always_inline]] inline std::uint32_t Sha1Parity(std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return b ^ c ^ d;
}
// Where c and d agree, their value; elsewhere b. The two terms never share a bit, so they are
// added: the step's adds take them in.
[[gnu::always_inline]] inline std::uint32_t Sha1Majority(std::uint32_t b, std::uint32_t c, std::uint32_t d) {
  return (b & (c ^ d)) + (c & d);
}

}  // namespace crypto_detail
