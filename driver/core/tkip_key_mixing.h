#pragma once
// TKIP's per-frame RC4 key: phase 1 mixes the temporal key, the transmitter address and the
// upper 32 bits of the sequence counter (cached while they stay the same); phase 2 mixes
// that with the lower 16 bits into the 16-byte RC4 key of one frame.
#include <cstdint>

namespace zelnic::core {

constexpr std::uint32_t kTkipTemporalKeyBytes = 16;
constexpr std::uint32_t kTkipRc4KeyBytes = 16;

struct TkipPhase1Key {
  std::uint16_t ttak[5];
};

// TKIP's 16-bit S-box function; CKIP's key permutation uses it too.
std::uint16_t TkipSbox(std::uint16_t value);

void TkipPhase1(const std::uint8_t temporalKey[16], const std::uint8_t transmitter[6], std::uint32_t iv32,
                TkipPhase1Key& out);

void TkipPhase2(const std::uint8_t temporalKey[16], const TkipPhase1Key& phase1, std::uint16_t iv16,
                std::uint8_t rc4Key[16]);

}  // namespace zelnic::core
