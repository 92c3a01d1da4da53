#include "hosts/zelnicd/control_serving.h"

#include <grp.h>

#include <cstdlib>

namespace zelnicd {

std::unique_ptr<ndis::ControlDeviceServer> ServeControlDevice(ndis::NdisHost& host, ndis::Scheduler& scheduler,
                                                              const Options& options, std::ostream& out) {
  ndis::ControlServerOptions serverOptions;
  serverOptions.directory = options.runDir;
  if (!options.socketGroup.empty()) {
    const group* found = getgrnam(options.socketGroup.c_str());
    if (found == nullptr) {
      out << "zelnicd: no group " << options.socketGroup << ": the control device is not served" << std::endl;
      return nullptr;
    }
    serverOptions.group = found->gr_gid;
  }
  std::string error;
  auto server = ndis::ControlDeviceServer::start(host, scheduler, serverOptions, &error);
  if (server == nullptr) {
    out << "zelnicd: the control device is not served: " << error << std::endl;
    return nullptr;
  }
  for (const std::string& path : server->socketPaths()) out << "zelnicd: control device " << path << std::endl;
  return server;
}

}  // namespace zelnicd
