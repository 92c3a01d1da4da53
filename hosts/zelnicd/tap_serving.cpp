#include "hosts/zelnicd/tap_serving.h"

#include <algorithm>

namespace zelnicd {

std::optional<AccessPointTap> ParseAccessPointTap(const std::string& text) {
  const std::size_t first = text.find(':');
  if (first == std::string::npos || first == 0) return std::nullopt;
  const std::size_t second = text.find(':', first + 1);
  AccessPointTap tap;
  tap.accessPoint = text.substr(0, first);
  tap.tap = text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  if (second != std::string::npos) tap.netnsPath = text.substr(second + 1);
  if (tap.tap.empty() || (second != std::string::npos && tap.netnsPath.empty())) return std::nullopt;
  return tap;
}

bool TapServing::work() const {
  return (adapter && adapter->work()) || (accessPoint && accessPoint->work());
}

void TapServing::pump() {
  if (adapter) adapter->pump();
  if (accessPoint) accessPoint->pump();
}

bool ServeTaps(const std::string& adapterTap, const std::optional<AccessPointTap>& apTap,
               ndis::NdisHost& host, AirSetup& air, ndis::Scheduler& scheduler, std::ostream& out,
               TapServing& serving) {
  std::string error;
  if (!adapterTap.empty()) {
    serving.adapter = ndis::TapBinding::bind(host, adapterTap, error);
    if (!serving.adapter) {
      out << "zelnicd: tap " << adapterTap << ": " << error << std::endl;
      return false;
    }
    out << "zelnicd: adapter bound to tap " << adapterTap << std::endl;
  }
  if (apTap) {
    const auto& names = air.accessPointNames;
    const auto found = std::find(names.begin(), names.end(), apTap->accessPoint);
    if (found == names.end()) {
      out << "zelnicd: --ap-tap: no access point '" << apTap->accessPoint << "' in the world" << std::endl;
      return false;
    }
    simair::DistributionPort* port = air.world->distributionPort(static_cast<std::size_t>(found - names.begin()));
    if (port == nullptr) {
      out << "zelnicd: --ap-tap: access point '" << apTap->accessPoint << "' has no distribution port" << std::endl;
      return false;
    }
    serving.accessPoint = simair::DistributionTap::bind(*port, scheduler, apTap->tap, apTap->netnsPath, error);
    if (!serving.accessPoint) {
      out << "zelnicd: tap " << apTap->tap << ": " << error << std::endl;
      return false;
    }
    out << "zelnicd: access point " << apTap->accessPoint << " wired to tap " << apTap->tap << std::endl;
  }
  return true;
}

}  // namespace zelnicd
