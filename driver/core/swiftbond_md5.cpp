#include "driver/core/swiftbond_md5.h"

#include <openssl/crypto.h>

#include <cstring>

namespace zelnic::core {
namespace {

// Per-round shift amounts and the sine table T[i] = floor(2^32 * |sin(i + 1)|) of RFC 1321.
constexpr std::uint8_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                     5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                     4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                     6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

std::uint32_t RotateLeft(std::uint32_t x, int n) { return x << n | x >> (32 - n); }

void Transform(std::uint32_t (&state)[4], const std::uint8_t* block) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i)
    x[i] = static_cast<std::uint32_t>(block[4 * i]) | static_cast<std::uint32_t>(block[4 * i + 1]) << 8 |
           static_cast<std::uint32_t>(block[4 * i + 2]) << 16 | static_cast<std::uint32_t>(block[4 * i + 3]) << 24;
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t f;
    int k;
    switch (i / 16) {
      case 0: f = (b & c) | (~b & d); k = i; break;
      case 1: f = (d & b) | (~d & c); k = (5 * i + 1) % 16; break;
      case 2: f = b ^ c ^ d; k = (3 * i + 5) % 16; break;
      default: f = c ^ (b | ~d); k = (7 * i) % 16; break;
    }
    const std::uint32_t next = b + RotateLeft(a + f + kSine[i] + x[k], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  OPENSSL_cleanse(x, sizeof x);
}

}  // namespace

void SbMd5Init(SbMd5Context& context) {
  context.state[0] = 0x67452301;
  context.state[1] = 0xefcdab89;
  context.state[2] = 0x98badcfe;
  context.state[3] = 0x10325476;
  context.bytes = 0;
  std::memset(context.block, 0, sizeof context.block);
}

void SbMd5Update(SbMd5Context& context, const std::uint8_t* data, std::size_t length) {
  std::size_t held = static_cast<std::size_t>(context.bytes % 64);
  context.bytes += length;
  while (length > 0) {
    const std::size_t take = length < 64 - held ? length : 64 - held;
    std::memcpy(context.block + held, data, take);
    held += take;
    data += take;
    length -= take;
    if (held == 64) {
      Transform(context.state, context.block);
      held = 0;
    }
  }
}

void SbMd5Final(std::uint8_t (&digest)[16], SbMd5Context& context) {
  const std::uint64_t bits = context.bytes * 8;
  // A 1 bit, zeros up to 56 bytes of the last block, then the length in bits (little-endian).
  static constexpr std::uint8_t kPadding[64] = {0x80};
  const std::size_t held = static_cast<std::size_t>(context.bytes % 64);
  SbMd5Update(context, kPadding, held < 56 ? 56 - held : 120 - held);
  std::uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  SbMd5Update(context, length, sizeof length);
  for (int i = 0; i < 16; ++i) digest[i] = static_cast<std::uint8_t>(context.state[i / 4] >> (8 * (i % 4)));
  OPENSSL_cleanse(&context, sizeof context);
}

}  // namespace zelnic::core
