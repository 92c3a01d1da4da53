#include "driver/core/aes128.h"

#include <array>
#include <atomic>

#include "driver/core/aes_instructions.h"
#include "driver/core/aes_sbox.h"

namespace zelnic::core {
namespace {

std::atomic<bool> g_cpuInstructionsAllowed{true};

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

void TableExpandKey(const std::uint8_t key[16], std::uint32_t roundKeys[44]) {
  for (int i = 0; i < 4; ++i) roundKeys[i] = LoadBigEndian(key + 4 * i);
  std::uint8_t rcon = 1;
  for (int i = 4; i < 44; ++i) {
    std::uint32_t w = roundKeys[i - 1];
    if (i % 4 == 0) {
      w = SubWord(w << 8 | w >> 24) ^ std::uint32_t{rcon} << 24;  // RotWord, SubWord, round constant
      rcon = AesTimes2(rcon);
    }
    roundKeys[i] = roundKeys[i - 4] ^ w;
  }
}

// The state as four named columns, so it stays in registers through the rounds.
struct Columns {
  std::uint32_t c0, c1, c2, c3;
};

[[gnu::always_inline]] inline Columns Load(const std::uint8_t in[16], const std::uint32_t* k) {
  return {LoadBigEndian(in) ^ k[0], LoadBigEndian(in + 4) ^ k[1], LoadBigEndian(in + 8) ^ k[2],
          LoadBigEndian(in + 12) ^ k[3]};
}

// Column c takes row r from column (c + r) mod 4: ShiftRows inside the look-ups.
[[gnu::always_inline]] inline std::uint32_t MixedColumn(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                                        std::uint32_t d, std::uint32_t k) {
  return kT[0][a >> 24] ^ kT[1][(b >> 16) & 0xFF] ^ kT[2][(c >> 8) & 0xFF] ^ kT[3][d & 0xFF] ^ k;
}

[[gnu::always_inline]] inline Columns Round(const Columns& s, const std::uint32_t* k) {
  return {MixedColumn(s.c0, s.c1, s.c2, s.c3, k[0]), MixedColumn(s.c1, s.c2, s.c3, s.c0, k[1]),
          MixedColumn(s.c2, s.c3, s.c0, s.c1, k[2]), MixedColumn(s.c3, s.c0, s.c1, s.c2, k[3])};
}

// The last round has no MixColumns: the S-box alone.
[[gnu::always_inline]] inline std::uint32_t SubColumn(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                                      std::uint32_t d, std::uint32_t k) {
  return (std::uint32_t{kAesSbox[a >> 24]} << 24 | std::uint32_t{kAesSbox[(b >> 16) & 0xFF]} << 16 |
          std::uint32_t{kAesSbox[(c >> 8) & 0xFF]} << 8 | kAesSbox[d & 0xFF]) ^
         k;
}

[[gnu::always_inline]] inline void Store(const Columns& s, const std::uint32_t* k, std::uint8_t out[16]) {
  StoreBigEndian(SubColumn(s.c0, s.c1, s.c2, s.c3, k[0]), out);
  StoreBigEndian(SubColumn(s.c1, s.c2, s.c3, s.c0, k[1]), out + 4);
  StoreBigEndian(SubColumn(s.c2, s.c3, s.c0, s.c1, k[2]), out + 8);
  StoreBigEndian(SubColumn(s.c3, s.c0, s.c1, s.c2, k[3]), out + 12);
}

void TableEncryptBlock(const std::uint8_t in[16], std::uint8_t out[16], const std::uint32_t* roundKeys) {
  Columns s = Load(in, roundKeys);
  for (int round = 1; round < 10; ++round) s = Round(s, roundKeys + 4 * round);
  Store(s, roundKeys + 40, out);
}

void TableEncryptTwoBlocks(const std::uint8_t a[16], std::uint8_t aOut[16], const std::uint8_t b[16],
                           std::uint8_t bOut[16], const std::uint32_t* roundKeys) {
  Columns s = Load(a, roundKeys), t = Load(b, roundKeys);
  for (int round = 1; round < 10; ++round) {
    s = Round(s, roundKeys + 4 * round);
    t = Round(t, roundKeys + 4 * round);
  }
  Store(s, roundKeys + 40, aOut);
  Store(t, roundKeys + 40, bOut);
}

}  // namespace

AesKeySchedule::~AesKeySchedule() {
  volatile std::uint32_t* wipe = roundKeys;
  for (std::size_t i = 0; i < sizeof roundKeys / sizeof roundKeys[0]; ++i) wipe[i] = 0;
}

bool AesExpandKey(const std::uint8_t* key, std::uint32_t keyLength, AesKeySchedule& schedule) {
  if (key == nullptr || keyLength != kAes128KeyBytes) return false;
  schedule.cpuInstructions = CpuAesInstructionsInUse();
  if (schedule.cpuInstructions) {
    AesInstructionsExpandKey(key, schedule);
  } else {
    TableExpandKey(key, schedule.roundKeys);
  }
  return true;
}

void AesEncryptBlock(const std::uint8_t in[16], std::uint8_t out[16], const AesKeySchedule& schedule) {
  if (schedule.cpuInstructions) {
    AesInstructionsEncryptBlock(in, out, schedule);
  } else {
    TableEncryptBlock(in, out, schedule.roundKeys);
  }
}

void AesEncryptTwoBlocks(const std::uint8_t a[16], std::uint8_t aOut[16], const std::uint8_t b[16],
                         std::uint8_t bOut[16], const AesKeySchedule& schedule) {
  if (schedule.cpuInstructions) {
    AesInstructionsEncryptTwoBlocks(a, aOut, b, bOut, schedule);
  } else {
    TableEncryptTwoBlocks(a, aOut, b, bOut, schedule.roundKeys);
  }
}

void AesEncryptWithKey(const std::uint8_t key[16], const std::uint8_t in[16], std::uint8_t out[16]) {
  AesKeySchedule schedule;
  AesExpandKey(key, kAes128KeyBytes, schedule);
  AesEncryptBlock(in, out, schedule);
}

void AllowCpuAesInstructions(bool allowed) { g_cpuInstructionsAllowed.store(allowed, std::memory_order_relaxed); }

bool CpuAesInstructionsInUse() {
  return g_cpuInstructionsAllowed.load(std::memory_order_relaxed) && CpuHasAesInstructions();
}

}  // namespace zelnic::core
