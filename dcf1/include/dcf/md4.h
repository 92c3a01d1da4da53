#pragma once
// MD4 message digest (RFC 1320), for the NT password hash and the challenge responses
// built on it.
#include <cstddef>
#include <cstdint>

constexpr std::size_t kMd4DigestSize = 16;

// Same layout as Md5Context; a distinct type so the two cannot be mixed up.
struct Md4Context {
  std::uint32_t state[4];
  std::uint32_t byteCount[2];
  std::uint8_t buffer[64];
  ~Md4Context();
};

void Md4Init(Md4Context& context);
void Md4Update(Md4Context& context, const void* data, std::size_t length);
// Pads, writes the digest and wipes the context; call once per Md4Init.
void Md4Final(std::uint8_t digest[kMd4DigestSize], Md4Context& context);
void Md4Digest(std::uint8_t digest[kMd4DigestSize], const void* data, std::size_t length);
