#pragma once
// The supplicant side of the IEEE 802.11i (WPA2) 4-way and group-key handshakes: EAPOL-Key
// frames of descriptor type 2, the authenticator's element check, Key Data decryption, key
// hand-over and EAPOL-Key requests.
#include "ksSupp/keys/key_handler.h"

class RsnKeyHandler : public KeyHandler {
 public:
  explicit RsnKeyHandler(KeyHandlerServices& services) : KeyHandler(true, services) {}

  // One EAPOL-Key frame from the authenticator: true when accepted and answered, false
  // when discarded (the reason is traced).
  bool rsn_receive_key(const uint8_t* frame, uint32_t length) { return ReceiveKey(frame, length); }
  // An authentication event of the host: bit 0 reauthenticate, bit 1 key update, bit 2
  // pairwise key error, bit 3 group key error.
  void RsnAuthIndication(uint32_t flags, const uint8_t* bssid) { AuthIndication(flags, bssid, "RSN", 2); }

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
};
