#include <dcf/des.h>

#include <array>
#include <bit>

#include "dcf1/src/crypto/block_hash.h"
#include "dcf1/src/crypto/wipe.h"

using namespace crypto_detail;

namespace {

// The tables of FIPS 46. Bit positions count from 1, the most significant bit first.
constexpr std::uint8_t kSBox[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}}};

constexpr std::uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                 2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr std::uint8_t kPC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                                   10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                                   63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                                   14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr std::uint8_t kPC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10,
                                   23, 19, 12, 4,  26, 8,  16, 7,  27, 20, 13, 2,
                                   41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                                   44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr std::uint8_t kRotations[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// Every row of every S-box is a permutation of 0..15: a typing slip in the tables above
// would very likely break that.
constexpr bool SBoxRowsArePermutations() {
  for (const auto& box : kSBox) {
    for (const auto& row : box) {
      unsigned seen = 0;
      for (std::uint8_t v : row) seen |= 1u << v;
      if (seen != 0xffff) return false;
    }
  }
  return true;
}
static_assert(SBoxRowsArePermutations());

// The combined S-box and P permutation of each of the eight boxes, indexed by the box's six
// input bits in order. The round function keeps both halves rotated left by one bit (see
// DesEncryptBlock), so the outputs are stored rotated the same way.
using SpTables = std::array<std::array<std::uint32_t, 64>, 8>;

constexpr SpTables MakeSpTables() {
  SpTables sp{};
  for (int box = 0; box < 8; ++box) {
    for (int in = 0; in < 64; ++in) {
      const int row = ((in >> 4) & 2) | (in & 1);
      const int column = (in >> 1) & 15;
      const std::uint32_t s = std::uint32_t{kSBox[box][row][column]} << (28 - 4 * box);
      std::uint32_t permuted = 0;
      for (int bit = 0; bit < 32; ++bit) {
        if ((s >> (32 - kP[bit])) & 1) permuted |= 1u << (31 - bit);
      }
      sp[box][in] = std::rotl(permuted, 1);
    }
  }
  return sp;
}

constexpr SpTables kSp = MakeSpTables();

// Swaps the bits of a selected by mask with the bits of b that lie shift places to the
// right; a short sequence of these is the initial permutation.
inline void SwapBits(std::uint32_t& a, std::uint32_t& b, int shift, std::uint32_t mask) {
  const std::uint32_t t = ((a >> shift) ^ b) & mask;
  b ^= t;
  a ^= t << shift;
}

// Two rounds' worth of f: the eight S-box lookups for one half. Word k0 carries the subkey
// bits of the odd boxes, k1 of the even ones, each six bits in the low bits of a byte.
inline std::uint32_t RoundFunction(std::uint32_t r, std::uint32_t k0, std::uint32_t k1) {
  std::uint32_t w = std::rotr(r, 4) ^ k0;
  std::uint32_t f = kSp[6][w & 0x3f] | kSp[4][(w >> 8) & 0x3f] | kSp[2][(w >> 16) & 0x3f] | kSp[0][(w >> 24) & 0x3f];
  w = r ^ k1;
  f |= kSp[7][w & 0x3f] | kSp[5][(w >> 8) & 0x3f] | kSp[3][(w >> 16) & 0x3f] | kSp[1][(w >> 24) & 0x3f];
  return f;
}

}  // namespace

DesKeySchedule::~DesKeySchedule() { Wipe(*this); }

void DesSetKey(const std::uint8_t key[8], DesKeySchedule& schedule, int direction) {
  std::uint64_t k = 0;
  for (int i = 0; i < 8; ++i) k = (k << 8) | key[i];
  // PC-1 drops the parity bits and leaves C in the high, D in the low 28 of 56 bits.
  std::uint32_t c = 0, d = 0;
  for (int i = 0; i < 28; ++i) {
    c = (c << 1) | static_cast<std::uint32_t>((k >> (64 - kPC1[i])) & 1);
    d = (d << 1) | static_cast<std::uint32_t>((k >> (64 - kPC1[28 + i])) & 1);
  }
  for (int round = 0; round < 16; ++round) {
    const int n = kRotations[round];
    c = ((c << n) | (c >> (28 - n))) & 0x0fffffff;
    d = ((d << n) | (d >> (28 - n))) & 0x0fffffff;
    const std::uint64_t cd = (std::uint64_t{c} << 28) | d;
    std::uint64_t subkey = 0;  // 48 bits: eight groups of six, box 1 first
    for (int i = 0; i < 48; ++i) subkey = (subkey << 1) | ((cd >> (56 - kPC2[i])) & 1);
    auto group = [&](int box) { return static_cast<std::uint32_t>((subkey >> (42 - 6 * box)) & 0x3f); };
    const int slot = direction == kDesDecrypt ? 15 - round : round;
    schedule.subkeys[2 * slot] = (group(0) << 24) | (group(2) << 16) | (group(4) << 8) | group(6);
    schedule.subkeys[2 * slot + 1] = (group(1) << 24) | (group(3) << 16) | (group(5) << 8) | group(7);
  }
}

void DesSetKey7(const std::uint8_t key[7], DesKeySchedule& schedule, int direction) {
  std::uint8_t spread[8];
  spread[0] = key[0];
  for (int i = 1; i < 7; ++i) spread[i] = static_cast<std::uint8_t>((key[i - 1] << (8 - i)) | (key[i] >> i));
  spread[7] = static_cast<std::uint8_t>(key[6] << 1);
  DesSetKey(spread, schedule, direction);
  Wipe(spread);
}

void DesEncryptBlock(const std::uint8_t input[8], std::uint8_t output[8], const DesKeySchedule& schedule) {
  std::uint32_t left = LoadBe32(input);
  std::uint32_t right = LoadBe32(input + 4);

  // Initial permutation, ending with both halves rotated left by one bit: the rotation
  // lines up every S-box's six input bits inside one byte of the rotated words.
  SwapBits(left, right, 4, 0x0f0f0f0f);
  SwapBits(left, right, 16, 0x0000ffff);
  SwapBits(right, left, 2, 0x33333333);
  SwapBits(right, left, 8, 0x00ff00ff);
  right = std::rotl(right, 1);
  std::uint32_t t = (left ^ right) & 0xaaaaaaaa;
  left ^= t;
  right ^= t;
  left = std::rotl(left, 1);

  const std::uint32_t* k = schedule.subkeys;
  for (int round = 0; round < 16; round += 2, k += 4) {
    left ^= RoundFunction(right, k[0], k[1]);
    right ^= RoundFunction(left, k[2], k[3]);
  }

  // Final permutation: the initial one undone, with the halves exchanged.
  right = std::rotr(right, 1);
  t = (left ^ right) & 0xaaaaaaaa;
  left ^= t;
  right ^= t;
  left = std::rotr(left, 1);
  SwapBits(left, right, 8, 0x00ff00ff);
  SwapBits(left, right, 2, 0x33333333);
  SwapBits(right, left, 16, 0x0000ffff);
  SwapBits(right, left, 4, 0x0f0f0f0f);

  StoreBe32(output, right);
  StoreBe32(output + 4, left);
}
