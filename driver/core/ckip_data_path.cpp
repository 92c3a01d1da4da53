#include "driver/core/ckip_data_path.h"

#include <cstring>

#include "driver/core/core_adapter.h"
#include "driver/core/frame_tests.h"
#include "driver/core/wep_cipher.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kStatusWep = 0;
constexpr std::uint32_t kStatusTkip = 4;

std::uint8_t Flags(const CoreAdapter* core) { return core->Ccx.ckipFlags; }
bool Permutes(const CoreAdapter* core) { return (Flags(core) & kCkipKeyPermutation) != 0; }
bool CmicOn(const CoreAdapter* core) {
  const std::uint32_t status = core->Config.wepStatus;
  return (Flags(core) & kCkipCmic) != 0 && (status == kStatusWep || status == kStatusTkip);
}

void PutBodyLength(std::uint8_t* frame, std::uint32_t body) {
  frame[0] = static_cast<std::uint8_t>(body);
  frame[1] = static_cast<std::uint8_t>(body >> 8);
}

}  // namespace

void CkipKeyInstalled(CoreAdapter* core, std::uint32_t keyIndex, const std::uint8_t* key, std::uint32_t length) {
  const std::uint32_t id = keyIndex & 3;
  InstallCkipKey(core->Ckip.Keys[id], key, length < kCkipKeyBytes ? length : kCkipKeyBytes);
  if ((keyIndex & 0x80000000u) != 0) {
    core->Ckip.TransmitKeyId = static_cast<std::uint8_t>(id);
  } else {
    core->Ckip.GroupKeyId = static_cast<std::uint8_t>(id);
  }
}

void ResetCkipKeys(CoreAdapter* core) {
  ResetPendingFrame(core);
  for (CkipKeyRecord& record : core->Ckip.Keys) WipeCkipKey(record);
  core->Ckip.TransmitKeyId = 0;
  core->Ckip.GroupKeyId = 0;
}

bool CkipHeaderApplies(const CoreAdapter* core, const TransmitProtection& protection) {
  return CmicOn(core) && protection.cipher != FrameCipher::kNone &&
         core->Ckip.Keys[core->Ckip.TransmitKeyId].Installed();
}

std::uint32_t WriteCkipHeader(CoreAdapter* core, std::uint8_t* body, std::uint16_t type) {
  const std::uint32_t sequence = TakeCkipSequence(core->Ckip.Keys[core->Ckip.TransmitKeyId]);
  std::memcpy(body, kCkipSnap, kCkipSnapBytes);
  std::memset(body + kCkipCmicAt, 0, 4);
  for (int i = 0; i < 4; ++i) body[kCkipSeqAt + i] = static_cast<std::uint8_t>(sequence >> (24 - 8 * i));
  body[kCkipHeaderBytes] = static_cast<std::uint8_t>(type >> 8);
  body[kCkipHeaderBytes + 1] = static_cast<std::uint8_t>(type);
  return kCkipHeaderWithTypeBytes;
}

void CmicCompute(CoreAdapter* core, const std::uint8_t destination[6], const std::uint8_t source[6],
                 std::uint8_t* body, std::uint32_t length) {
  CkipSealCmic(core->Ckip.Keys[core->Ckip.TransmitKeyId].key, destination, source, body, length);
}

bool CkipEncrypts(const CoreAdapter* core) {
  const std::uint32_t status = core->Config.wepStatus;
  return (status == kStatusWep && Permutes(core)) || (status == kStatusTkip && Flags(core) != 0);
}

// EAPOL goes in the clear; every other frame needs the transmit key's record.
bool ChooseCkipProtection(CoreAdapter* core, bool eapol, TransmitProtection& out) {
  out = TransmitProtection{};
  if (eapol) return true;
  const std::uint32_t id = core->Ckip.TransmitKeyId;
  if (!core->Ckip.Keys[id].Installed()) return false;
  out = {FrameCipher::kCkip, id, kWepHeaderBytes, kWepIcvBytes, 0};
  return true;
}

bool CkipEncryptFragment(CoreAdapter* core, std::uint32_t keyId, std::uint8_t* frame, std::uint32_t data) {
  const CkipKeyRecord& key = core->Ckip.Keys[keyId & 3];
  if (!key.Installed()) return false;
  core->Ciphers.WepIv = (core->Ciphers.WepIv + 1) & 0xFFFFFF;  // shared with WEP
  CkipEncrypt(frame + kChipHeaderBytes, data, core->Ciphers.WepIv, keyId, key, Permutes(core), 1);
  return true;
}

// The frame names its key id; the key is permuted with the frame's own DS bits.
LONG CkipDecryptFrame(CoreAdapter* core, std::uint8_t* frame, std::uint32_t body) {
  if (body < kWepHeaderBytes + kWepIcvBytes) return -1;
  std::uint8_t* iv = frame + kChipHeaderBytes;
  const std::uint32_t keyId = WepKeyId(iv);
  std::uint32_t data = 0;
  if (CkipDecrypt(iv, body, core->Ckip.Keys[keyId], Permutes(core), FrameFlags(frame) & 0x03, data) !=
      CkipRefusal::kNone)
    return -1;
  core->Ciphers.Received = {FrameCipher::kCkip, keyId, 0};
  std::memmove(iv, iv + kWepHeaderBytes, data);
  PutBodyLength(frame, data);
  return static_cast<LONG>(kChipHeaderBytes + data);
}

bool CkipCmicApplies(const CoreAdapter* core, FrameCipher cipher) {
  return CmicOn(core) && (cipher == FrameCipher::kCkip || cipher == FrameCipher::kWep);
}

// Group-addressed frames come under the group key, others under the transmit key. The
// sequence number is not checked against earlier frames.
bool CmicCheck(CoreAdapter* core, ReceiveRecord* record) {
  if (record->Length < kChipHeaderBytes) return false;
  const std::uint8_t* frame = record->Frame;
  const std::uint8_t* destination = frame + kAddress1;
  const std::uint8_t id = IsGroupAddress(destination) ? core->Ckip.GroupKeyId : core->Ckip.TransmitKeyId;
  return CkipCmicMatches(core->Ckip.Keys[id].key, destination, frame + kAddress3, frame + kChipHeaderBytes,
                         record->Length - kChipHeaderBytes);
}

}  // namespace zelnic::core
