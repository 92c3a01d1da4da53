#pragma once
// The CCKM contexts the access points of one wpa-enterprise network share, as the access
// points of one controller hand a station's context over: for each station keyed through
// CCKM, the authenticator that holds its base key (KRK and BTK), the RN in force and the
// group key. The access point the station reassociates to checks the station's CCKM request
// element against it and answers with the response element and fresh keys (authenticator.h).
#include <map>
#include <memory>

#include "sim/air/access_point.h"
#include "sim/air/authenticator.h"

namespace simair {

class CckmContexts {
public:
  // The station's context after a 4-way handshake on the CCKM AKM; it replaces an older one.
  void keep(const MacAddress& station, std::shared_ptr<air::PskAuthenticator> context) {
    contexts_[station] = std::move(context);
  }
  // Null when the station has none.
  std::shared_ptr<air::PskAuthenticator> find(const MacAddress& station) const {
    const auto found = contexts_.find(station);
    return found == contexts_.end() ? nullptr : found->second;
  }

private:
  std::map<MacAddress, std::shared_ptr<air::PskAuthenticator>> contexts_;  // they wipe their keys
};

}  // namespace simair
