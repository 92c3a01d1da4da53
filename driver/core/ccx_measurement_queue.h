#pragma once
// The queue of measurements an access point asked for, taken one (or a parallel pair) at a
// time. Its entries live in a fixed pool of 16: the receive path that fills it never
// allocates. The core guards it with its CCX spin lock.
#include <cstdint>

#include "driver/core/ccx_iapp.h"

namespace zelnic::core {

class CcxMeasurementQueue {
 public:
  // A new request set replaces whatever was queued. A request is queued when it is short
  // enough (`duration` below `reqTime`) or on the current channel; returns the number queued.
  unsigned Load(const CcxRequestSet& set, std::uint32_t reqTime, std::uint8_t currentChannel);
  // The next measurement; false when the set is done. When the request after it runs in
  // parallel, both durations become half of the larger one.
  bool TakeNext(CcxMeasurementRequest& out);
  unsigned Count() const { return count_; }
  void Clear() { head_ = count_ = 0; }

 private:
  CcxMeasurementRequest entries_[kMeasurementPoolEntries] = {};
  unsigned head_ = 0;
  unsigned count_ = 0;
};

// Milliseconds before a measurement starts and how long it runs.
std::uint32_t ActivationDelayMs(std::uint8_t activationDelay, std::uint16_t beaconInterval);
std::uint32_t MeasurementMs(std::uint16_t durationTu);

}  // namespace zelnic::core
