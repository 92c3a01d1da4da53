#include "sim/air/vendor_mode_sender.h"

#include <algorithm>
#include <cstring>

namespace simair {
namespace {

constexpr std::size_t kDataHeaderBytes = 24;
constexpr std::uint8_t kMakerVendorHeader[8] = {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x00};
constexpr std::uint8_t kRequestType[2] = {0x03, 0x01};

}  // namespace

VendorModeSender::VendorModeSender(ndis::Scheduler& scheduler, AccessPoint& ap, std::uint8_t mode)
    : scheduler_(scheduler), ap_(ap), mode_(mode) {
  watcher_ = ap_.addStationWatcher([this](const MacAddress& station, AccessPoint::StationEvent event, auto) {
    if (event != AccessPoint::StationEvent::Associated) return;
    pending_.push_back(scheduler_.after(kAfterAssociation, ndis::EventKind::Air, "vendor-mode frame",
                                        [this, station] { send(station); }));
  });
  hook_ = ap_.addFrameHook([this](const AirFrame& frame, const Reception&) {
    const dot11::FrameView view(frame.bytes);
    const auto to = view.address1();
    const bool toUs = view.hasFrameControl() && view.type() == dot11::FrameType::Data &&
                      view.subtype() == dot11::subtype::Data && to && *to == ap_.address();
    if (!toUs || frame.bytes.size() < kDataHeaderBytes + sizeof kMakerVendorHeader ||
        std::memcmp(frame.bytes.data() + kDataHeaderBytes, kMakerVendorHeader, sizeof kMakerVendorHeader) != 0)
      return false;
    answers_.emplace_back(frame.bytes.begin() + kDataHeaderBytes, frame.bytes.end());
    return true;
  });
}

VendorModeSender::~VendorModeSender() {
  for (ndis::EventId id : pending_) scheduler_.cancel(id);
  ap_.removeFrameHook(hook_);
  ap_.removeStationWatcher(watcher_);
}

void VendorModeSender::send(const MacAddress& station) {
  std::erase_if(pending_, [this](ndis::EventId id) { return !scheduler_.queued(id); });
  dot11::Bytes body(kMakerVendorHeader, kMakerVendorHeader + sizeof kMakerVendorHeader);
  body.insert(body.end(), kRequestType, kRequestType + sizeof kRequestType);
  body.push_back(mode_);
  if (ap_.sendData(station, ap_.address(), std::move(body)) != AccessPoint::DataOutcome::Dropped) ++sent_;
}

}  // namespace simair
