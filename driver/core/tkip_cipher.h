#pragma once
// TKIP encapsulation of one MPDU body: the 8-byte IV / Extended IV carrying the 48-bit TSC,
// RC4 with the mixed per-frame key, the CRC-32 ICV. Michael belongs to the MSDU (michael.h).
#include <cstdint>

#include "driver/core/tkip_key_mixing.h"

namespace zelnic::core {

constexpr std::uint32_t kTkipHeaderBytes = 8;
constexpr std::uint32_t kTkipIcvBytes = 4;
constexpr std::uint64_t kTkipTscMask = 0xFFFFFFFFFFFFull;

// One direction's temporal key with its phase-1 result cached: phase 1 runs again only when
// the upper 32 bits of the TSC (or the transmitter) change.
class TkipKeyMixer {
 public:
  TkipKeyMixer(const std::uint8_t temporalKey[16], const std::uint8_t transmitter[6]);
  ~TkipKeyMixer();
  void Rc4Key(std::uint64_t tsc, std::uint8_t rc4Key[16]);

 private:
  std::uint8_t temporalKey_[16];
  std::uint8_t transmitter_[6];
  TkipPhase1Key phase1_{};
  std::uint32_t cachedIv32_ = 0;
  bool cached_ = false;
};

// Encrypts `length` data bytes at `body + 8` in place under `tsc`; writes the header and
// appends the ICV (the caller leaves room for it).
void TkipEncrypt(TkipKeyMixer& mixer, std::uint64_t tsc, std::uint32_t keyId, std::uint8_t* body,
                 std::uint32_t length);

enum class TkipRefusal { kNone, kTooShort, kNoExtendedIv, kReplay, kIcvMismatch };

// The 48-bit TSC a received body carries (call only on bodies of at least 8 bytes).
std::uint64_t TkipReceivedTsc(const std::uint8_t* body);

// Decrypts a received body in place. Refused before decryption: bodies shorter than header
// and ICV, no Extended IV bit, a TSC not above `lastTsc` (replay). The caller commits the TSC
// as the new `lastTsc` only after the MSDU's Michael verifies, so forged frames never move it.
TkipRefusal TkipDecrypt(TkipKeyMixer& mixer, std::uint64_t lastTsc, std::uint8_t* body, std::uint32_t bodyLength,
                        std::uint32_t& dataLength);

}  // namespace zelnic::core
