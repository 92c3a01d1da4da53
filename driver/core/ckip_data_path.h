#pragma once
// CKIP on the data path, toward access points that announce it in their Aironet element:
// the key records CKIP reads (one per key id, filled by every key and WEP key install), which
// frames it encrypts (WEP with key permutation, or the TKIP status with either CKIP flag),
// the CKIP header with its sequence number and CMIC on sent frames, and the CMIC check of
// received ones. Received CMIC has no replay check on the sequence number.
#include <cstdint>

#include "driver/core/ckip_cipher.h"
#include "driver/core/data_ciphers.h"
#include "driver/ndis/os_service_table.h"

struct CoreAdapter;
struct ReceiveRecord;

namespace zelnic::core {

constexpr std::uint32_t kCkipHeaderWithTypeBytes = kCkipHeaderBytes + 2;

struct CkipState {
  CkipKeyRecord Keys[4];
  std::uint8_t TransmitKeyId = 0;
  std::uint8_t GroupKeyId = 0;
};

// A key or WEP key of `length` bytes installed under its NDIS KeyIndex (bit 31: transmit).
void CkipKeyInstalled(CoreAdapter* core, std::uint32_t keyIndex, const std::uint8_t* key, std::uint32_t length);
// An authentication-mode set or a link reset: every CKIP key and key id goes, and with them
// the count of installs and the frame held for them.
void ResetCkipKeys(CoreAdapter* core);

// Whether a sent frame carries the 18-byte CKIP header (SNAP, CMIC, SEQ, EtherType): the
// CMIC flag is set, the frame is protected and not EAPOL.
bool CkipHeaderApplies(const CoreAdapter* core, const TransmitProtection& protection);
// Writes the CKIP header for `type` at `body` and returns its length.
std::uint32_t WriteCkipHeader(CoreAdapter* core, std::uint8_t* body, std::uint16_t type);
// Seals the CMIC of a complete plaintext MSDU body (starting at its CKIP header).
void CmicCompute(CoreAdapter* core, const std::uint8_t destination[6], const std::uint8_t source[6],
                 std::uint8_t* body, std::uint32_t length);

// CKIP's encryption instead of the encryption status's own; out is the transmit key's choice.
bool CkipEncrypts(const CoreAdapter* core);
bool ChooseCkipProtection(CoreAdapter* core, bool eapol, TransmitProtection& out);
// Encrypts one fragment's `data` bytes in the frame buffer; false without its key.
bool CkipEncryptFragment(CoreAdapter* core, std::uint32_t keyId, std::uint8_t* frame, std::uint32_t data);
// Decrypts a received frame in place as Decrypt does; -1 refuses it.
LONG CkipDecryptFrame(CoreAdapter* core, std::uint8_t* frame, std::uint32_t body);

// Whether frames decrypted under `cipher` go through the CMIC check.
bool CkipCmicApplies(const CoreAdapter* core, FrameCipher cipher);
// The CMIC check of a whole received MSDU; false drops it.
bool CmicCheck(CoreAdapter* core, ReceiveRecord* record);

}  // namespace zelnic::core
