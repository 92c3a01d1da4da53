// The ciphers on data frames, sending side: the key a frame is sent under and its encryption
// in the transmit ring. Encapsulation left each fragment's cipher room (header before the
// data, trailer after it, counted in the body length), so every fragment is encrypted in
// place where it lies.
#include "driver/core/data_ciphers.h"

#include <cstring>

#include "driver/core/ccmp_cipher.h"
#include "driver/core/ckip_data_path.h"
#include "driver/core/core_adapter.h"
#include "driver/core/frame_tests.h"
#include "driver/core/key_installs.h"
#include "driver/core/michael.h"
#include "driver/core/station_seams.h"
#include "driver/core/tkip_countermeasures.h"
#include "driver/core/wep_cipher.h"
#include "driver/core/wep_frame.h"
#include "driver/hal/chip_frames.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr ULONG kSendCipherShift = 16;  // the send record's bits 16..18: cipher, 19..20: slot
constexpr ULONG kSendProtectionMask = 0x1Fu << kSendCipherShift;
constexpr std::uint32_t kNoSlot = 5;
constexpr std::uint32_t kMacHeaderBytes = 30;  // frame control through address 4

// The adapter key table's slot for a frame to `destination`, or kNoSlot.
std::uint32_t FindAdapterKeySlot(CoreAdapter* core, const std::uint8_t* destination) {
  const bool wpaNone = WpaNoneMode(core);
  if (IsGroupAddress(destination)) {
    for (std::uint32_t slot = wpaNone ? 0 : 1; slot < 4; ++slot) {
      const KeyEntry& e = core->Keys.Entry(slot);
      if ((e.flags & kKeyValid) == 0 || (e.flags & kKeyPairwise) != 0) continue;
      if (wpaNone || std::memcmp(e.bssid, core->Bssid.data(), 6) == 0) return slot;
    }
    return kNoSlot;
  }
  const KeyEntry& pairwise = core->Keys.Entry(0);
  const bool usable = (pairwise.flags & kKeyValid) != 0 && (wpaNone || (pairwise.flags & kKeyPairwise) != 0);
  return usable ? 0 : kNoSlot;
}

// The adapter key table's pairwise key: always slot 0 when installed, else kNoSlot.
std::uint32_t FindPairwiseKey(CoreAdapter* core) {
  const KeyEntry& e = core->Keys.Entry(0);
  return (e.flags & kKeyValid) != 0 && (e.flags & kKeyPairwise) != 0 ? 0 : kNoSlot;
}

bool CurrentBssPairwiseInstalled(CoreAdapter* core) {
  const BssKeyTable* table = CurrentBssKeys(core);
  if (table == nullptr) return false;
  const KeyEntry& e = table->entries[0];
  return (e.flags & kKeyValid) != 0 && (e.flags & kKeyPairwise) != 0;
}

// CCMP's slot: the current network's pairwise key (slot 0) when it is installed; in
// WPA-None the adapter table's key for the destination.
std::uint32_t FindBssKeySlot(CoreAdapter* core, const std::uint8_t* destination) {
  if (WpaNoneMode(core)) return FindAdapterKeySlot(core, destination);
  return CurrentBssPairwiseInstalled(core) ? 0 : kNoSlot;
}

// TKIP sends a receive-only group key's frames under the pairwise key.
std::uint32_t TkipTransmitSlot(CoreAdapter* core, std::uint32_t slot) {
  if (slot > 3) return kNoSlot;
  if ((core->Keys.Entry(slot).flags & kKeyReceiveOnly) == 0) return slot;
  return FindPairwiseKey(core);
}

