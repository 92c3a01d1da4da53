#pragma once
// zelnicd's TAP interfaces: the adapter bound to one (--tap NAME), and an access point's
// distribution port wired to another (--ap-tap AP:NAME[:NETNS], the TAP made inside the
// network namespace at the path NETNS), so Linux traffic crosses the driver and the air.
#include <memory>
#include <ostream>
#include <string>

#include "hosts/zelnicd/air_setup.h"
#include "platform/ndis/tap_binding.h"
#include "sim/air/distribution_tap.h"

namespace zelnicd {

struct AccessPointTap {
  std::string accessPoint;  // its name in the world file
  std::string tap;
  std::string netnsPath;    // empty: zelnicd's own namespace
};

// "AP:NAME[:NETNS]", or nothing when a part is missing.
std::optional<AccessPointTap> ParseAccessPointTap(const std::string& text);

struct TapServing {
  std::unique_ptr<ndis::TapBinding> adapter;
  std::unique_ptr<simair::DistributionTap> accessPoint;

  bool work() const;
  void pump();
};

// Opens what the options ask for; false, after saying why on `out`, when something cannot be.
bool ServeTaps(const std::string& adapterTap, const std::optional<AccessPointTap>& apTap,
               ndis::NdisHost& host, AirSetup& air, ndis::Scheduler& scheduler, std::ostream& out,
               TapServing& serving);

}  // namespace zelnicd
