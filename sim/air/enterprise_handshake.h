#pragma once
// Where 802.1X hands over to key management: the access point's 4-way handshake keyed with
// the PMK that the EAP relay took from the RADIUS server, announcing the 802.1X AKM.
#include <memory>
#include <span>

#include "sim/air/authenticator.h"

namespace simair {

std::unique_ptr<air::PskAuthenticator> FourWayHandshakeWithPmk(air::AuthenticatorConfig config,
                                                               std::span<const std::uint8_t> pmk);

}  // namespace simair
