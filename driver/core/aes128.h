#pragma once
// AES-128 encryption of single blocks (FIPS-197): all that CCM needs. The key is expanded
// once per frame into an object that wipes itself.
#include <cstdint>

namespace zelnic::core {

class Aes128 {
 public:
  explicit Aes128(const std::uint8_t key[16]);
  ~Aes128();
  void EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const;

 private:
  std::uint8_t roundKeys_[11][16];
};

}  // namespace zelnic::core
