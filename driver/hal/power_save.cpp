// Power saving: in mode 2 the station sleeps between the beacons it must hear (the chip
// dozes until the beacon of the listen interval and raises 0x08), stays awake while
// traffic flows (a 2-second watch) and wakes for frames the access point buffered.
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_internal.h"
#include "driver/hal/hal_registers.h"
#include "driver/ndis/miniport.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::hal {
namespace {

constexpr std::uint32_t kModeSaving = 2;
constexpr std::uint32_t kWatchMs = 2000;
constexpr std::uint32_t kMaximumListen = 9;
constexpr std::uint32_t kWaitBeacons = 10;
constexpr std::uint32_t kAnswerTrafficBuffered = 1;

enum Event { kSleepEnded = 1, kTrafficIndicated = 2, kNoTraffic = 3, kWatchStop = 5, kNeedsRadio = 6 };

OsServiceTable& Table(HalAdapter* hal) { return *hal->os->Table; }

void Arm(HalAdapter* hal, int which, void (*callback)(OsTimerRecord*), std::uint32_t ms, bool periodic) {
  OsTimerRecord& timer = hal->timers[which];
  Table(hal).CancelTimer(hal->os, &timer);
  timer.Callback = callback;
  timer.PeriodMs = ms;
  timer.Periodic = periodic ? 1 : 0;
  timer.Context = hal;
  Table(hal).SetTimer(hal->os, &timer);
}

void Cancel(HalAdapter* hal, int which) { Table(hal).CancelTimer(hal->os, &hal->timers[which]); }

HalAdapter* Of(OsTimerRecord* timer) { return static_cast<HalAdapter*>(timer->Context); }

void WatchTick(OsTimerRecord* timer) {
  HalAdapter* hal = Of(timer);
  PowerSaveState& ps = hal->powerSave;
  if (ps.framesReceived == ps.framesAtLastWatch) {
    Cancel(hal, kTimerPowerSaveWatch);
    PowerSaveEvent(hal, kWatchStop);
  }
  ps.framesAtLastWatch = ps.framesReceived;
}

void StartWatch(HalAdapter* hal) {
  hal->powerSaveFlags |= kPsWatchRunning;
  hal->powerSave.framesAtLastWatch = hal->powerSave.framesReceived;
  Arm(hal, kTimerPowerSaveWatch, &WatchTick, kWatchMs, true);
}

void Reevaluate(HalAdapter* hal) {
  OsAcquireLock(hal->os, &hal->powerSaveLock);
  if (hal->powerSaveBusy) {
    hal->powerSaveFlags |= kPsReevaluate;
    OsReleaseLock(hal->os, &hal->powerSaveLock);
    return;
  }
  hal->powerSaveBusy = true;
  hal->powerSaveFlags = 0;
  Cancel(hal, kTimerPowerSaveWatch);
  hal->txPowerSaveFlags = 0;
  if (hal->powerMode == kModeSaving) {
    hal->powerSave.enteringNow = true;
    StartWatch(hal);
  }
  hal->powerSaveBusy = false;
  OsReleaseLock(hal->os, &hal->powerSaveLock);
}

void Wake(HalAdapter* hal, bool clearFramesFlag) {
  if (IsChipGone(hal)) return;
  if (clearFramesFlag) hal->txPowerSaveFlags = 0;
  EnableCommandQueue(hal);
  hal->powerSaveFlags &= ~kPsAsleep;
  ResumeTransmission(hal);
}

void SleepEndedByTimer(OsTimerRecord* timer) { PowerSaveEvent(Of(timer), kSleepEnded); }

void WaitForFramesEnded(OsTimerRecord* timer) {
  HalAdapter* hal = Of(timer);
  hal->powerSave.listenInterval = 0;
  PowerSaveEvent(hal, kNoTraffic);
}

bool NothingToSend(HalAdapter* hal) {
  const HalCoreLink& link = hal->link;
  if (hal->txLoopRunning) return false;
  if (link.ManagementQueueLength && link.ManagementQueueLength(link.core) != 0) return false;
  MiniportContext* context = hal->Head.Container->Context;
  if (context != nullptr && PendingSendCount(context) != 0) return false;
  return CommandQueueIdle(hal);
}

void GoToSleep(HalAdapter* hal) {
  hal->powerSaveFlags |= kPsAsleep;
  DisableCommandQueue(hal);
  if (PauseTransmission(hal, true) != StatusSuccess) {
    Wake(hal, false);
    return;
  }
  const PowerSaveState& ps = hal->powerSave;
  const std::uint32_t sleepTime =
      ps.listenInterval <= kMaximumListen ? ps.listenInterval * ps.beaconInterval : kMaximumListen * ps.beaconInterval;
  hal->txPowerSaveFlags = 1;
  WriteRegister(hal, 1, kRegAddress, hal->powerSave.enteringNow ? 1 : 0);
  hal->powerSave.enteringNow = false;
  WriteRegister(hal, 1, kRegDoorbell, kDoorbellSleep);
  Arm(hal, kTimerPowerSaveSleep, &SleepEndedByTimer, SleepTimerMs(sleepTime), false);
}

void TryToSleep(HalAdapter* hal) {
  const PowerSaveState& ps = hal->powerSave;
  if (hal->powerMode != kModeSaving || hal->powerSaveFlags != 0) return;
  if (ps.dtimPeriod < 2 || ps.beaconInterval == 0 || ps.listenInterval < 1 || ps.listenInterval < ps.listenThreshold)
    return;
  if (!NothingToSend(hal)) return;
  const HalCoreLink& link = hal->link;
  if (!link.PowerSaveAllowed || !link.PowerSaveAllowed(link.core)) return;
  OsAcquireLock(hal->os, &hal->powerSaveLock);
  const bool busy = hal->powerSaveBusy;
  hal->powerSaveBusy = true;
  OsReleaseLock(hal->os, &hal->powerSaveLock);
  if (busy) return;
  GoToSleep(hal);
  OsAcquireLock(hal->os, &hal->powerSaveLock);
  hal->powerSaveBusy = false;
  OsReleaseLock(hal->os, &hal->powerSaveLock);
}

void SleepEnded(HalAdapter* hal) {
  if ((hal->powerSaveFlags & kPsAsleep) == 0) return;
  Cancel(hal, kTimerPowerSaveSleep);
  // The beacon the chip woke for has been handled already: the interrupt's receive cause
  // runs before its power-save cause.
  const std::uint32_t answer = hal->powerSave.beaconTraffic ? kAnswerTrafficBuffered : 2;
  if (answer == kAnswerTrafficBuffered) {
    hal->powerSaveFlags |= kPsWaitingForFrames;
    Arm(hal, kTimerPowerSaveSleep, &WaitForFramesEnded, hal->powerSave.beaconInterval * kWaitBeacons, false);
    return;
  }
  Wake(hal, false);
  if (hal->powerSaveFlags & kPsReevaluate) {
    Reevaluate(hal);
  } else {
    hal->powerSave.listenInterval = 0;
  }
  TryToSleep(hal);
}

}  // namespace

