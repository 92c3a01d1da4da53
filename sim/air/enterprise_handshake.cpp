#include "sim/air/enterprise_handshake.h"

namespace simair {

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
