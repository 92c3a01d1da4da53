// The two scan state machines. Each firmware completion re-enters them; the dwell timer
// ends each channel. The foreground scan visits every channel of the list; the background
// scan (while associated) goes back to the home channel between channels.
#include <cstring>

#include "driver/core/bss_table.h"
#include "driver/core/ccx_core.h"
#include "driver/core/core_adapter.h"
#include "driver/core/frame_builders.h"
#include "driver/core/leds.h"
#include "driver/core/mlme.h"
#include "driver/core/station_management.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"

namespace zelnic::core {
namespace {

constexpr std::uint8_t kScanEndIbss = 1;
constexpr std::uint32_t kHomeWaitMs = 1;
constexpr std::uint32_t kChannels = 14;

bool Background(const CoreAdapter* core) { return core->Station.BackgroundScan; }

void Resume(CoreAdapter* core) {
  if (Background(core)) {
    BackgroundScanStateMachine(core);
  } else {
    ScanStateMachine(core);
  }
}

void DwellEnded(OsTimerRecord* record) {
  CoreAdapter* core = CoreOfTimer(record);
  core->DwellPending = false;
  Resume(core);
}

void HomeWaitEnded(OsTimerRecord* record) { BackgroundScanStateMachine(CoreOfTimer(record)); }

// The index of the next listed channel from `from`; kChannels when there is none.
std::uint16_t NextChannel(const CoreAdapter* core, std::uint32_t from) {
  for (std::uint32_t i = from; i < kChannels; ++i)
    if (core->ScanChannels[i] != 0) return static_cast<std::uint16_t>(i);
  return kChannels;
}

void StartDwell(CoreAdapter* core) {
  core->DwellPending = true;
  if (!core->Station.ScanPassive)
    for (std::uint32_t i = 0; i < kProbesPerDwell; ++i) SendProbeRequest(core);
  const std::uint32_t measurementMs = core->Station.MeasurementDwellMs;
  ArmTimer(core, kTimerScanDwell, &DwellEnded, measurementMs != 0 ? measurementMs : kDwellMs, false);
}

bool OnANetwork(const CoreAdapter* core) {
  return core->MlmeState == kMlmeAssociated || core->MlmeState == kMlmeIbssJoined ||
         core->MlmeState == kMlmeIbssStarted;
}

void SendEnd(CoreAdapter* core) {
  core->ScanState = kScanEndSent;
  hal::MacAddress bssid{};
  if (OnANetwork(core)) bssid = core->Bssid;
  hal::SendScanEnd(core->Hal, core->Config.networkMode == 0 ? kScanEndIbss : 0, bssid, &ScanStateMachine);
  if (core->MediaDisconnected != 0) SetLedPattern(core, LinkStateLedEvent(core));
}

void FinishScan(CoreAdapter* core) {
  core->ScanState = kScanIdle;
  core->DwellPending = false;
  core->Station.BackgroundScan = false;
  // A measurement's scan is the access point's question: the networks the host was shown
  // stay as its own last scan found them, and the result goes into the report. When the
  // station has left its network meanwhile, the scan ends as any other, so a connection that
  // waits for its end goes on.
  const bool measurement = core->Station.MeasurementDwellMs != 0;
  if (measurement) {
    EndMeasurementScan(core);
  } else {
    CopyBssTableToShadow(core);
  }
  ClearFlags(core, kFlagScanning);
  if (measurement && CcxMeasurementScanDone(core)) return;
  CompleteScan(core);
}

}  // namespace

void ScanStateMachine(CoreAdapter* core) {
  switch (core->ScanState) {
    case kScanStart:
      core->ScanState = kScanFirstChannel;
      if (core->MediaDisconnected != 0) SetLedPattern(core, kLedEventScan);
      hal::SendScanStart(core->Hal, &ScanStateMachine);
      break;
    case kScanFirstChannel:
      core->ScanIndex = NextChannel(core, 0);
      if (core->ScanIndex >= kChannels) {
        SendEnd(core);
        break;
      }
      core->ScanState = kScanChannelSet;
      hal::SendSetChannel(core->Hal, core->ScanChannels[core->ScanIndex], &ScanStateMachine);
      break;
    case kScanChannelSet:
      core->ScanState = kScanDwellDone;
      StartDwell(core);
      break;
    case kScanDwellDone:
      core->ScanIndex = NextChannel(core, core->ScanIndex + 1u);
      if (core->ScanIndex < kChannels) {
        core->ScanState = kScanChannelSet;
        hal::SendSetChannel(core->Hal, core->ScanChannels[core->ScanIndex], &ScanStateMachine);
      } else {
        SendEnd(core);
      }
      break;
    case kScanEndSent:
      FinishScan(core);
      break;
    default:
      break;
  }
}

void BackgroundScanStateMachine(CoreAdapter* core) {
  switch (core->ScanState) {
    case kScanDwellDone:
      // Back to the home channel between foreign channels.
      core->ScanIndex = NextChannel(core, core->ScanIndex + 1u);
      if (core->ScanIndex >= kChannels) {
        SendEnd(core);
        break;
      }
      core->ScanState = kScanBackHome;
      hal::SendScanEnd(core->Hal, 0, core->Bssid, &BackgroundScanStateMachine);
      break;
    case kScanBackHome:
      core->ScanState = kScanOnHome;
      ArmTimer(core, kTimerScanDwell, &HomeWaitEnded, kDwellMs, false);
      break;
    case kScanOnHome:
    case kScanHomeWait:
      if (hal::FramesInTransmitRing(core->Hal) != 0) {
        core->ScanState = kScanHomeWait;
        ArmTimer(core, kTimerScanDwell, &HomeWaitEnded, kHomeWaitMs, false);
        break;
      }
      core->ScanState = kScanFirstChannel;
      hal::SendScanStart(core->Hal, &BackgroundScanStateMachine);
      break;
    case kScanFirstChannel:
      core->ScanState = kScanChannelSet;
      hal::SendSetChannel(core->Hal, core->ScanChannels[core->ScanIndex], &BackgroundScanStateMachine);
      break;
    default:
      // Start, the first channel, the dwell and the end run as in the foreground scan.
      ScanStateMachine(core);
      break;
  }
}

void EndBackgroundScan(CoreAdapter* core) {
  if (!Background(core) || core->ScanState == kScanIdle || core->ScanState == kScanEndSent) return;
  CancelTimer(core, kTimerScanDwell);
  core->DwellPending = false;
  SendEnd(core);
}

}  // namespace zelnic::core
