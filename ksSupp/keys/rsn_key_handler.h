#pragma once
// The supplicant side of the IEEE 802.11i (WPA2) 4-way and group-key handshakes: EAPOL-Key
// frames of descriptor type 2, the authenticator's element check, Key Data decryption, key
// hand-over and EAPOL-Key requests.
#include "ksSupp/keys/key_handler.h"
#include "ksSupp/keys/pmksa_cache.h"

class RsnKeyHandler : public KeyHandler {
 public:
  explicit RsnKeyHandler(KeyHandlerServices& services)
      : KeyHandler(true, services), pmksa_(services, supplicantAddress_) {}

  // Also drops the pending PMKSA and the candidate list.
  void Reset() override;
  // With the 802.1X AKM the PMK becomes the pending PMKSA of the coming handshake.
  void SetPmk(const uint8_t* pmk, uint32_t length) override;

  // One EAPOL-Key frame from the authenticator: true when accepted and answered, false
  // when discarded (the reason is traced).
  bool rsn_receive_key(const uint8_t* frame, uint32_t length) { return ReceiveKey(frame, length); }
  // An authentication event of the host: bit 0 reauthenticate, bit 1 key update, bit 2
  // pairwise key error, bit 3 group key error.
  void RsnAuthIndication(uint32_t flags, const uint8_t* bssid) { AuthIndication(flags, bssid, "RSN", 2); }

  // The PMKSA cache, for the link engine and pre-authentication.
  void AddPmksa(const uint8_t authenticator[6], const uint8_t* pmk, uint32_t length) {
    pmksa_.AddPmksa(authenticator, pmk, length);
  }
  void SetCandidates(uint32_t count, const PmkidCandidate* candidates) {
    pmksa_.SetCandidates(count, candidates);
  }
  bool NextPreauthCandidate(uint8_t bssid[6]) { return pmksa_.NextPreauthCandidate(bssid); }
  // Forgets the cached security associations: every PMKSA and the CCKM base key's use.
  void Flush();
  const PmksaCache& Pmksa() const { return pmksa_; }

 private:
  bool Message1(const EapolKeyFrame& frame, const Reply& reply) override;
  bool Message3(const EapolKeyFrame& frame, const Reply& reply) override;
  bool GroupMessage(const EapolKeyFrame& frame, const Reply& reply) override;
  // Makes the PMK of this handshake ready for message 1; false refuses it (traced).
  bool SelectPmk(const IeSet& keyData);
  // The GTK KDE of message 3: false when it must be refused (traced and reported).
  bool CheckMessage3Gtk(const IeSet& keyData, uint16_t keyInformation);
  bool GtkUsable(const GtkKdeElement& gtk) const { return gtk.Valid() && GroupKeyLengthValid(gtk.KeyLength()); }
  void InstallGtk(const GtkKdeElement& gtk, const EapolKeyFrame& frame);

  PmksaCache pmksa_;
};
