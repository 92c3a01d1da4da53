#pragma once
// What MD4, MD5 and SHA-1 share: word loads and stores in either byte order, the buffering
// of partial 64-byte blocks, and the closing padding with the message length.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dcf1/src/crypto/wipe.h"

namespace crypto_detail {

constexpr std::size_t kBlockSize = 64;

inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline std::uint32_t LoadBe32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
  return v;
}

inline void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

inline void StoreBe32(std::uint8_t* p, std::uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

// Feeds length bytes after the `used` bytes already waiting in buffer. Whole blocks are
// compressed straight from the input (compress(blocks, count)); the tail waits in buffer.
// Returns how many bytes now wait in buffer.
template <class Compress>
std::size_t FeedBlocks(std::uint8_t (&buffer)[kBlockSize], std::size_t used,
                       const std::uint8_t* data, std::size_t length, Compress compress) {
  if (used > 0) {
    const std::size_t take = std::min(kBlockSize - used, length);
    if (take > 0) std::memcpy(buffer + used, data, take);
    used += take;
    data += take;
    length -= take;
    if (used < kBlockSize) return used;
    compress(buffer, 1);
  }
  const std::size_t whole = length / kBlockSize;
  if (whole > 0) {
    compress(data, whole);
    data += whole * kBlockSize;
    length -= whole * kBlockSize;
  }
  if (length > 0) std::memcpy(buffer, data, length);
  return length;
}

// The end of a message in `end`: its last `tailLength` bytes (fewer than a block), 0x80,
// zeros and the eight bytes of the bit length in the digest's byte order, in one block or,
// when the length does not fit beside the tail, two. Returns how many blocks.
inline std::size_t PadMessageEnd(std::uint8_t (&end)[2 * kBlockSize], const std::uint8_t* tail,
                                 std::size_t tailLength, const std::uint8_t (&bitLength)[8]) {
  const std::size_t blocks = tailLength + 1 + 8 <= kBlockSize ? 1 : 2;
  if (tailLength > 0) std::memcpy(end, tail, tailLength);
  end[tailLength] = 0x80;
  std::memset(end + tailLength + 1, 0, blocks * kBlockSize - 8 - tailLength - 1);
  std::memcpy(end + blocks * kBlockSize - 8, bitLength, 8);
  return blocks;
}

// Closes a message whose last `used` bytes wait in buffer.
template <class Compress>
void PadAndCompress(const std::uint8_t (&buffer)[kBlockSize], std::size_t used,
                    const std::uint8_t (&bitLength)[8], Compress compress) {
  std::uint8_t end[2 * kBlockSize];
  compress(end, PadMessageEnd(end, buffer, used, bitLength));
  Wipe(end);
}

// Init, Update, Final and the one-shot digest of MD4 and MD5, which differ only in their compression function.
// Context has state[4], byteCount[2] (low word first) and buffer[64].
template <class Context>
void MdInit(Context& context) {
  context.state[0] = 0x67452301;
  context.state[1] = 0xefcdab89;
  context.state[2] = 0x98badcfe;
  context.state[3] = 0x10325476;
  context.byteCount[0] = context.byteCount[1] = 0;
}

template <class Context, class Compress>
void MdUpdate(Context& context, const void* data, std::size_t length, Compress compress) {
  const std::uint64_t count = (std::uint64_t{context.byteCount[1]} << 32) | context.byteCount[0];
  const std::size_t used = count % kBlockSize;
  context.byteCount[0] = static_cast<std::uint32_t>(count + length);
  context.byteCount[1] = static_cast<std::uint32_t>((count + length) >> 32);
  FeedBlocks(context.buffer, used, static_cast<const std::uint8_t*>(data), length,
             [&](const std::uint8_t* blocks, std::size_t n) { compress(context.state, blocks, n); });
}

template <class Context, class Compress>
void MdFinal(std::uint8_t* digest, Context& context, Compress compress) {
  const std::uint64_t count = (std::uint64_t{context.byteCount[1]} << 32) | context.byteCount[0];
  std::uint8_t bitLength[8];
  StoreLe32(bitLength, static_cast<std::uint32_t>(count << 3));
  StoreLe32(bitLength + 4, static_cast<std::uint32_t>(count >> 29));
  PadAndCompress(context.buffer, count % kBlockSize, bitLength,
                 [&](const std::uint8_t* blocks, std::size_t n) { compress(context.state, blocks, n); });
  for (int i = 0; i < 4; ++i) StoreLe32(digest + 4 * i, context.state[i]);
  Wipe(context);
}

template <class Context, class Compress>
void MdDigest(std::uint8_t* digest, const void* data, std::size_t length, Compress compress) {
  Context context;
  MdInit(context);
  MdUpdate(context, data, length, compress);
  MdFinal(digest, context, compress);
}

}  // namespace crypto_detail
