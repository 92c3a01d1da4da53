#pragma once
// Where 802.1X hands over to key management: the access point's 4-way handshake keyed with
// the PMK that the EAP relay took from the RADIUS server, announcing the element of its
// enterprise network.
#include <memory>
#include <span>

#include "sim/air/access_point.h"
#include "sim/air/authenticator.h"

namespace simair {

// The element an enterprise access point announces: RSN with CCMP and the 802.1X AKM
// (wpa2-enterprise); WPA with TKIP and the 802.1X AKM, then CCKM's when it offers CCKM
// (wpa-enterprise).
air::Bytes EnterpriseElement(const AccessPointConfig& config);

// `config.authenticatorElement` is the beacon's element (the 802.1X AKM's alone when empty).
std::unique_ptr<air::PskAuthenticator> FourWayHandshakeWithPmk(air::AuthenticatorConfig config,
                                                               std::span<const std::uint8_t> pmk);

}  // namespace simair
