// SHA-1's compression in portable code: 80 steps fully unrolled, the schedule kept as a ring
// of 16 words.
#include <bit>

#include "dcf1/src/crypto/block_hash.h"
#include "dcf1/src/crypto/sha1_compress.h"
#include "dcf1/src/crypto/sha1_steps.h"

namespace crypto_detail {
namespace {

// The message schedule kept as a ring of 16 words: w[t] = (w[t-3]^w[t-8]^w[t-14]^w[t-16]) <<< 1.
inline std::uint32_t Expand(std::uint32_t* w, int t) {
  const std::uint32_t v = std::rotl(w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15], 1);
  w[t & 15] = v;
  return v;
}

// Steps 0-15 use the block's words, 16-19 the schedule, both with Choose and K0.
inline void R0(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d, std::uint32_t& e,
               std::uint32_t* w, int t) {
  Sha1Step(a, b, e, Sha1Choose(b, c, d), kSha1K0 + w[t]);
}
inline void R1(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d, std::uint32_t& e,
               std::uint32_t* w, int t) {
  Sha1Step(a, b, e, Sha1Choose(b, c, d), kSha1K0 + Expand(w, t));
}
inline void R2(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d, std::uint32_t& e,
               std::uint32_t* w, int t) {
  Sha1Step(a, b, e, Sha1Parity(b, c, d), kSha1K1 + Expand(w, t));
}
inline void R3(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d, std::uint32_t& e,
               std::uint32_t* w, int t) {
  Sha1Step(a, b, e, Sha1Majority(b, c, d), kSha1K2 + Expand(w, t));
}
inline void R4(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d, std::uint32_t& e,
               std::uint32_t* w, int t) {
  Sha1Step(a, b, e, Sha1Parity(b, c, d), kSha1K3 + Expand(w, t));
}

}  // namespace

void Sha1PortableCompress(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count) {
  std::uint32_t w[16];  // the schedule, wiped at the end: the message may be a secret
  for (; count > 0; --count, blocks += kBlockSize) {
    for (int i = 0; i < 16; ++i) w[i] = LoadBe32(blocks + 4 * i);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];

    R0(a, b, c, d, e, w, 0);  R0(e, a, b, c, d, w, 1);  R0(d, e, a, b, c, w, 2);  R0(c, d, e, a, b, w, 3);  R0(b, c, d, e, a, w, 4);
    R0(a, b, c, d, e, w, 5);  R0(e, a, b, c, d, w, 6);  R0(d, e, a, b, c, w, 7);  R0(c, d, e, a, b, w, 8);  R0(b, c, d, e, a, w, 9);
    R0(a, b, c, d, e, w, 10); R0(e, a, b, c, d, w, 11); R0(d, e, a, b, c, w, 12); R0(c, d, e, a, b, w, 13); R0(b, c, d, e, a, w, 14);
    R0(a, b, c, d, e, w, 15); R1(e, a, b, c, d, w, 16); R1(d, e, a, b, c, w, 17); R1(c, d, e, a, b, w, 18); R1(b, c, d, e, a, w, 19);

    R2(a, b, c, d, e, w, 20); R2(e, a, b, c, d, w, 21); R2(d, e, a, b, c, w, 22); R2(c, d, e, a, b, w, 23); R2(b, c, d, e, a, w, 24);
    R2(a, b, c, d, e, w, 25); R2(e, a, b, c, d, w, 26); R2(d, e, a, b, c, w, 27); R2(c, d, e, a, b, w, 28); R2(b, c, d, e, a, w, 29);
    R2(a, b, c, d, e, w, 30); R2(e, a, b, c, d, w, 31); R2(d, e, a, b, c, w, 32); R2(c, d, e, a, b, w, 33); R2(b, c, d, e, a, w, 34);
    R2(a, b, c, d, e, w, 35); R2(e, a, b, c, d, w, 36); R2(d, e, a, b, c, w, 37); R2(c, d, e, a, b, w, 38); R2(b, c, d, e, a, w, 39);

    R3(a, b, c, d, e, w, 40); R3(e, a, b, c, d, w, 41); R3(d, e, a, b, c, w, 42); R3(c, d, e, a, b, w, 43); R3(b, c, d, e, a, w, 44);
    R3(a, b, c, d, e, w, 45); R3(e, a, b, c, d, w, 46); R3(d, e, a, b, c, w, 47); R3(c, d, e, a, b, w, 48); R3(b, c, d, e, a, w, 49);
    R3(a, b, c, d, e, w, 50); R3(e, a, b, c, d, w, 51); R3(d, e, a, b, c, w, 52); R3(c, d, e, a, b, w, 53); R3(b, c, d, e, a, w, 54);
    R3(a, b, c, d, e, w, 55); R3(e, a, b, c, d, w, 56); R3(d, e, a, b, c, w, 57); R3(c, d, e, a, b, w, 58); R3(b, c, d, e, a, w, 59);

    R4(a, b, c, d, e, w, 60); R4(e, a, b, c, d, w, 61); R4(d, e, a, b, c, w, 62); R4(c, d, e, a, b, w, 63); R4(b, c, d, e, a, w, 64);
    R4(a, b, c, d, e, w, 65); R4(e, a, b, c, d, w, 66); R4(d, e, a, b, c, w, 67); R4(c, d, e, a, b, w, 68); R4(b, c, d, e, a, w, 69);
    R4(a, b, c, d, e, w, 70); R4(e, a, b, c, d, w, 71); R4(d, e, a, b, c, w, 72); R4(c, d, e, a, b, w, 73); R4(b, c, d, e, a, w, 74);
    R4(a, b, c, d, e, w, 75); R4(e, a, b, c, d, w, 76); R4(d, e, a, b, c, w, 77); R4(c, d, e, a, b, w, 78); R4(b, c, d, e, a, w, 79);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
  }
  Wipe(w);
}


}  // namespace crypto_detail