// TKIP and CCMP alike: an EAPOL frame goes in the clear until its key exists; the MIC-failure
// countermeasures let only EAPOL frames pass, and none once their report has gone out.
bool ChooseRsnKey(CoreAdapter* core, const std::uint8_t* destination, bool eapol, std::uint32_t slot,
                  FrameCipher cipher, TransmitProtection& out) {
  if (!WpaNoneMode(core) && core->MlmeState != kMlmeAssociated) return false;
  if (eapol) {
    if (!TkipCountermeasuresLetEapolPass(core)) return false;
    if (slot != 0 && !(WpaNoneMode(core) && slot < 4)) return true;  // in the clear
  } else {
    if (TkipCountermeasuresHoldData(core)) return false;
    if (slot == kNoSlot) return false;
    if (!IsGroupAddress(destination) && slot != 0 && !WpaNoneMode(core)) return false;
  }
  out.cipher = cipher;
  out.slot = slot;
  out.headerRoom = cipher == FrameCipher::kTkip ? kTkipHeaderBytes : kCcmpHeaderBytes;
  out.trailerRoom = cipher == FrameCipher::kTkip ? kTkipIcvBytes : kCcmpMicBytes;
  out.msduTrailer = cipher == FrameCipher::kTkip ? kMichaelBytes : 0;
  return true;
}

// CCMP's transmit key: every frame toward the access point goes under the current network's
// pairwise key, group ones too; in WPA-None the adapter table's key of the destination.
bool SelectCcmpTxKey(CoreAdapter* core, const std::uint8_t* destination, bool eapol, TransmitProtection& out) {
  return ChooseRsnKey(core, destination, eapol, FindBssKeySlot(core, destination), FrameCipher::kCcmp, out);
}

// Phase 1 mixes in the transmitter address: the frame's address 2, which the receiver uses.
TkipKeyMixer& TransmitMixer(CoreAdapter* core, std::uint32_t slot, const KeyEntry& entry,
                            const std::uint8_t* transmitter) {
  CipherState& c = core->Ciphers;
  if (!c.TkipTransmit || c.TkipTransmitGeneration != core->Keys.Generation() || c.TkipTransmitSlot != slot ||
      std::memcmp(c.TkipTransmitter, transmitter, 6) != 0) {
    c.TkipTransmit.emplace(entry.temporalKey, transmitter);
    c.TkipTransmitGeneration = core->Keys.Generation();
    c.TkipTransmitSlot = slot;
    std::memcpy(c.TkipTransmitter, transmitter, 6);
  }
  return *c.TkipTransmit;
}

void PutBodyLength(std::uint8_t* frame, std::uint32_t body) {
  frame[0] = static_cast<std::uint8_t>(body);
  frame[1] = static_cast<std::uint8_t>(body >> 8);
}

// Encrypts one fragment's data in place; false when its key is gone.
bool EncryptFragment(CoreAdapter* core, FrameCipher cipher, std::uint32_t slot, std::uint8_t* frame,
                     std::uint32_t data) {
  std::uint8_t* body = frame + kChipHeaderBytes;
  switch (cipher) {
    case FrameCipher::kWep: {
      const WepKeyRecord& key = core->Config.wepKeys[slot & 3];
      core->Ciphers.WepIv = (core->Ciphers.WepIv + 1) & 0xFFFFFF;
      return WepEncrypt(body, data, core->Ciphers.WepIv, slot & 3, key.key, key.keyLength);
    }
    case FrameCipher::kTkip: {
      KeyEntry& entry = core->Keys.Entry(slot);
      if ((entry.flags & kKeyValid) == 0) return false;
      entry.transmitCounter = (entry.transmitCounter + 1) & kTkipTscMask;
      TkipEncrypt(TransmitMixer(core, slot, entry, frame + kAddress2), entry.transmitCounter, slot, body, data);
      return true;
    }
    case FrameCipher::kCcmp: {
      KeyEntry* entry = CcmpKeyEntry(core, slot);
      if (entry == nullptr) return false;
      entry->transmitCounter = (entry->transmitCounter + 1) & kCcmpPnMask;
      return CcmpEncrypt(entry->keyMaterial, frame + 2, kMacHeaderBytes, entry->transmitCounter, slot, body, data) ==
             CcmpRefusal::kNone;
    }
    case FrameCipher::kCkip:
      return CkipEncryptFragment(core, slot, frame, data);
    case FrameCipher::kNone:
      break;
  }
  return false;
}

}  // namespace

