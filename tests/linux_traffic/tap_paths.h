// Two network namespaces joined through TAP interfaces, for Linux traffic tests and the TAP
// benchmark: the station side is 10.99.0.1 (namespace `station`), the wired side behind the
// access point 10.99.0.2 (namespace `wired`). DriverTapPath joins them through zelnicd (the
// adapter's TAP, the driver, the simulated air, the access point's distribution port);
// RawTapPath through a plain copy of frames between two TAPs, no driver: the anchor. Both
// need root and throw, saying so, without it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/ndis/tap_device.h"
#include "tests/peers/child_process.h"
#include "tests/peers/network_namespace.h"
#include "tests/peers/scratch_dir.h"

namespace linux_traffic {

inline constexpr char kStationAddress[] = "10.99.0.1";
inline constexpr char kWiredAddress[] = "10.99.0.2";

class TapPath {
 public:
  TapPath();
  virtual ~TapPath() = default;
  peers::NetworkNamespace& station() { return *station_; }
  peers::NetworkNamespace& wired() { return *wired_; }

 protected:
  // Addresses on both TAPs, both up.
  void Configure(const std::string& stationTap, const std::string& wiredTap);
  std::string WiredNamespacePath() const;

  std::optional<peers::NetworkNamespace> station_;
  std::optional<peers::NetworkNamespace> wired_;
};

class DriverTapPath : public TapPath {
 public:
  // zelnicd on `world`, joined to `ssid` (an empty one: left to the control device), its
  // adapter on a TAP in the station namespace and `accessPoint`'s distribution port on a TAP
  // in the wired one. Throws, with zelnicd's log, when it does not come up.
  DriverTapPath(const std::string& zelnicd, const std::string& world, const std::string& ssid,
                const std::string& accessPoint);
  // Stops zelnicd (SIGTERM: it halts the adapter) and returns its exit status.
  int Stop();
  std::string Log() const { return peers::ReadTextFile(dir_.File("zelnicd.log")); }
  std::string PcapPath() const { return dir_.File("air.pcap"); }
  // The control device and the registry the adapter-control library uses.
  std::string DevicePath() const { return dir_.File("run") + "/HlvnDev0"; }
  std::string RegistryRoot() const { return dir_.File("registry"); }

 private:
  peers::ScratchDir dir_;
  peers::ChildProcess zelnicd_;
};

class RawTapPath : public TapPath {
 public:
  RawTapPath();
  ~RawTapPath() override;

 private:
  struct Wire;
  std::unique_ptr<Wire> wire_;
};

struct Transfer {
  std::size_t bytesReceived = 0;
  bool intact = false;  // the receiver's checksum is the sender's
  std::chrono::duration<double> elapsed{};
};

// One TCP connection from the station side to the wired side carrying `bytes`.
Transfer TcpTransfer(TapPath& path, std::size_t bytes);

}  // namespace linux_traffic
