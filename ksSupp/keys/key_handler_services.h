#pragma once
// What a key handler needs from the link engine that owns it. The engine implements it;
// the handlers reach the host only through it.
#include <cstdint>

class KeyHandlerServices {
 public:
  // Send an EAPOL-Key frame (from its 802.1X header on).
  virtual void TransmitEapolKey(const uint8_t* frame, uint32_t length) = 0;
  // Hand a key to the host. keyIndex carries the NDIS add-key flags (0x80000000 transmit,
  // 0x40000000 pairwise, 0x20000000 RSC given) over the key index in bits 0..1; a key index
  // of 0xFFFFFFFF marks the CCKM key-request key, which is not for the driver.
  virtual void InstallKey(uint32_t cipherSuite, const uint8_t* key, uint32_t keyLength,
                          uint32_t keyIndex, const uint8_t* bssid, uint32_t rscLow,
                          uint32_t rscHigh) = 0;
  virtual void InstallWepKey(const uint8_t* key, uint32_t keyLength, uint32_t keyIndex) = 0;
  virtual void RemoveKey(uint32_t keyIndex, const uint8_t* bssid) = 0;
  // Restart 802.1X authentication.
  virtual void Reauthenticate() = 0;
  // Hand the host the CCKM element for the reassociation request (kind 0: none, full
  // association; 1: fast handoff).
  virtual void SendCckmElement(uint32_t kind, const uint8_t* element, uint32_t length) = 0;
  // Outcome of a CCKM fast handoff: 0 succeeded, 1 failed.
  virtual void CckmResult(uint32_t result) = 0;
  // A handshake message was refused for a reason the host is told: 2 authenticator
  // element missing or different, 3 group key missing, unencrypted or malformed, 4 Key Data
  // failed to decrypt, 6 CCKM fast handoff failed.
  virtual void ReportKeyFailure(uint32_t reason) = 0;
  // A valid message 1 arrived: the engine sets the master keys now (it may call SetPmk).
  virtual void PairwiseMessage1Received() = 0;
  // Message 1 named a cached PMKSA.
  virtual void PmksaCacheHit() = 0;
  // The 4-way handshake completed on an 802.1X PMKSA.
  virtual void CachedHandshakeDone() = 0;
  // The PMKID map for the host: count entries of {BSSID (6), PMKID (16)}.
  virtual void SetPmkidList(uint32_t count, const uint8_t* entries) = 0;
  virtual void SendFlitElements(const uint8_t* elements, uint32_t length) = 0;

 protected:
  ~KeyHandlerServices() = default;
};
