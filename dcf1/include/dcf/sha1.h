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
