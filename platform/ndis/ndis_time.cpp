// Timers and time, all on the adapter's scheduler.
#include "platform/ndis/adapter_runtime.h"

using ndis::AdapterRuntime;

namespace {

// System time at the scheduler's zero: 2005-01-01 00:00:00 UTC in 100 ns units since 1601.
constexpr std::int64_t kEpoch = 127491264000000000LL;

}  // namespace

void NdisMInitializeTimer(PNDIS_MINIPORT_TIMER Timer, NDIS_HANDLE MiniportAdapterHandle,
                          PNDIS_TIMER_FUNCTION TimerFunction, PVOID FunctionContext) {
  AdapterRuntime& adapter = AdapterRuntime::fromMiniportHandle(MiniportAdapterHandle, "NdisMInitializeTimer");
  // Only the adapter's own list says whether it is armed: the caller's struct may hold
  // anything before this call, the signature field included.
  if (adapter.cancelTimer(Timer)) {
    adapter.violation("NdisMInitializeTimer on a timer that is armed");
  }
  Timer->Signature = ndis::kTimerMagic;
  Timer->MiniportTimerFunction = TimerFunction;
  Timer->MiniportTimerContext = FunctionContext;
  Timer->Adapter = &adapter;
  Timer->QueuedEvent = 0;
  Timer->PeriodMs = 0;
  adapter.noteTimer(Timer);
}

static AdapterRuntime& TimerAdapter(PNDIS_MINIPORT_TIMER Timer, const char* call) {
  if (Timer != nullptr && Timer->Signature == ndis::kTimerMagic) {
    return AdapterRuntime::fromMiniportHandle(Timer->Adapter, call);
  }
  return ndis::RequireAdapter(call);
}

void NdisMSetTimer(PNDIS_MINIPORT_TIMER Timer, UINT MillisecondsToDelay) {
  TimerAdapter(Timer, "NdisMSetTimer").armTimer(Timer, MillisecondsToDelay, false, "NdisMSetTimer");
}

void NdisSetTimer(PNDIS_TIMER Timer, UINT MillisecondsToDelay) {
  TimerAdapter(Timer, "NdisSetTimer").armTimer(Timer, MillisecondsToDelay, false, "NdisSetTimer");
}

void NdisMSetPeriodicTimer(PNDIS_MINIPORT_TIMER Timer, UINT MillisecondPeriod) {
  TimerAdapter(Timer, "NdisMSetPeriodicTimer").armTimer(Timer, MillisecondPeriod, true, "NdisMSetPeriodicTimer");
}

void NdisMCancelTimer(PNDIS_MINIPORT_TIMER Timer, PBOOLEAN TimerCancelled) {
  AdapterRuntime& adapter = TimerAdapter(Timer, "NdisMCancelTimer");
  adapter.requireIrqlAtMost(DISPATCH_LEVEL, "NdisMCancelTimer");
  if (Timer->Signature != ndis::kTimerMagic) adapter.violation("NdisMCancelTimer on a timer never initialized");
  *TimerCancelled = adapter.cancelTimer(Timer) ? TRUE : FALSE;
}

void NdisGetSystemUpTime(PULONG pSystemUpTime) {
  AdapterRuntime& adapter = ndis::RequireAdapter("NdisGetSystemUpTime");
  *pSystemUpTime = static_cast<ULONG>(adapter.scheduler().now().count() / 1000);
}

void NdisGetCurrentSystemTime(PLARGE_INTEGER pSystemTime) {
  AdapterRuntime& adapter = ndis::RequireAdapter("NdisGetCurrentSystemTime");
  pSystemTime->QuadPart = kEpoch + adapter.scheduler().now().count() * 10;
}

void NdisStallExecution(UINT MicrosecondsToStall) {
  AdapterRuntime& adapter = ndis::RequireAdapter("NdisStallExecution");
  adapter.scheduler().wait(ndis::Micros(MicrosecondsToStall), ndis::WaitScope::ChipOnly);
}

void NdisMSleep(ULONG MicrosecondsToSleep) {
  AdapterRuntime& adapter = ndis::RequireAdapter("NdisMSleep");
  adapter.requirePassive("NdisMSleep");
  adapter.scheduler().wait(ndis::Micros(MicrosecondsToSleep), ndis::WaitScope::All);
}
