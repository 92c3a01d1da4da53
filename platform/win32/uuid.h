#pragma once
// Random UUIDs (RFC 4122 version 4) and the strong entropy behind them.
#include <cstddef>
#include <cstdint>

namespace plat {

// The GUID record: data1..data3 are native integers, so on a little-endian machine the
// 16 bytes in memory are the record as Windows code stores and hashes it.
struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;  // high nibble: version
  std::uint8_t data4[8];  // data4[0], top two bits: variant
};
static_assert(sizeof(Guid) == 16);

// Fills the buffer from the kernel's random generator (getrandom), waiting until it is
// seeded. Returns false only when the kernel cannot give strong randomness at all.
bool GetStrongRandom(void* buffer, std::size_t length);

// A new version-4 UUID: 122 random bits, version 4, variant 10 (RFC 4122 section 4.4).
// Never derived from time or addresses. Returns false when GetStrongRandom fails.
bool UuidCreate(Guid& out);

}  // namespace plat
