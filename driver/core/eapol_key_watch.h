#pragma once
// The EAPOL watch: an EAPOL-Start in either direction, or a WPA group-key message received,
// starts the EAPOL hold-off, so a background scan does not take the station off its channel
// in the middle of the exchange.
#include <cstdint>

struct CoreAdapter;

namespace zelnic::core {

// `frame` is an 802.3 frame of `length` bytes carrying EAPOL.
void WatchEapolKey(CoreAdapter* core, const std::uint8_t* frame, std::uint32_t length, bool sending);

}  // namespace zelnic::core
