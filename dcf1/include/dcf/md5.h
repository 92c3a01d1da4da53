#pragma once
// MD5 message digest (RFC 1321).
#include <cstddef>
#include <cstdint>

constexpr std::size_t kMd5DigestSize = 16;

// A running MD5 computation. byteCount is the 64-bit count of bytes fed so far, low word
// first. The destructor wipes it: a context may have hashed a secret.
struct Md5Context {
  std::uint32_t state[4];
  std::uint32_t byteCount[2];
  std::uint8_t buffer[64];
  ~Md5Context();
};

void Md5Init(Md5Context& context);
// Any length, 0 included; partial blocks wait in the context.
void Md5Update(Md5Context& context, const void* data, std::size_t length);
// Pads, writes the digest and wipes the context; call once per Md5Init.
void Md5Final(std::uint8_t digest[kMd5DigestSize], Md5Context& context);
void Md5Digest(std::uint8_t digest[kMd5DigestSize], const void* data, std::size_t length);
