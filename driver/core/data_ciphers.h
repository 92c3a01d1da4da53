#pragma once
// The ciphers on data frames: which key protects a frame being sent (chosen when it is
// encapsulated, so a frame without its key is refused before anything goes out), its
// encryption in the transmit ring, and the decryption and MIC check of received frames.
// WEP keys are the WEP key records; TKIP keys are the adapter key table's, CCMP keys the
// current network's per-BSS key table's (the adapter table's in WPA-None).
#include <cstdint>
#include <optional>

#include "driver/core/tkip_cipher.h"
#include "driver/ndis/os_service_table.h"

struct CoreAdapter;
struct ReceiveRecord;

namespace zelnic::core {

enum class FrameCipher : std::uint8_t { kNone, kWep, kTkip, kCcmp, kCkip };

// What encapsulation leaves around each fragment's data for the cipher, and what it appends
// to the MSDU before fragmenting it (TKIP's Michael MIC).
struct TransmitProtection {
  FrameCipher cipher = FrameCipher::kNone;
  std::uint32_t slot = 0;         // key slot (TKIP, CCMP) or WEP key record index
  std::uint32_t headerRoom = 0;   // IV / CCMP header, before each fragment's data
  std::uint32_t trailerRoom = 0;  // ICV / CCMP MIC, after each fragment's data
  std::uint32_t msduTrailer = 0;  // Michael MIC, after the MSDU's data
};

// The key of the frame last decrypted: the MIC check commits its counter once the whole
// MSDU verifies, and reassembly joins only fragments under one key.
struct ReceivedKey {
  FrameCipher cipher = FrameCipher::kNone;
  std::uint32_t slot = 0;
  std::uint64_t counter = 0;  // TSC or PN of the frame
};

struct CipherState {
  std::uint32_t WepIv = 0;  // shared by every WEP frame
  // The cipher of the current network's group key as an encryption status (0 WEP, 4 TKIP,
  // 6 AES), chosen with the association; 0xFF while none was chosen (the pairwise cipher's).
  std::uint32_t GroupCipherStatus = 0xFF;
  // REMOVE_WEP with its transmit bit took the transmit key away: no other WEP key sends
  // until a key is made the transmit key again.
  bool WepTransmitKeyRemoved = false;
  ReceivedKey Received{};
  // TKIP's phase-1 result of the transmit key, kept while the key and the TSC's upper 32 bits stay.
  std::optional<TkipKeyMixer> TkipTransmit;
  std::uint32_t TkipTransmitGeneration = 0;
  std::uint32_t TkipTransmitSlot = 0;
  std::uint8_t TkipTransmitter[6] = {};
  // TKIP MIC failures: 0 idle, 1 a second failure came within the window, 2 the report has
  // gone out and the link is about to be dropped.
  std::uint8_t CountermeasureState = 0;
  bool MicWindowArmed = false;
  bool CountermeasureTimerArmed = false;  // blocks SSID sets while it runs
};

// The protection a data frame to `destination` gets; false refuses the frame (no key, the
// countermeasures, an encryption status that carries no data).
bool ChooseTransmitProtection(CoreAdapter* core, const std::uint8_t* destination, bool eapol, TransmitProtection& out);
// TKIP's choice (encryption status 4): the adapter table's key for the destination, the
// pairwise key for a receive-only group key; an EAPOL frame goes in the clear until its key
// exists; the MIC-failure countermeasures hold data back.
bool SelectTkipTxKey(CoreAdapter* core, const std::uint8_t* destination, bool eapol, TransmitProtection& out);
// Records the choice on the send record, where Encrypt finds it in the ring.
void MarkSendRecord(SendDescriptor* record, const TransmitProtection& protection);
// Michael over the MSDU (destination, source, the `length` body bytes as they go into the
// fragments), appended to it: the caller leaves the 8 bytes of room after the body.
void TkipAppendMic(CoreAdapter* core, const TransmitProtection& protection, const std::uint8_t* header,
                   std::uint8_t* body, std::uint32_t length);

// TKIP's Michael check of a whole received MSDU decrypted under `received` (its last 8
// bytes): only a verified MSDU moves the receive TSC; a mismatch is a MIC failure. False
// drops the frame; on success the MIC is taken off the record.
bool TkipCheckMic(CoreAdapter* core, ReceiveRecord* record, const ReceivedKey& received);

// A key table change: the TKIP transmit cache and the fragment cache start afresh.
void KeysChanged(CoreAdapter* core);

}  // namespace zelnic::core
