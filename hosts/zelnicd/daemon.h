#pragma once
// zelnicd's work: build the simulated air from the world file, load the driver into the NDIS
// runtime in real time over one simulated chip, start the adapter, report each step, and halt
// it when asked to stop.
#include <atomic>
#include <ostream>
#include <string>

#include "hosts/zelnicd/tap_serving.h"
#include "platform/ndis/host.h"
#include "sim/chip/chip_config.h"

namespace zelnicd {

struct Options {
  bool once = false;          // halt and exit right after a successful start
  std::string runDir;         // where the control device will live
  std::string registryRoot;   // the file-backed registry that holds the adapter's key
  simchip::ChipKnobs knobs;   // how the simulated chip misbehaves (tests)
  std::string socketGroup;    // group of the control-device sockets (ZELNIC_GROUP); empty: ours
  std::string worldPath;      // the simulated air's access points (sim/air/README.md); none: an empty air
  std::string pcapPath;       // where every frame of the air is recorded (radiotap), if anywhere
  std::string connectSsid;    // the network to join once started (--connect); none: stay idle
  std::string tap;            // the TAP the adapter is bound to (--tap); none: no Linux traffic
  std::optional<AccessPointTap> accessPointTap;  // an access point's wired side (--ap-tap)
};

// Runs until the start failed, or (without `once`) until `stop` becomes true; then halts.
// 0 after a successful start and a clean halt, 1 otherwise; every step is one line on `out`.
int RunDaemon(const Options& options, const ndis::DriverEntryFn& entry, std::ostream& out,
              const std::atomic<bool>& stop, ndis::Scheduler& scheduler);

}  // namespace zelnicd
