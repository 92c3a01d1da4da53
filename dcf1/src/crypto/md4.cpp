#include <dcf/md4.h>

#include <bit>

#include "dcf1/src/crypto/block_hash.h"

using namespace crypto_detail;

namespace {

// The three rounds of RFC 1320, each step a = (a + f(b, c, d) + x + k) <<< s.
inline void FF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x, int s) {
  a = std::rotl(a + (d ^ (b & (c ^ d))) + x, s);
}
inline void GG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x, int s) {
  a = std::rotl(a + ((b & c) | (d & (b | c))) + x + 0x5a827999, s);
}
inline void HH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d, std::uint32_t x, int s) {
  a = std::rotl(a + (b ^ c ^ d) + x + 0x6ed9eba1, s);
}

void Md4Compress(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count) {
  std::uint32_t x[16];  // the message block, wiped at the end: it may be a password
  for (; count > 0; --count, blocks += kBlockSize) {
    for (int i = 0; i < 16; ++i) x[i] = LoadLe32(blocks + 4 * i);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    FF(a, b, c, d, x[0], 3);  FF(d, a, b, c, x[1], 7);  FF(c, d, a, b, x[2], 11);  FF(b, c, d, a, x[3], 19);
    FF(a, b, c, d, x[4], 3);  FF(d, a, b, c, x[5], 7);  FF(c, d, a, b, x[6], 11);  FF(b, c, d, a, x[7], 19);
    FF(a, b, c, d, x[8], 3);  FF(d, a, b, c, x[9], 7);  FF(c, d, a, b, x[10], 11); FF(b, c, d, a, x[11], 19);
    FF(a, b, c, d, x[12], 3); FF(d, a, b, c, x[13], 7); FF(c, d, a, b, x[14], 11); FF(b, c, d, a, x[15], 19);

    GG(a, b, c, d, x[0], 3);  GG(d, a, b, c, x[4], 5);  GG(c, d, a, b, x[8], 9);   GG(b, c, d, a, x[12], 13);
    GG(a, b, c, d, x[1], 3);  GG(d, a, b, c, x[5], 5);  GG(c, d, a, b, x[9], 9);   GG(b, c, d, a, x[13], 13);
    GG(a, b, c, d, x[2], 3);  GG(d, a, b, c, x[6], 5);  GG(c, d, a, b, x[10], 9);  GG(b, c, d, a, x[14], 13);
    GG(a, b, c, d, x[3], 3);  GG(d, a, b, c, x[7], 5);  GG(c, d, a, b, x[11], 9);  GG(b, c, d, a, x[15], 13);

    HH(a, b, c, d, x[0], 3);  HH(d, a, b, c, x[8], 9);  HH(c, d, a, b, x[4], 11);  HH(b, c, d, a, x[12], 15);
    HH(a, b, c, d, x[2], 3);  HH(d, a, b, c, x[10], 9); HH(c, d, a, b, x[6], 11);  HH(b, c, d, a, x[14], 15);
    HH(a, b, c, d, x[1], 3);  HH(d, a, b, c, x[9], 9);  HH(c, d, a, b, x[5], 11);  HH(b, c, d, a, x[13], 15);
    HH(a, b, c, d, x[3], 3);  HH(d, a, b, c, x[11], 9); HH(c, d, a, b, x[7], 11);  HH(b, c, d, a, x[15], 15);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
  }
  Wipe(x);
}

}  // namespace

Md4Context::~Md4Context() { Wipe(*this); }

void Md4Init(Md4Context& context) { MdInit(context); }

void Md4Update(Md4Context& context, const void* data, std::size_t length) {
  MdUpdate(context, data, length, Md4Compress);
}

void Md4Final(std::uint8_t digest[kMd4DigestSize], Md4Context& context) {
  MdFinal(digest, context, Md4Compress);
}

void Md4Digest(std::uint8_t digest[kMd4DigestSize], const void* data, std::size_t length) {
  MdDigest<Md4Context>(digest, data, length, Md4Compress);
}
