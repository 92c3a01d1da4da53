#pragma once
// The station core's timers. Each is an NDIS miniport timer with the OS-service table's
// timer record beside it; every arming writes callback, period, periodic flag and context
// before the timer is set, so one timer may carry different callbacks over time.
#include <cstdint>

#include "driver/ndis/os_service_table.h"

struct CoreAdapter;

namespace zelnic::core {

struct CoreTimer {
  NDIS_MINIPORT_TIMER Timer;
  OsTimerRecord Record;
};

using CoreTimerCallback = void (*)(OsTimerRecord* record);

enum CoreTimerId : std::uint32_t {
  kTimerMlme,
  kTimerScanDwell,
  kTimerSpare1,
  kTimerLinkMonitor,
  kTimerInterferenceBackOff,
  kTimerEapolHoldOff,
  kTimerCcxMeasurement1,
  kTimerCcxMeasurement2,
  kTimerCcxMeasurement3,
  kTimerSpare2,
  kTimerRoamCheck,
  kTimerTxFailCheck,
  kTimerTkipMicFailure,
  kTimerTkipCountermeasures,
  kTimerCckmWait,
  kTimerSpare3,
  kTimerLinkLossTick,
  kTimerSwiftBond,
  kCoreTimerCount,
};
static_assert(kCoreTimerCount == 18);

// The core a timer callback runs for.
CoreAdapter* CoreOfTimer(const OsTimerRecord* record);

// Initialises every timer through the OS-service table; StatusSuccess or the failing
// slot's status.
ULONG InitCoreTimers(CoreAdapter* core);
void ArmTimer(CoreAdapter* core, CoreTimerId id, CoreTimerCallback callback, std::uint32_t periodMs,
              bool periodic);
void CancelTimer(CoreAdapter* core, CoreTimerId id);
void CancelAllTimers(CoreAdapter* core);
// Cancels every timer and clears its record (teardown).
void ClearAllTimers(CoreAdapter* core);

}  // namespace zelnic::core
