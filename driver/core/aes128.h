#pragma once
// AES-128 encryption of single blocks (FIPS-197): all that CCM and CKIP's CMIC need. Two
// implementations give the same blocks: the CPU's AES instructions where it has them, and
// otherwise portable code with the four 1 KiB T-tables (SubBytes, ShiftRows and MixColumns
// as table look-ups on 32-bit columns). The choice is made when a key is expanded: the
// schedule remembers which form it holds.
#include <cstdint>

namespace zelnic::core {

constexpr std::uint32_t kAesBlockBytes = 16;
constexpr std::uint32_t kAes128KeyBytes = 16;

// The 11 round keys of one AES-128 key, wiped when the schedule goes. The table code keeps
// them as big-endian columns read into numbers, the AES instructions as the bytes in order.
struct AesKeySchedule {
  alignas(16) std::uint32_t roundKeys[44];
  bool cpuInstructions = false;
  AesKeySchedule() = default;
  AesKeySchedule(const AesKeySchedule&) = delete;
  AesKeySchedule& operator=(const AesKeySchedule&) = delete;
  ~AesKeySchedule();
};

// False (and the schedule untouched) for any key length but 16.
bool AesExpandKey(const std::uint8_t* key, std::uint32_t keyLength, AesKeySchedule& schedule);
// In and out may be the same block.
void AesEncryptBlock(const std::uint8_t in[16], std::uint8_t out[16], const AesKeySchedule& schedule);
// Two independent blocks in one pass: the rounds of one fill the other's waits (CCM's MAC
// and counter blocks). In and out may be the same block.
void AesEncryptTwoBlocks(const std::uint8_t a[16], std::uint8_t aOut[16], const std::uint8_t b[16],
                         std::uint8_t bOut[16], const AesKeySchedule& schedule);
// Expands `key` and encrypts one block; the schedule is wiped.
void AesEncryptWithKey(const std::uint8_t key[16], const std::uint8_t in[16], std::uint8_t out[16]);

// Whether keys expanded from now on use the CPU's AES instructions: only when the CPU has
// them and they are allowed. Allowed unless switched off (tests, fuzzing and benchmarks
// compare both forms in one process).
bool CpuHasAesInstructions();
void AllowCpuAesInstructions(bool allowed);
bool CpuAesInstructionsInUse();

}  // namespace zelnic::core
