#pragma once
// The supplicant side of the WPA (version 1) 4-way and group-key handshakes: EAPOL-Key
// frames of descriptor type 254, the WPA element signed in message 3, and the group key that
// travels alone in the Key Data of a group message with its index in Key Information.
#include "ksSupp/keys/key_handler.h"

class WpaKeyHandler : public KeyHandler {
 public:
  explicit WpaKeyHandler(KeyHandlerServices& services) : KeyHandler(false, services) {}

  // One EAPOL-Key frame from the authenticator: true when accepted and answered, false
  // when discarded (the reason is traced).
  bool wpa_receive_key(const uint8_t* frame, uint32_t length) { return ReceiveKey(frame, length); }
  // An authentication event of the host: bit 0 reauthenticate, bit 1 key update, bit 2
  // pairwise key error, bit 3 group key error.
  void WpaAuthIndication(uint32_t flags, const uint8_t* bssid) { AuthIndication(flags, bssid, "WPA", 1); }

 private:
  bool Message1(const EapolKeyFrame& frame, const Reply& reply) override;
  bool Message3(const EapolKeyFrame& frame, const Reply& reply) override;
  bool GroupMessage(const EapolKeyFrame& frame, const Reply& reply) override;
};
