#include <dcf/sha1.h>

#include <atomic>
#include <cstring>

#include "dcf1/src/crypto/block_hash.h"
#include "dcf1/src/crypto/sha1_compress.h"

using namespace crypto_detail;

namespace {

std::atomic<Sha1Compression> g_fastestAllowed{Sha1Compression::kShaInstructions};

}  // namespace

void crypto_detail::Sha1CompressBlocks(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t count,
                                       const std::uint8_t* last) {
  switch (Sha1CompressionInUse()) {
    case Sha1Compression::kShaInstructions:
      Sha1InstructionsCompress(state, blocks, count);
      if (last != nullptr) Sha1InstructionsCompress(state, last, 1);
      return;
    case Sha1Compression::kVectorSchedule:
      return Sha1VectorScheduleCompress(state, blocks, count, last);  // pairs the last two
    case Sha1Compression::kPortable:
      Sha1PortableCompress(state, blocks, count);
      if (last != nullptr) Sha1PortableCompress(state, last, 1);
      return;
  }
}

Sha1Context::~Sha1Context() { Wipe(*this); }

void Sha1Init(Sha1Context& context) {
  context.state[0] = 0x67452301;
  context.state[1] = 0xefcdab89;
  context.state[2] = 0x98badcfe;
  context.state[3] = 0x10325476;
  context.state[4] = 0xc3d2e1f0;
  context.bitCount[0] = context.bitCount[1] = 0;
  context.position = 0;
}

void Sha1Update(Sha1Context& context, const void* data, std::size_t length) {
  const std::uint64_t bits = ((std::uint64_t{context.bitCount[1]} << 32) | context.bitCount[0]) + (std::uint64_t{length} << 3);
  context.bitCount[0] = static_cast<std::uint32_t>(bits);
  context.bitCount[1] = static_cast<std::uint32_t>(bits >> 32);
  context.position = static_cast<std::uint32_t>(
      FeedBlocks(context.buffer, context.position, static_cast<const std::uint8_t*>(data), length,
                 [&](const std::uint8_t* blocks, std::size_t n) { Sha1CompressBlocks(context.state, blocks, n); }));
}

void Sha1Final(std::uint8_t digest[kSha1DigestSize], Sha1Context& context) {
  std::uint8_t bitLength[8];
  StoreBe32(bitLength, context.bitCount[1]);
  StoreBe32(bitLength + 4, context.bitCount[0]);
  PadAndCompress(context.buffer, context.position, bitLength,
                 [&](const std::uint8_t* blocks, std::size_t n) { Sha1CompressBlocks(context.state, blocks, n); });
  for (int i = 0; i < 5; ++i) StoreBe32(digest + 4 * i, context.state[i]);
  Wipe(context);
}

// Without a context: the whole blocks straight from the message, then its padded end, so
// that the last whole block and the end can go through the compression together.
void Sha1Digest(std::uint8_t digest[kSha1DigestSize], const void* data, std::size_t length) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  const std::size_t whole = length / kBlockSize;
  std::uint8_t bitLength[8];
  StoreBe32(bitLength, static_cast<std::uint32_t>(std::uint64_t{length} >> 29));
  StoreBe32(bitLength + 4, static_cast<std::uint32_t>(length << 3));
  std::uint8_t end[2 * kBlockSize];
  const std::size_t endBlocks =
      PadMessageEnd(end, whole * kBlockSize < length ? bytes + whole * kBlockSize : nullptr, length % kBlockSize, bitLength);
  std::uint32_t state[5] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
  Sha1CompressBlocks(state, bytes, whole, end);
  if (endBlocks == 2) Sha1CompressBlocks(state, end + kBlockSize, 1);
  for (int i = 0; i < 5; ++i) StoreBe32(digest + 4 * i, state[i]);
  Wipe(end);
  Wipe(state);
}

void Sha1FinishShortTail(const Sha1Context& context, const void* tail, std::size_t length,
                         std::uint8_t digest[kSha1DigestSize]) {
  if (context.position != 0 || length > kBlockSize - 9) {  // not the short case: the long way
    Sha1Context copy = context;
    Sha1Update(copy, tail, length);
    Sha1Final(digest, copy);
    return;
  }
  std::uint8_t block[kBlockSize];
  std::memcpy(block, tail, length);
  block[length] = 0x80;
  std::memset(block + length + 1, 0, kBlockSize - 8 - length - 1);
  const std::uint64_t bits = ((std::uint64_t{context.bitCount[1]} << 32) | context.bitCount[0]) + (std::uint64_t{length} << 3);
  StoreBe32(block + 56, static_cast<std::uint32_t>(bits >> 32));
  StoreBe32(block + 60, static_cast<std::uint32_t>(bits));
  std::uint32_t state[5];
  std::memcpy(state, context.state, sizeof state);
  Sha1CompressBlocks(state, block, 1);
  for (int i = 0; i < 5; ++i) StoreBe32(digest + 4 * i, state[i]);
  Wipe(block);
  Wipe(state);
}

bool CpuHasSha1Compression(Sha1Compression form) {
  switch (form) {
    case Sha1Compression::kShaInstructions: return CpuHasShaExtensions();
    case Sha1Compression::kVectorSchedule: return CpuHasAvx2AndBmi();
    case Sha1Compression::kPortable: return true;
  }
  return false;
}

void LimitSha1Compression(Sha1Compression fastestAllowed) {
  g_fastestAllowed.store(fastestAllowed, std::memory_order_relaxed);
}

Sha1Compression Sha1CompressionInUse() {
  const Sha1Compression fastest = g_fastestAllowed.load(std::memory_order_relaxed);
  if (fastest <= Sha1Compression::kShaInstructions && CpuHasShaExtensions()) return Sha1Compression::kShaInstructions;
  if (fastest <= Sha1Compression::kVectorSchedule && CpuHasAvx2AndBmi()) return Sha1Compression::kVectorSchedule;
  return Sha1Compression::kPortable;
}
