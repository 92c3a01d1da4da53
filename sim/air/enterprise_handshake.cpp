#include "sim/air/enterprise_handshake.h"

namespace simair {

air::Bytes EnterpriseElement(const AccessPointConfig& config) {
  using air::Cipher;
  using air::KeyProtocol;
  if (config.security != Security::WpaEnterprise)
    return air::BuildElement(KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp, air::Akm::Ieee8021X);
  air::Bytes e = air::BuildElement(KeyProtocol::Wpa, Cipher::Tkip, Cipher::Tkip, air::Akm::Ieee8021X);
  if (config.cckm) {
    // The AKM list ends the WPA element: its count becomes 2, CCKM's suite follows 802.1X's.
    e[e.size() - 6] = 2;
    e.insert(e.end(), {0x00, 0x40, 0x96, 0x00});
    e[1] = static_cast<std::uint8_t>(e.size() - 2);
  }
  return e;
}

std::unique_ptr<air::PskAuthenticator> FourWayHandshakeWithPmk(air::AuthenticatorConfig config,
                                                               std::span<const std::uint8_t> pmk) {
  config.pmk.assign(pmk.begin(), pmk.end());
  if (config.authenticatorElement.empty()) {
    config.authenticatorElement =
        air::BuildElement(config.protocol, config.pairwise, config.group, air::Akm::Ieee8021X);
  }
  auto authenticator = std::make_unique<air::PskAuthenticator>(config);
  air::Wipe(config.pmk);
  return authenticator;
}

}  // namespace simair
