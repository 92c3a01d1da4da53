#include "driver/core/link_monitor.h"

#include "driver/core/core_adapter.h"
#include "driver/core/core_timer.h"
#include "driver/core/frame_builders.h"
#include "driver/core/key_installs.h"
#include "driver/core/station_seams.h"
#include "driver/hal/hal_adapter.h"

namespace zelnic::core {
namespace {

constexpr std::uint16_t kInterferenceCheckAt = 20;
constexpr int kInterferenceSamples = 10;
constexpr std::uint8_t kBusyChannel = 21;
constexpr std::uint16_t kBusySamplesToBackOff = 5;
constexpr std::uint16_t kPeriodicProbeTicks = 1200;
constexpr std::uint16_t kAssociatedLinkLost = 40;
constexpr std::uint16_t kIbssLinkLost = 20;
constexpr std::uint32_t kHighTrafficFramesPerMs = 26;

std::uint32_t g_ticks = 0;

bool ChipAsleep(const CoreAdapter* core) { return (core->Hal->powerSaveFlags & 1) != 0; }

void ClearLinkCounters(CoreAdapter* core) {
  core->Link.MissedBeacons = 0;
  core->Link.AssociatedTicks = 0;
  core->Link.BeaconsReceived = 0;
  core->Link.ProbeTicks = 0;
}

void CountLinkLossSeconds(OsTimerRecord* record) { ++CoreOfTimer(record)->SecondsSinceLinkLoss; }

void BackOffEnded(OsTimerRecord* record) { RestartLinkMonitor(CoreOfTimer(record)); }

void DropLink(CoreAdapter* core) {
  if (core->MlmeState == kMlmeAssociated) StartLinkLossTick(core);
  core->HighTraffic = 0;
  core->LinkLost = 1;
  DisconnectByState(core, true);
  ClearLinkCounters(core);
}

// Samples the channel; true when it is busy enough to back off for 30 seconds.
bool ChannelBusy(CoreAdapter* core) {
  for (int i = 0; i < kInterferenceSamples; ++i) {
    if (hal::ReadChannelActivity(core->Hal) > kBusyChannel) ++core->Link.InterferenceSamples;
    if (core->Link.InterferenceSamples > kBusySamplesToBackOff) return true;
  }
  return false;
}

void WatchAssociated(CoreAdapter* core) {
  LinkCounters& link = core->Link;
  // The chip layer's frame counters run from the current network's last beacon.
  const std::uint32_t periodMs = core->Timers[kTimerLinkMonitor].Record.PeriodMs;
  if (periodMs != 0 && (core->Hal->tx.dataFrames / periodMs >= kHighTrafficFramesPerMs ||
                        core->Hal->rx.dataFrames / periodMs >= kHighTrafficFramesPerMs)) {
    core->HighTraffic = 1;
  }
  ++link.MissedBeacons;
  ++link.AssociatedTicks;
  if (link.MissedBeacons % 6 != 0) {
    core->ProbeSsid = core->CurrentSsid;
    SendProbeRequest(core);
  }
  if (link.MissedBeacons == kInterferenceCheckAt) {
    if (ChannelBusy(core)) {
      CancelTimer(core, kTimerLinkMonitor);
      link.InterferenceSamples = 0;
      link.MissedBeacons = 0;
      ArmTimer(core, kTimerInterferenceBackOff, &BackOffEnded, kInterferenceBackOffMs, false);
      return;
    }
    if (ChipAsleep(core)) {
      link.MissedBeacons = 0;
    } else {
      ResetKeyState(core);
      core->MlmeState = kMlmeLinkLost;
      Reconnect(core, true);
      return;
    }
  }
  if (link.MissedBeacons > 10 && link.MissedBeacons % 2 == 0) {
    SendProbeRequestTo(core, nullptr);
    link.ProbeTicks = 0;
  }
  if (link.MissedBeacons < kAssociatedLinkLost) {
    if (++link.ProbeTicks >= kPeriodicProbeTicks) {
      link.ProbeTicks = 0;
      SendProbeRequestTo(core, nullptr);
    }
    return;
  }
  DropLink(core);
}

void WatchIbss(CoreAdapter* core) {
  LinkCounters& link = core->Link;
  ++link.MissedBeacons;
  ++link.AssociatedTicks;
  if (link.MissedBeacons > 4 && link.MissedBeacons % 2 == 0) SendProbeRequestTo(core, nullptr);
  if (link.MissedBeacons >= kIbssLinkLost) DropLink(core);
}

}  // namespace

std::uint32_t LinkMonitorTicks() { return g_ticks; }

void StartLinkLossTick(CoreAdapter* core) {
  if (core->LinkLossTickRunning) return;
  core->LinkLossTickRunning = true;
  ArmTimer(core, kTimerLinkLossTick, &CountLinkLossSeconds, kLinkLossTickMs, true);
}

void StartLinkMonitor(CoreAdapter* core, std::uint32_t periodMs) {
  ArmTimer(core, kTimerLinkMonitor, &LinkMonitorTimer, periodMs, true);
}

void RestartLinkMonitor(CoreAdapter* core) {
  const std::uint32_t beaconPeriod = core->BeaconPeriod != 0 ? core->BeaconPeriod : 100;
  StartLinkMonitor(core, core->Config.networkMode == 0 ? 400 : beaconPeriod + 50);
}

void LinkMonitorTimer(OsTimerRecord* record) {
  CoreAdapter* core = CoreOfTimer(record);
  ++g_ticks;
  const MiniportContext* context = core->Head.Container->Context;
  if (context == nullptr || context->Removed != 0 || context->Ready != kMiniportReady) {
    CancelTimer(core, kTimerLinkMonitor);
    return;
  }
  if (ChipAsleep(core) || (core->Flags & kFlagScanning) != 0) return;
  if (core->MlmeState == kMlmeAssociated) {
    WatchAssociated(core);
  } else if (core->MlmeState == kMlmeIbssJoined) {
    WatchIbss(core);
  }
}

}  // namespace zelnic::core
