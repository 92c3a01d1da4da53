#pragma once
// An access point's distribution port wired to a TAP interface (the wired network behind
// the access point): what its stations send to the distribution system is written to the
// TAP, and unicast frames the kernel writes to the TAP go to the station they name.
// Group-addressed frames from the TAP are not sent on the air (the access point sends no
// group-addressed data). The host's loop calls pump() whenever work() says so.
#include <memory>
#include <string>

#include "platform/ndis/scheduler.h"
#include "platform/ndis/tap_device.h"
#include "sim/air/distribution_port.h"

namespace simair {

class DistributionTap {
 public:
  // The TAP `name`, inside the network namespace at `netnsPath` when given, wired to the
  // access point's own port (the one its key exchange keeps the station's keys in: a second
  // port would hold none and refuse every protected frame). Nothing, with the reason in
  // `error`, when the TAP cannot be opened.
  static std::unique_ptr<DistributionTap> bind(DistributionPort& port, ndis::Scheduler& scheduler,
                                               const std::string& name, const std::string& netnsPath,
                                               std::string& error);

  bool work() const { return tap_->inboundWaiting() || port_.waiting() > 0; }
  // Outside any event of the scheduler.
  void pump();

  const ndis::TapDevice& tap() const { return *tap_; }
  std::uint64_t dropped() const { return dropped_; }

 private:
  DistributionTap(DistributionPort& port, std::unique_ptr<ndis::TapDevice> tap) : port_(port), tap_(std::move(tap)) {}

  DistributionPort& port_;
  std::unique_ptr<ndis::TapDevice> tap_;
  std::uint64_t dropped_ = 0;  // from the TAP: too short, group-addressed, or to no station
};

}  // namespace simair
