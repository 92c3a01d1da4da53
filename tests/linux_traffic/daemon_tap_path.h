// zelnicd's daemon (RunDaemon, the driver's own entry, the simulated air of a world) on a
// thread of this process instead of a process of its own, so a benchmark can count what the
// path allocates and take its CPU time from this process alone. The adapter's TAP is made in
// the station namespace, the access point's in the wired one, as with DriverTapPath.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ndis/scheduler.h"
#include "tests/linux_traffic/tap_paths.h"

namespace linux_traffic {

class DaemonTapPath : public TapPath {
 public:
  // The daemon on `world`, joined to `ssid` (an empty one: left to the control device);
  // `onDaemonThread` runs first on the daemon's thread. Throws, with the daemon's log, when
  // it does not come up.
  DaemonTapPath(const std::string& world, const std::string& ssid, const std::string& accessPoint,
                const std::function<void()>& onDaemonThread = {});
  // Stops the daemon (it halts the adapter).
  ~DaemonTapPath() override;

  std::string Log() const;
  std::string DevicePath() const;
  std::string RegistryRoot() const;
  // The daemon's executor (read it from the daemon's thread only).
  const ndis::Scheduler& Executor() const;

 private:
  struct Daemon;
  std::unique_ptr<Daemon> daemon_;
};

}  // namespace linux_traffic
