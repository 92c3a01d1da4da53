#pragma once
// DES (FIPS 46) on single 8-byte blocks, for the challenge responses and password hashes
// of MS-CHAP, MS-CHAP-V2 and LEAP, which key it with 7-byte slices of a hash (RFC 2433,
// RFC 2759).
#include <cstddef>
#include <cstdint>

constexpr int kDesEncrypt = 0;  // subkeys in encryption order
constexpr int kDesDecrypt = 1;  // subkeys reversed: DesEncryptBlock then decrypts

// 16 rounds of two words each, arranged for the SP-box round function. Wiped by the
// destructor.
struct DesKeySchedule {
  std::uint32_t subkeys[32];
  ~DesKeySchedule();
};

// key: 8 bytes; the low bit of each byte (the parity position) is ignored.
void DesSetKey(const std::uint8_t key[8], DesKeySchedule& schedule, int direction);
// key: 7 bytes (56 bits), spread over 8 bytes, 7 bits per byte in the high positions.
void DesSetKey7(const std::uint8_t key[7], DesKeySchedule& schedule, int direction);
// One block; input and output may be the same buffer.
void DesEncryptBlock(const std::uint8_t input[8], std::uint8_t output[8], const DesKeySchedule& schedule);
