// RSSI smoothing: the average of the last 10 values, a slow smoothed value on top of it,
// and the low-signal indication when the smoothed value stays at or below the threshold.
#include "driver/hal/hal_internal.h"
#include "driver/ndis/miniport_context.h"

namespace zelnic::hal {
namespace {

constexpr std::int32_t kThresholdNever = -200;
constexpr std::uint32_t kLowSignalCounts = 5;

void IndicateLowSignal(HalAdapter* hal) {
  NDIS_HANDLE adapter = hal->Head.Container->MiniportAdapterHandle;
  std::int32_t smoothed = hal->signal.smoothed;
  NdisMIndicateStatus(adapter, NDIS_STATUS_MEDIA_SPECIFIC_INDICATION, &smoothed, sizeof smoothed);
  NdisMIndicateStatusComplete(adapter);
}

}  // namespace

void FeedSignal(HalAdapter* hal, std::int32_t dbm) {
  SignalStatistics& s = hal->signal;
  const bool first = s.count == 0;
  s.window[s.next] = dbm;
  s.next = (s.next + 1) % kRssiWindow;
  if (s.count < kRssiWindow) ++s.count;
  std::int32_t sum = 0;
  for (std::uint32_t i = 0; i < s.count; ++i) sum += s.window[i];
  s.average = sum / static_cast<std::int32_t>(s.count);
  s.smoothed = first ? s.average : (s.average + 7 * s.smoothed) >> 3;

  if (hal->signalThreshold == kThresholdNever) return;
  if (hal->signalThreshold < s.smoothed) {
    hal->lowSignalCount = 0;
    return;
  }
  if (++hal->lowSignalCount < kLowSignalCounts) return;
  IndicateLowSignal(hal);
  hal->lowSignalCount = 0;
}

}  // namespace zelnic::hal
