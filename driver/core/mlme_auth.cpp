// Authentication responses: open system, and shared key with its challenge (frame 3, WEP
// encrypted when the BSS has privacy).
#include <cstring>

#include "driver/core/core_adapter.h"
#include "driver/core/frame_builders.h"
#include "driver/core/frame_tests.h"
#include "driver/core/little_endian.h"
#include "driver/core/mlme.h"
#include "driver/core/wep_frame.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint16_t kAlgorithmSharedKey = 1;
constexpr std::uint16_t kStatusUnsupportedAlgorithm = 13;
constexpr std::uint8_t kElementChallenge = 16;
constexpr std::uint32_t kAuthenticationFixed = 6;
constexpr std::uint16_t kCapabilityEss = 0x0001;
constexpr std::uint32_t kIvBytes = 4;
constexpr std::uint32_t kIcvBytes = 4;

// Frame 3: the challenge of frame 2 sent back, WEP encrypted when the BSS has privacy.
// False when frame 2 has no challenge that fits inside it, or no key to encrypt with.
ULONG SendSharedKeyFrame3(CoreAdapter* core, const std::uint8_t* frame, std::uint32_t length) {
  const std::uint8_t* body = frame + kChipHeaderBytes;
  const std::uint32_t bodyLength = length - kChipHeaderBytes;
  if (bodyLength < kAuthenticationFixed + 2 || body[kAuthenticationFixed] != kElementChallenge) return StatusFailure;
  const std::uint32_t challenge = 2u + body[kAuthenticationFixed + 1];
  if (challenge > bodyLength - kAuthenticationFixed || challenge == 2) return StatusFailure;

  const bool privacy = core->Station.CurrentEntry.Privacy != 0;
  std::uint32_t keyIndex = 0, keyLength = 0;
  const std::uint8_t* key = nullptr;
  if (privacy && !TransmitWepKey(core, keyIndex, key, keyLength)) return StatusFailure;

  ManagementFrameBuffer* out = TakeFrameBuffer(core);
  if (out == nullptr) return StatusResources;
  std::uint8_t* f = out->Buffer;
  BuildHeader(core, f, frame + kAddress3, kSubtypeAuthentication);
  std::uint8_t* plain = f + kChipHeaderBytes + (privacy ? kIvBytes : 0);
  Put16(plain, kAlgorithmSharedKey);
  Put16(plain + 2, 3);
  Put16(plain + 4, 0);
  std::memcpy(plain + kAuthenticationFixed, body + kAuthenticationFixed, challenge);
  std::uint32_t outBody = kAuthenticationFixed + challenge;
  if (privacy) {
    f[3] |= kFlagProtected;
    const std::uint32_t iv = (core->SequenceCounter * 0x9E37u + 1) & 0xFFFFFF;
    WepEncrypt(f + kChipHeaderBytes, outBody, iv, keyIndex, key, keyLength);
    outBody += kIvBytes + kIcvBytes;
    out->SendFlags = hal::kSendNoCipher;  // encrypted here: the chip layer's cipher leaves it
  }
  Put16(f, outBody);
  out->Length = kChipHeaderBytes + outBody;
  core->MlmeState = kMlmeSharedKeySent;
  ArmMlmeTimer(core, kMlmeWaitMs);
  QueueManagementFrame(core, out);
  return StatusSuccess;
}

}  // namespace

ULONG HandleAuthResponse(CoreAdapter* core, const std::uint8_t* frame, std::uint32_t length) {
  if (length < kChipHeaderBytes + kAuthenticationFixed) {
    core->MlmeState = kMlmeIdle;
    return StatusFailure;
  }
  const std::uint8_t* body = frame + kChipHeaderBytes;
  const std::uint16_t algorithm = Get16(body);
  const std::uint16_t sequence = Get16(body + 2);
  const std::uint16_t status = Get16(body + 4);
  if (sequence != 2 && sequence != 4) {
    core->MlmeState = kMlmeIdle;
    return StatusFailure;
  }
  const std::uint32_t authMode = core->Config.authMode;
  if (status == kStatusUnsupportedAlgorithm && algorithm == kAlgorithmSharedKey && authMode == 0) return StatusSuccess;
  if (status != 0) {
    core->MlmeState = kMlmeIdle;
    return StatusFailure;
  }
  const bool frame4 = sequence == 4 && core->MlmeState == kMlmeSharedKeySent;
  // Frame 3 follows only a shared-key frame 2 (modes 1 and 2 authenticate with algorithm 1).
  if (algorithm == kAlgorithmSharedKey && authMode == 1 && !frame4) {
    if (sequence != 2 || SendSharedKeyFrame3(core, frame, length) != StatusSuccess) {
      core->MlmeState = kMlmeIdle;
      return StatusFailure;
    }
    return StatusSuccess;
  }

  core->MlmeState = kMlmeAuthenticated;
  StationState& st = core->Station;
  if ((st.CurrentBss.Elements.Capability & kCapabilityEss) == 0) {
    ContinueByState(core);
    return StatusSuccess;
  }
  const BssElements& bss = st.CurrentBss.Elements;
  if (bss.MakerPresent != 0 && bss.Maker[2 + 6] == 1) {
    st.SavedTxPower = core->Config.txPowerLevel;
    hal::SendTxPower(core->Hal, 1, 1);
  }
  if (SendAssociationRequest(core, st.CurrentEntry.MacAddress) != StatusSuccess) {
    core->MlmeState = kMlmeIdle;
    return StatusFailure;
  }
  return StatusSuccess;
}

}  // namespace zelnic::core
