#include "driver/core/tkip_cipher.h"

#include <cstring>

#include "driver/core/key_table.h"
#include "driver/core/wep_cipher.h"

namespace zelnic::core {
namespace {

constexpr std::uint8_t kExtendedIvBit = 0x20;

}  // namespace

TkipKeyMixer::TkipKeyMixer(const std::uint8_t temporalKey[16], const std::uint8_t transmitter[6]) {
  std::memcpy(temporalKey_, temporalKey, sizeof temporalKey_);
  std::memcpy(transmitter_, transmitter, sizeof transmitter_);
}

TkipKeyMixer::~TkipKeyMixer() {
  WipeKeyBytes(temporalKey_, sizeof temporalKey_);
  WipeKeyBytes(&phase1_, sizeof phase1_);
}

void TkipKeyMixer::Rc4Key(std::uint64_t tsc, std::uint8_t rc4Key[16]) {
  const std::uint32_t iv32 = static_cast<std::uint32_t>(tsc >> 16);
  if (!cached_ || iv32 != cachedIv32_) {
    TkipPhase1(temporalKey_, transmitter_, iv32, phase1_);
    cachedIv32_ = iv32;
    cached_ = true;
  }
  TkipPhase2(temporalKey_, phase1_, static_cast<std::uint16_t>(tsc), rc4Key);
}

void TkipEncrypt(TkipKeyMixer& mixer, std::uint64_t tsc, std::uint32_t keyId, std::uint8_t* body,
                 std::uint32_t length) {
  std::uint8_t rc4Key[16];
  mixer.Rc4Key(tsc, rc4Key);
  body[0] = rc4Key[0];  // TSC1
  body[1] = rc4Key[1];  // WEP seed
  body[2] = rc4Key[2];  // TSC0
  body[3] = static_cast<std::uint8_t>((keyId & 3) << 6 | kExtendedIvBit);
  for (int i = 0; i < 4; ++i) body[4 + i] = static_cast<std::uint8_t>(tsc >> (16 + 8 * i));
  std::uint8_t* data = body + kTkipHeaderBytes;
  WepAppendIcv(data, length);
  Rc4InPlace(rc4Key, kTkipRc4KeyBytes, data, length + kTkipIcvBytes);
  WipeKeyBytes(rc4Key, sizeof rc4Key);
}

std::uint64_t TkipReceivedTsc(const std::uint8_t* body) {
  std::uint64_t tsc = static_cast<std::uint64_t>(body[2]) | static_cast<std::uint64_t>(body[0]) << 8;
  for (int i = 0; i < 4; ++i) tsc |= static_cast<std::uint64_t>(body[4 + i]) << (16 + 8 * i);
  return tsc;
}

TkipRefusal TkipDecrypt(TkipKeyMixer& mixer, std::uint64_t lastTsc, std::uint8_t* body, std::uint32_t bodyLength,
                        std::uint32_t& dataLength) {
  dataLength = 0;
  if (bodyLength < kTkipHeaderBytes + kTkipIcvBytes) return TkipRefusal::kTooShort;
  if ((body[3] & kExtendedIvBit) == 0) return TkipRefusal::kNoExtendedIv;
  const std::uint64_t tsc = TkipReceivedTsc(body);
  if (tsc <= (lastTsc & kTkipTscMask)) return TkipRefusal::kReplay;
  const std::uint32_t length = bodyLength - kTkipHeaderBytes - kTkipIcvBytes;
  std::uint8_t rc4Key[16];
  mixer.Rc4Key(tsc, rc4Key);
  std::uint8_t* data = body + kTkipHeaderBytes;
  Rc4InPlace(rc4Key, kTkipRc4KeyBytes, data, length + kTkipIcvBytes);
  WipeKeyBytes(rc4Key, sizeof rc4Key);
  if (!WepIcvMatches(data, length)) return TkipRefusal::kIcvMismatch;
  dataLength = length;
  return TkipRefusal::kNone;
}

}  // namespace zelnic::core
