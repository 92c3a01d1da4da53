#include "driver/core/aes128.h"

#include <array>

#include "driver/core/aes_sbox.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t RotateRight8(std::uint32_t x) { return x >> 8 | x << 24; }

// T0[x] is the column (2·S[x], S[x], S[x], 3·S[x]); T1..T3 are T0 rotated by one byte each.
constexpr std::array<std::array<std::uint32_t, 256>, 4> MakeTables() {
  std::array<std::array<std::uint32_t, 256>, 4> t{};
  for (int x = 0; x < 256; ++x) {
    const std::uint8_t s = kAesSbox[x];
    const std::uint8_t s2 = AesTimes2(s);
    const std::uint8_t s3 = static_cast<std::uint8_t>(s2 ^ s);
    t[0][x] = std::uint32_t{s2} << 24 | std::uint32_t{s} << 16 | std::uint32_t{s} << 8 | s3;
    for (int i = 1; i < 4; ++i) t[i][x] = RotateRight8(t[i - 1][x]);
  }
  return t;
}
constexpr auto kT = MakeTables();

std::uint32_t LoadBigEndian(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

void StoreBigEndian(std::uint32_t x, std::uint8_t* p) {
  p[0] = static_cast<std::uint8_t>(x >> 24);
  p[1] = static_cast<std::uint8_t>(x >> 16);
  p[2] = static_cast<std::uint8_t>(x >> 8);
  p[3] = static_cast<std::uint8_t>(x);
}

std::uint32_t SubWord(std::uint32_t w) {
  return std::uint32_t{kAesSbox[w >> 24]} << 24 | std::uint32_t{kAesSbox[(w >> 16) & 0xFF]} << 16 |
         std::uint32_t{kAesSbox[(w >> 8) & 0xFF]} << 8 | kAesSbox[w & 0xFF];
}

}  // namespace

Aes128::Aes128(const std::uint8_t key[16]) {
  for (int i = 0; i < 4; ++i) roundKeys_[i] = LoadBigEndian(key + 4 * i);
  std::uint8_t rcon = 1;
  for (int i = 4; i < 44; ++i) {
    std::uint32_t w = roundKeys_[i - 1];
    if (i % 4 == 0) {
      w = SubWord(w << 8 | w >> 24) ^ std::uint32_t{rcon} << 24;  // RotWord, SubWord, round constant
      rcon = AesTimes2(rcon);
    }
    roundKeys_[i] = roundKeys_[i - 4] ^ w;
  }
}

Aes128::~Aes128() {
  volatile std::uint32_t* wipe = roundKeys_;
  for (std::size_t i = 0; i < sizeof roundKeys_ / sizeof roundKeys_[0]; ++i) wipe[i] = 0;
}

void Aes128::EncryptBlock(const std::uint8_t in[16], std::uint8_t out[16]) const {
  std::uint32_t s[4], t[4];
  for (int c = 0; c < 4; ++c) s[c] = LoadBigEndian(in + 4 * c) ^ roundKeys_[c];
  for (int round = 1; round < 10; ++round) {
    // Column c takes row r from column (c + r) mod 4: ShiftRows inside the look-ups.
    for (int c = 0; c < 4; ++c) {
      t[c] = kT[0][s[c] >> 24] ^ kT[1][(s[(c + 1) & 3] >> 16) & 0xFF] ^ kT[2][(s[(c + 2) & 3] >> 8) & 0xFF] ^
             kT[3][s[(c + 3) & 3] & 0xFF] ^ roundKeys_[4 * round + c];
    }
    for (int c = 0; c < 4; ++c) s[c] = t[c];
  }
  // The last round has no MixColumns: the S-box alone.
  for (int c = 0; c < 4; ++c) {
    const std::uint32_t column = std::uint32_t{kAesSbox[s[c] >> 24]} << 24 |
                                 std::uint32_t{kAesSbox[(s[(c + 1) & 3] >> 16) & 0xFF]} << 16 |
                                 std::uint32_t{kAesSbox[(s[(c + 2) & 3] >> 8) & 0xFF]} << 8 |
                                 kAesSbox[s[(c + 3) & 3] & 0xFF];
    StoreBigEndian(column ^ roundKeys_[40 + c], out + 4 * c);
  }
}

}  // namespace zelnic::core
