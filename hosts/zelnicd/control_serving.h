#pragma once
// zelnicd serves the adapter's control device on sockets in its run directory.
#include <memory>
#include <ostream>

#include "hosts/zelnicd/daemon.h"
#include "platform/ndis/control_device_server.h"

namespace zelnicd {

// Null (and a line on `out`) when the sockets could not be made; the adapter runs on.
std::unique_ptr<ndis::ControlDeviceServer> ServeControlDevice(ndis::NdisHost& host, ndis::Scheduler& scheduler,
                                                              const Options& options, std::ostream& out);

}  // namespace zelnicd
