#pragma once
// The maker's vendor-mode frame from an access point, as a world's `vendor-mode` line asks:
// shortly after a station associates, the access point sends it one data frame whose body is
// the maker vendor header (aa aa 03 02 5a 9c 00 00), the type 03 01 and the mode byte. The
// station's answer (to the BSSID, the same header and 03 02 00) is taken here and counted; it
// goes nowhere else.
#include <cstdint>
#include <vector>

#include "platform/ndis/scheduler.h"
#include "sim/air/access_point.h"

namespace simair {

class VendorModeSender {
public:
  static constexpr ndis::Micros kAfterAssociation{100'000};

  // `ap` must outlive this.
  VendorModeSender(ndis::Scheduler& scheduler, AccessPoint& ap, std::uint8_t mode);
  ~VendorModeSender();
  VendorModeSender(const VendorModeSender&) = delete;
  VendorModeSender& operator=(const VendorModeSender&) = delete;

  std::uint64_t framesSent() const { return sent_; }
  // The bodies of the stations' answers, in order.
  const std::vector<dot11::Bytes>& answers() const { return answers_; }

private:
  void send(const MacAddress& station);

  ndis::Scheduler& scheduler_;
  AccessPoint& ap_;
  std::uint8_t mode_;
  AccessPoint::HookId hook_ = 0;
  AccessPoint::HookId watcher_ = 0;
  std::vector<ndis::EventId> pending_;
  std::uint64_t sent_ = 0;
  std::vector<dot11::Bytes> answers_;
};

}  // namespace simair