bool SelectTkipTxKey(CoreAdapter* core, const std::uint8_t* destination, bool eapol, TransmitProtection& out) {
  const std::uint32_t slot = TkipTransmitSlot(core, FindAdapterKeySlot(core, destination));
  return ChooseRsnKey(core, destination, eapol, slot, FrameCipher::kTkip, out);
}

bool ChooseTransmitProtection(CoreAdapter* core, const std::uint8_t* destination, bool eapol, TransmitProtection& out) {
  out = TransmitProtection{};
  if (CkipEncrypts(core)) return ChooseCkipProtection(core, eapol, out);
  switch (core->Config.wepStatus) {
    case 1: case 2: case 5:
      return true;
    case 0: {
      if (eapol) return true;  // the 802.1X exchange goes in the clear
      // Without a transmit key the frame is refused: never sent in the clear.
      std::uint32_t index = 0;
      const std::uint8_t* key = nullptr;
      std::uint32_t length = 0;
      if (!TransmitWepKey(core, index, key, length)) return false;
      out = {FrameCipher::kWep, index, kWepHeaderBytes, kWepIcvBytes, 0};
      return true;
    }
    case 4: {
      return SelectTkipTxKey(core, destination, eapol, out);
    }
    case 6:
      return SelectCcmpTxKey(core, destination, eapol, out);
    default:
      return false;  // 3, 7 and unknown values carry no data
  }
}

void MarkSendRecord(SendDescriptor* record, const TransmitProtection& protection) {
  record->Flags &= ~kSendProtectionMask;
  record->Flags |= (static_cast<ULONG>(protection.cipher) | (protection.slot & 3) << 3) << kSendCipherShift;
}

void TkipAppendMic(CoreAdapter* core, const TransmitProtection& protection, const std::uint8_t* header,
                   std::uint8_t* body, std::uint32_t length) {
  const KeyEntry& entry = core->Keys.Entry(protection.slot);
  const bool toDs = (header[3] & 0x01) != 0;
  MichaelMic(entry.michaelTransmitKey, header + (toDs ? kAddress3 : kAddress1), header + kAddress2, 0, body, length,
             body + length);
}

void KeysChanged(CoreAdapter* core) {
  core->Ciphers.TkipTransmit.reset();
  DiscardReassembly(core->Reassembly);
}

ULONG Encrypt(CoreAdapter* core, SendDescriptor* record, UCHAR* buffer, ULONG length) {
  const auto cipher = static_cast<FrameCipher>((record->Flags >> kSendCipherShift) & 7);
  const std::uint32_t slot = (record->Flags >> (kSendCipherShift + 3)) & 3;
  if (cipher == FrameCipher::kNone) return StatusFailure;  // protected without a key: not sent
  TransmitProtection room;
  room.cipher = cipher;
  room.headerRoom = cipher == FrameCipher::kWep || cipher == FrameCipher::kCkip ? kWepHeaderBytes : 8;
  room.trailerRoom = cipher == FrameCipher::kCcmp ? kCcmpMicBytes : 4;
  for (std::uint32_t at = 0; at + kChipHeaderBytes <= length; at = hal::NextChipFrame(at, buffer + at)) {
    std::uint8_t* frame = buffer + at;
    if ((frame[3] & kFlagProtected) == 0) continue;
    const std::uint32_t body = hal::ChipFrameBody(frame);
    if (body < room.headerRoom + room.trailerRoom || at + kChipHeaderBytes + body > hal::kRingBufferBytes)
      return StatusFailure;
    if (!EncryptFragment(core, cipher, slot, frame, body - room.headerRoom - room.trailerRoom)) return StatusFailure;
    PutBodyLength(frame, body);
  }
  return StatusSuccess;
}

}  // namespace zelnic::core
