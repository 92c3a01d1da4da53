#include "driver/core/ccm_pass.h"

#include <cstring>

#include "driver/core/aes_instructions.h"

namespace zelnic::core {
namespace {

// x ^= y over n bytes (at most 16), a word at a time where it can.
void XorBlock(std::uint8_t* x, const std::uint8_t* y, std::uint32_t n) {
  std::uint32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    std::uint32_t a, b;
    std::memcpy(&a, x + i, 4);
    std::memcpy(&b, y + i, 4);
    a ^= b;
    std::memcpy(x + i, &a, 4);
  }
  for (; i < n; ++i) x[i] ^= y[i];
}

void SetCounter(std::uint8_t a[16], std::uint32_t i) {
  a[14] = static_cast<std::uint8_t>(i >> 8);
  a[15] = static_cast<std::uint8_t>(i);
}

// Each AES call takes the MAC of block i and the keystream of block i + 1 together, so the
// table look-ups of the two overlap.
void PortableCcmPass(const AesKeySchedule& schedule, const CcmFirstBlocks& first, CcmDirection direction,
                     std::uint8_t* data, std::uint32_t length, std::uint8_t mic[kCcmMicBytes]) {
  std::uint8_t x[16], a[16], s0[16], s[16];
  std::memcpy(x, first.b0, 16);
  std::memcpy(a, first.a0, 16);
  AesEncryptTwoBlocks(x, x, a, s0, schedule);
  XorBlock(x, first.aad, 16);
  AesEncryptBlock(x, x, schedule);
  XorBlock(x, first.aad + 16, 16);
  SetCounter(a, 1);
  AesEncryptTwoBlocks(x, x, a, s, schedule);

  for (std::uint32_t at = 0, block = 1; at < length; at += 16, ++block) {
    const std::uint32_t n = length - at < 16 ? length - at : 16;
    std::uint8_t* d = data + at;
    if (direction == CcmDirection::kEncrypt) {
      XorBlock(x, d, n);
      XorBlock(d, s, n);
    } else {
      XorBlock(d, s, n);
      XorBlock(x, d, n);
    }
    if (at + 16 < length) {
      SetCounter(a, block + 1);
      AesEncryptTwoBlocks(x, x, a, s, schedule);
    } else {
      AesEncryptBlock(x, x, schedule);
    }
  }
  for (std::uint32_t i = 0; i < kCcmMicBytes; ++i) mic[i] = static_cast<std::uint8_t>(x[i] ^ s0[i]);
}

}  // namespace

void CcmPass(const AesKeySchedule& schedule, const CcmFirstBlocks& first, CcmDirection direction, std::uint8_t* data,
             std::uint32_t length, std::uint8_t mic[kCcmMicBytes]) {
  if (schedule.cpuInstructions) {
    AesInstructionsCcmPass(schedule, first, direction, data, length, mic);
  } else {
    PortableCcmPass(schedule, first, direction, data, length, mic);
  }
}

}  // namespace zelnic::core
