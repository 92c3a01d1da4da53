#pragma once
// The EAPOL watch: an EAPOL-Start in either direction, or a WPA group-key message received,
// starts the EAPOL hold-off (eapol_hold_off.h). It keeps no group-handshake state of its
// own: no scan waits for the end of a group-key exchange.
#include <cstdint>

struct CoreAdapter;

namespace zelnic::core {

// `frame` is an 802.3 frame of `length` bytes carrying EAPOL.
void WatchEapolKey(CoreAdapter* core, const std::uint8_t* frame, std::uint32_t length, bool sending);

}  // namespace zelnic::core