std::uint32_t SleepTimerMs(std::uint32_t sleepTime) {
  // Below 21 the formula would be 0 or wrap around: the timer still fires, a moment later.
  return sleepTime * 5 > 101 ? sleepTime * 5 - 100 : 1;
}

void SetPowerMode(HalAdapter* hal, std::uint32_t mode) {
  if (mode == hal->powerMode) return;
  hal->powerMode = mode;
  Cancel(hal, kTimerPowerSaveWatch);
  if (hal->powerSaveFlags & kPsAsleep) {
    hal->powerSaveFlags |= kPsReevaluate;
    return;
  }
  Reevaluate(hal);
}

void RestartPowerSaving(HalAdapter* hal) {
  Cancel(hal, kTimerPowerSaveWatch);
  if (hal->powerSaveFlags & kPsAsleep) return;  // asleep: the wake-up re-evaluates
  Reevaluate(hal);
}

void PowerSaveBeaconUpdate(HalAdapter* hal, std::uint32_t listenInterval, std::uint32_t beaconInterval,
                           std::uint32_t dtimPeriod, bool trafficIndicated, std::uint32_t listenValue) {
  PowerSaveState& ps = hal->powerSave;
  ps.listenInterval = listenInterval;
  ps.beaconInterval = beaconInterval;
  ps.dtimPeriod = dtimPeriod;
  ps.beaconTraffic = trafficIndicated;
  ps.listenThreshold = listenValue == 0 ? 0 : std::min<std::uint32_t>(listenValue - 1, kMaximumListen);
  if (hal->powerMode != kModeSaving || (hal->powerSaveFlags & kPsAsleep)) return;
  PowerSaveEvent(hal, trafficIndicated ? kTrafficIndicated : kNoTraffic);
}

void PowerSaveFrameReceived(HalAdapter* hal) { ++hal->powerSave.framesReceived; }

void PowerSaveEvent(HalAdapter* hal, int event) {
  std::uint32_t& flags = hal->powerSaveFlags;
  switch (event) {
    case kSleepEnded:
      SleepEnded(hal);
      break;
    case kTrafficIndicated:
      if (hal->powerMode != kModeSaving) {
        flags |= kPsTrafficIndicated;
        if (flags & kPsAsleep) {
          Wake(hal, true);
        } else {
          hal->txPowerSaveFlags = 0;
        }
      } else if (flags & kPsWaitingForFrames) {
        Cancel(hal, kTimerPowerSaveSleep);
        flags &= ~kPsWaitingForFrames;
        Wake(hal, true);
      } else if ((flags & kPsAsleep) == 0) {
        flags |= kPsTrafficIndicated;
        hal->txPowerSaveFlags = 0;
        StartWatch(hal);
      }
      break;
    case kNoTraffic:
      if (flags & kPsWaitingForFrames) {
        Cancel(hal, kTimerPowerSaveSleep);
        flags &= ~kPsWaitingForFrames;
        Wake(hal, false);
      } else {
        flags &= ~kPsTrafficIndicated;
      }
      TryToSleep(hal);
      break;
    case kWatchStop:
      flags &= ~kPsWatchRunning;
      TryToSleep(hal);
      break;
    case kNeedsRadio:
      hal->txPowerSaveFlags = 0;
      if (flags & kPsAsleep) Wake(hal, true);
      break;
    default:
      break;
  }
}

}  // namespace zelnic::hal
