#pragma once
// An access point's distribution port wired to a TAP interface (the wired network behind
// the access point): what its stations send to the distribution system is written to the
// TAP, and unicast frames the kernel writes to the TAP go to the station they name.
// Group-addressed frames from the TAP are not sent on the air (the access point sends no
// group-addressed data). The executor watches the TAP and hands what arrives to the access
// point at once, as an event of the air; the host's loop calls pump() whenever work() says
// frames for the TAP wait.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ndis/scheduler.h"
#include "platform/ndis/tap_device.h"
#include "sim/air/distribution_port.h"

namespace simair {

class DistributionTap {
 public:
  // The TAP `name`, inside the network namespace at `netnsPath` when given, wired to the
  // access point's own port (the one its key exchange keeps the station's keys in: a second
  // port would hold none and refuse every protected frame). From the executor's thread.
  // Nothing, with the reason in `error`, when the TAP cannot be opened.
  static std::unique_ptr<DistributionTap> bind(DistributionPort& port, ndis::Scheduler& scheduler,
                                               const std::string& name, const std::string& netnsPath,
                                               std::string& error);
  ~DistributionTap();
  DistributionTap(const DistributionTap&) = delete;
  DistributionTap& operator=(const DistributionTap&) = delete;

  bool work() const { return port_.waiting() > 0; }
  // Writes the frames waiting for the TAP. Outside any event of the scheduler.
  void pump();

  const ndis::TapDevice& tap() const { return *tap_; }
  std::uint64_t dropped() const { return dropped_; }

 private:
  DistributionTap(DistributionPort& port, ndis::Scheduler& scheduler, std::unique_ptr<ndis::TapDevice> tap);
  void deliverInbound();

  DistributionPort& port_;
  ndis::Scheduler& scheduler_;
  std::unique_ptr<ndis::TapDevice> tap_;
  ndis::Scheduler::WatchId watch_;
  std::vector<std::uint8_t> readBuffer_;
  EthernetFrame inbound_;  // reused from frame to frame
  std::uint64_t dropped_ = 0;  // from the TAP: too short, group-addressed, or to no station
};

}  // namespace simair
