#pragma once
// zelnicd --connect SSID: what NDIS's protocols and the wireless service do to join a
// network: the packet filter, the SSID set (pended until the media connect), then one line
// with the network joined.
#include <ostream>
#include <string>

#include "platform/ndis/host.h"

namespace zelnicd {

// True once the station indicated the media connect; every step is one line on `out`.
bool ConnectToSsid(ndis::NdisHost& host, const std::string& ssid, std::ostream& out);

}  // namespace zelnicd
