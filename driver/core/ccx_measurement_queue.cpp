#include "driver/core/ccx_measurement_queue.h"

#include <algorithm>

namespace zelnic::core {

unsigned CcxMeasurementQueue::Load(const CcxRequestSet& set, std::uint32_t reqTime, std::uint8_t currentChannel) {
  Clear();
  for (unsigned i = 0; i < set.count && i < kMeasurementPoolEntries; ++i) {
    const CcxMeasurementRequest& r = set.requests[i];
    // A long measurement off the current channel would take the station away from its
    // access point for too long.
    if (r.duration < reqTime || r.channel == currentChannel) entries_[count_++] = r;
  }
  return count_;
}

bool CcxMeasurementQueue::TakeNext(CcxMeasurementRequest& out) {
  if (count_ == 0) return false;
  out = entries_[head_++];
  --count_;
  if (count_ != 0 && entries_[head_].Parallel()) {
    const std::uint16_t half = static_cast<std::uint16_t>(std::max(out.duration, entries_[head_].duration) / 2);
    out.duration = half;
    entries_[head_].duration = half;
  }
  if (count_ == 0) head_ = 0;
  return true;
}

std::uint32_t ActivationDelayMs(std::uint8_t activationDelay, std::uint16_t beaconInterval) {
  if (activationDelay == 0) return 0;
  return beaconInterval > 10 ? beaconInterval - 10u : 0u;
}

std::uint32_t MeasurementMs(std::uint16_t durationTu) { return durationTu * 1024u / 1000u; }

}  // namespace zelnic::core
