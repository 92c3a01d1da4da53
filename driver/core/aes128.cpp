#include "driver/core/aes128.h"

#include <cstring>

#include "driver/core/aes_sbox.h"

namespace zelnic::core {

Aes128::Aes128(const std::uint8_t key[16]) {
  std::memcpy(roundKeys_[0], key, 16);
  std::uint8_t rcon = 1;
  for (int round = 1; round <= 10; ++round) {
    const std::uint8_t* prev = roundKeys_[round - 1];
    std::uint8_t* next = roundKeys_[round];
    // RotWord, SubWord and the round constant on the last word of the previous key.
    next[0] = static_cast<std::uint8_t>(prev[0] ^ kAesSbox[prev[13]] ^ rcon);
    next[1] = static_cast<std::uint8_t>(prev[1] ^ kAesSbox[prev[14]]);
    next[2] = static_cast<std::uint8_t>(prev[2] ^ kAesSbox[prev[15]]);
    next[3] = static_cast<std::uint8_t>(prev[3] ^ kAesSbox[prev[12]]);
    for (int i = 4; i < 16; ++i) next[i] = static_cast<std::uint8_t>(prev[i] ^ next[i - 4]);
    rcon = AesTimes2(rcon);
  }
}

Aes128::~Aes128() {
  volatile std::uint8_t* wipe = &roundKeys_[0][0];
  for (std::size_t i = 0; i < sizeof roundKeys_; ++i) wipe[i] = 0;
}

void Aes128::EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const {
  std::uint8_t s[16];
  for (int i = 0; i < 16; ++i) s[i] = static_cast<std::uint8_t>(in[i] ^ roundKeys_[0][i]);
  for (int round = 1; round <= 10; ++round) {
    // SubBytes and ShiftRows together: column c row r takes column (c + r) mod 4.
    std::uint8_t t[16];
    for (int c = 0; c < 4; ++c)
      for (int r = 0; r < 4; ++r) t[4 * c + r] = kAesSbox[s[4 * ((c + r) % 4) + r]];
    if (round != 10) {
      for (int c = 0; c < 4; ++c) {
        std::uint8_t* col = t + 4 * c;
        const std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        const std::uint8_t all = static_cast<std::uint8_t>(a0 ^ a1 ^ a2 ^ a3);
        col[0] = static_cast<std::uint8_t>(a0 ^ all ^ AesTimes2(static_cast<std::uint8_t>(a0 ^ a1)));
        col[1] = static_cast<std::uint8_t>(a1 ^ all ^ AesTimes2(static_cast<std::uint8_t>(a1 ^ a2)));
        col[2] = static_cast<std::uint8_t>(a2 ^ all ^ AesTimes2(static_cast<std::uint8_t>(a2 ^ a3)));
        col[3] = static_cast<std::uint8_t>(a3 ^ all ^ AesTimes2(static_cast<std::uint8_t>(a3 ^ a0)));
      }
    }
    for (int i = 0; i < 16; ++i) s[i] = static_cast<std::uint8_t>(t[i] ^ roundKeys_[round][i]);
  }
  std::memcpy(out, s, 16);
}

}  // namespace zelnic::core
