#pragma once
// What the chip layer's own files share and nobody else calls.
#include "driver/hal/hal_adapter.h"

namespace zelnic::hal {

void HalStop(HalAdapter* hal, ULONG removed);
void HalShutdown(HalAdapter* hal);
void HalSetLed(HalAdapter* hal, ULONG pattern);
void HalDestroy(HalAdapter* hal);
// Gives the adapter's resource record back to the OS layer, once.
void ReleaseResources(HalAdapter* hal);
void CancelTimers(HalAdapter* hal);

// The rings' set-up (at creation) and what the chip learns of them at start.
void InitTransmitRing(HalAdapter* hal);
std::uint32_t TransmitRingPhysical(HalAdapter* hal);
ULONG CreateReceiveRing(HalAdapter* hal);
void DestroyReceiveRing(HalAdapter* hal);
ULONG CreateRawFrames(HalAdapter* hal);
void DestroyRawFrames(HalAdapter* hal);
void PushReceiveRate(HalAdapter* hal, std::uint8_t rateCode);
// One RSSI value (dBm) of a received frame other than management: the 10-value average,
// the smoothed value and the low-signal indication.
void FeedSignal(HalAdapter* hal, std::int32_t dbm);
// Counts a received frame for the power-save watch.
void PowerSaveFrameReceived(HalAdapter* hal);
void CreatePowerSave(HalAdapter* hal);

}  // namespace zelnic::hal
