#pragma once
// SHA-1 message digest (FIPS 180-1).
#include <cstddef>
#include <cstdint>

constexpr std::size_t kSha1DigestSize = 20;

// A running SHA-1 computation. bitCount is the 64-bit message length in bits, low word
// first; position is the number of bytes waiting in buffer. Wiped by the destructor.
struct Sha1Context {
  std::uint32_t state[5];
  std::uint32_t bitCount[2];
  std::uint8_t buffer[64];
  std::uint32_t position;
  ~Sha1Context();
};

void Sha1Init(Sha1Context& context);
void Sha1Update(Sha1Context& context, const void* data, std::size_t length);
// Pads, writes the digest and wipes the context; call once per Sha1Init.
void Sha1Final(std::uint8_t digest[kSha1DigestSize], Sha1Context& context);
void Sha1Digest(std::uint8_t digest[kSha1DigestSize], const void* data, std::size_t length);

// The digest of what `context` holds followed by `length` more bytes, where the context
// holds whole blocks only (position 0) and length is at most 55: the one last block is
// padded on the stack and compressed, nothing is buffered and the context stays as it is.
// HMAC's keyed states finish short messages this way (PBKDF2's chain).
void Sha1FinishShortTail(const Sha1Context& context, const void* tail, std::size_t length,
                         std::uint8_t digest[kSha1DigestSize]);

// SHA-1's compression comes in three forms that give the same digests, fastest first: on the
// CPU's SHA instructions (SHA-NI), with the message schedule in AVX2 vector registers, and
// portable code. The fastest form the CPU has is used unless a limit says otherwise (tests,
// fuzzing and benchmarks compare the forms in one process; a benchmark denies the SHA
// instructions to both sides).
enum class Sha1Compression { kShaInstructions, kVectorSchedule, kPortable };
bool CpuHasSha1Compression(Sha1Compression form);
void LimitSha1Compression(Sha1Compression fastestAllowed);
Sha1Compression Sha1CompressionInUse();
