// The ciphers on data frames, receiving side: each protected MPDU is decrypted in place (the
// plaintext moves over the cipher header, so the frame continues as a plain one), and TKIP's
// Michael is checked once the MSDU is whole. Sequence counters move only for frames that
// verified: CCMP's with the MPDU, TKIP's with the MSDU's Michael.
#include <cstring>

#include "driver/core/ccmp_cipher.h"
#include "driver/core/ckip_data_path.h"
#include "driver/core/core_adapter.h"
#include "driver/core/data_ciphers.h"
#include "driver/core/frame_tests.h"
#include "driver/core/key_installs.h"
#include "driver/core/michael.h"
#include "driver/core/station_seams.h"
#include "driver/core/tkip_countermeasures.h"
#include "driver/core/wep_cipher.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kMacHeaderBytes = 30;  // frame control through address 4

void PutBodyLength(std::uint8_t* frame, std::uint32_t body) {
  frame[0] = static_cast<std::uint8_t>(body);
  frame[1] = static_cast<std::uint8_t>(body >> 8);
}

// The plaintext of `data` bytes at `body + header` moves to the body's start; the frame's
// new length.
LONG Plain(std::uint8_t* frame, std::uint32_t header, std::uint32_t data) {
  std::memmove(frame + kChipHeaderBytes, frame + kChipHeaderBytes + header, data);
  PutBodyLength(frame, data);
  return static_cast<LONG>(kChipHeaderBytes + data);
}

LONG DecryptWep(CoreAdapter* core, std::uint8_t* frame, std::uint32_t body) {
  if (body < kWepHeaderBytes + kWepIcvBytes) return -1;
  const std::uint32_t keyId = WepKeyId(frame + kChipHeaderBytes);
  const WepKeyRecord& key = core->Config.wepKeys[keyId];
  std::uint32_t data = 0;
  if (WepDecrypt(frame + kChipHeaderBytes, body, key.key, key.keyLength, data) != WepRefusal::kNone) return -1;
  core->Ciphers.Received = {FrameCipher::kWep, keyId, 0};
  return Plain(frame, kWepHeaderBytes, data);
}

// The receive checks in their order: Extended IV, a valid key, replay, ICV. The TSC is
// committed by the MIC check.
LONG DecryptTkip(CoreAdapter* core, std::uint8_t* frame, std::uint32_t body) {
  if (body < kTkipHeaderBytes + kTkipIcvBytes) return -1;
  std::uint8_t* iv = frame + kChipHeaderBytes;
  const std::uint32_t slot = WpaNoneMode(core) ? 0 : iv[3] >> 6;
  KeyEntry& entry = core->Keys.Entry(slot);
  if ((entry.flags & kKeyValid) == 0) return -1;
  TkipKeyMixer mixer(entry.temporalKey, frame + kAddress2);
  std::uint32_t data = 0;
  if (TkipDecrypt(mixer, entry.receiveCounter, iv, body, data) != TkipRefusal::kNone) return -1;
  core->Ciphers.Received = {FrameCipher::kTkip, slot, TkipReceivedTsc(iv)};
  return Plain(frame, kTkipHeaderBytes, data);
}

// A group-addressed frame names its group key; everything else comes under the pairwise key,
// both from the current network's key table.
// WPA-None peers share one key and may reuse packet numbers: no replay check there.
LONG DecryptCcmp(CoreAdapter* core, std::uint8_t* frame, std::uint32_t body) {
  if (body < kCcmpHeaderBytes + kCcmpMicBytes) return -1;
  std::uint8_t* header = frame + kChipHeaderBytes;
  const bool wpaNone = WpaNoneMode(core);
  const std::uint32_t slot = wpaNone || !IsGroupAddress(frame + kAddress1) ? 0 : header[3] >> 6;
  KeyEntry* entry = CcmpKeyEntry(core, slot);
  if (entry == nullptr) return -1;
  std::uint32_t data = 0;
  if (CcmpDecrypt(entry->keyMaterial, frame + 2, kMacHeaderBytes, entry->receiveCounter, !wpaNone, header, body,
                  data) != CcmpRefusal::kNone)
    return -1;
  const std::uint64_t pn = CcmpReceivedPn(header);
  if (!wpaNone) entry->receiveCounter = pn;
  core->Ciphers.Received = {FrameCipher::kCcmp, slot, pn};
  return Plain(frame, kCcmpHeaderBytes, data);
}

}  // namespace

LONG Decrypt(CoreAdapter* core, UCHAR* frame, ULONG length) {
  core->Ciphers.Received = ReceivedKey{};
  if (length < kChipHeaderBytes) return -1;
  const std::uint32_t body = length - kChipHeaderBytes;
  if (CkipEncrypts(core)) return CkipDecryptFrame(core, frame, body);
  // A group-addressed frame comes under the group key's cipher, which may be weaker than the
  // pairwise one (TKIP group keys beside CCMP pairwise keys, WEP group keys beside either).
  std::uint32_t status = core->Config.wepStatus;
  const std::uint32_t group = core->Ciphers.GroupCipherStatus;
  if (IsGroupAddress(frame + kAddress1) && (status == 4 || status == 6) && (group == 0 || group == 4 || group == 6))
    status = group;
  switch (status) {
    case 0:
      return DecryptWep(core, frame, body);
    case 4:
      return DecryptTkip(core, frame, body);
    case 6:
      return DecryptCcmp(core, frame, body);
    default:
      return -1;  // no cipher in use: a protected frame cannot be read
  }
}

// TKIP's Michael over the whole MSDU: its last 8 bytes are the MIC. Only a verified MSDU
// moves the receive TSC, so a forged frame never advances it.
bool TkipCheckMic(CoreAdapter* core, ReceiveRecord* record, const ReceivedKey& received) {
  if (record->Length < kChipHeaderBytes + kMichaelBytes) return false;
  std::uint8_t* frame = record->Frame;
  const std::uint32_t data = record->Length - kChipHeaderBytes - kMichaelBytes;
  KeyEntry& entry = core->Keys.Entry(received.slot);
  const bool toDs = (FrameFlags(frame) & 0x01) != 0;
  const bool fromDs = (FrameFlags(frame) & 0x02) != 0;
  std::uint8_t mic[kMichaelBytes];
  MichaelMic(entry.michaelReceiveKey, frame + (toDs ? kAddress3 : kAddress1), frame + (fromDs ? kAddress3 : kAddress2),
             0, frame + kChipHeaderBytes, data, mic);
  if (std::memcmp(mic, frame + kChipHeaderBytes + data, kMichaelBytes) != 0) {
    TkipMicFailure(core, received.slot);
    return false;
  }
  if (received.counter > entry.receiveCounter) entry.receiveCounter = received.counter;
  record->Length -= kMichaelBytes;
  PutBodyLength(frame, data);
  return true;
}

bool CheckReceiveMic(CoreAdapter* core, ReceiveRecord* record) {
  const ReceivedKey received = core->Ciphers.Received;
  if (CkipCmicApplies(core, received.cipher)) return CmicCheck(core, record);
  if (received.cipher != FrameCipher::kTkip) return received.cipher != FrameCipher::kNone;
  return TkipCheckMic(core, record, received);
}

}  // namespace zelnic::core
