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

}  // namespace zelnic::hal
