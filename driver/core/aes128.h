#pragma once
// AES-128 encryption of single blocks (FIPS-197): all that CCM needs. The key is expanded
// once per frame into an object that wipes itself. Rounds use the four 1 KiB T-tables
// (SubBytes, ShiftRows and MixColumns as table look-ups on 32-bit columns).
#include <cstdint>

namespace zelnic::core {

class Aes128 {
 public:
  explicit Aes128(const std::uint8_t key[16]);
  ~Aes128();
  void EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;
  // Two independent blocks in one pass: the look-ups of one fill the other's waits (CCM's
  // MAC and counter blocks). In and out may be the same block.
  void EncryptTwoBlocks(const std::uint8_t a[16], std::uint8_t aOut[16], const std::uint8_t b[16],
                        std::uint8_t bOut[16]) const;

 private:
  std::uint32_t roundKeys_[44];  // big-endian columns
};

}  // namespace zelnic::core
