#include "driver/core/core_timer.h"

#include "driver/core/core_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {

CoreAdapter* CoreOfTimer(const OsTimerRecord* record) { return static_cast<CoreAdapter*>(record->Context); }

ULONG InitCoreTimers(CoreAdapter* core) {
  for (auto& timer : core->Timers) {
    timer.Record = OsTimerRecord{core->Os, &timer.Timer, nullptr, 0, 0, core};
    const ULONG status = core->Os->Table->InitTimer(core->Os, &timer.Record);
    if (status != StatusSuccess) return status;
  }
  core->TimersReady = true;
  return StatusSuccess;
}

void ArmTimer(CoreAdapter* core, CoreTimerId id, CoreTimerCallback callback, std::uint32_t periodMs,
              bool periodic) {
  OsTimerRecord& record = core->Timers[id].Record;
  record.Callback = callback;
  record.PeriodMs = periodMs;
  record.Periodic = periodic ? 1 : 0;
  record.Context = core;
  core->Os->Table->SetTimer(core->Os, &record);
}

void CancelTimer(CoreAdapter* core, CoreTimerId id) {
  if (core->TimersReady) core->Os->Table->CancelTimer(core->Os, &core->Timers[id].Record);
}

void CancelAllTimers(CoreAdapter* core) {
  if (!core->TimersReady) return;
  for (auto& timer : core->Timers) core->Os->Table->CancelTimer(core->Os, &timer.Record);
}

void ClearAllTimers(CoreAdapter* core) {
  if (!core->TimersReady) return;
  for (auto& timer : core->Timers) {
    core->Os->Table->CancelTimer(core->Os, &timer.Record);
    core->Os->Table->ClearTimer(core->Os, &timer.Record);
  }
  core->TimersReady = false;
}

}  // namespace zelnic::core
