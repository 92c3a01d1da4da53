#pragma once
// CCM (RFC 3610) with an 8-byte MIC over one frame's data, in place: the CBC-MAC and the
// counter keystream in one pass over the 16-byte blocks. CCMP builds the first blocks from
// the frame (nonce, AAD); the pass is the same for every AES form.
#include <cstdint>

#include "driver/core/aes128.h"

namespace zelnic::core {

constexpr std::uint32_t kCcmMicBytes = 8;

struct CcmFirstBlocks {
  std::uint8_t b0[16];   // flags, nonce, data length
  std::uint8_t a0[16];   // counter block 0: flags, nonce, counter 0
  std::uint8_t aad[32];  // the AAD's 2-byte length, the AAD, zeros to two blocks
};

enum class CcmDirection { kEncrypt, kDecrypt };

// Encrypts or decrypts `length` bytes of `data` in place and gives the MIC: the MAC's first
// 8 bytes XORed with the keystream of A0.
void CcmPass(const AesKeySchedule& schedule, const CcmFirstBlocks& first, CcmDirection direction, std::uint8_t* data,
             std::uint32_t length, std::uint8_t mic[kCcmMicBytes]);

}  // namespace zelnic::core
