// Reconnection and roaming: the candidate, the attempt and its retries, and the two checks
// that start them (weak signal every 4 s, TX failures against the firmware's statistics
// every 10 s).
#include <cstring>

#include "driver/core/bss_table.h"
#include "driver/core/ccx_core.h"
#include "driver/core/core_adapter.h"
#include "driver/core/frame_builders.h"
#include "driver/core/leds.h"
#include "driver/core/link_monitor.h"
#include "driver/core/mlme.h"
#include "driver/core/station_management.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint16_t kLinkLostCount = 20;
constexpr std::uint32_t kMaxRoamAttempts = 2;  // the third failure restores the old link
constexpr std::uint16_t kReasonLeftBss = 3;
constexpr std::uint32_t kDefaultTxPowerLevel = 4;
constexpr std::uint8_t kRetryBytes[5] = {5, 5, 3, 3, 0};
constexpr std::uint32_t kFailedCounter = 1;  // the firmware's failed-frame count

void SaveConnection(CoreAdapter* core) {
  SavedConnection& saved = core->Station.Saved;
  saved.desiredSsid = core->Config.desiredSsid;
  std::memcpy(saved.bssid, core->Bssid.data(), 6);
  saved.beaconPeriod = core->BeaconPeriod;
  saved.atimWindow = core->AtimWindow;
  saved.frequency = core->Frequency;
  std::memcpy(saved.rates, core->Station.Rates, 14);
  saved.associationId = core->AssociationId;
  saved.capability = core->Capability;
  saved.mlmeState = core->MlmeState;
}

void RestoreConnection(CoreAdapter* core) {
  const SavedConnection& saved = core->Station.Saved;
  core->Config.desiredSsid = saved.desiredSsid;
  std::memcpy(core->Bssid.data(), saved.bssid, 6);
  core->BeaconPeriod = saved.beaconPeriod;
  core->AtimWindow = saved.atimWindow;
  core->Frequency = saved.frequency;
  std::memcpy(core->Station.Rates, saved.rates, 14);
  core->AssociationId = saved.associationId;
  core->Capability = saved.capability;
}

void RoamCheckTimer(OsTimerRecord* record);

void TxFailCheckTimer(OsTimerRecord* record) {
  CoreAdapter* core = CoreOfTimer(record);
  StationState& st = core->Station;
  if (core->TxFailPhase != 2) {
    ArmTimer(core, kTimerTxFailCheck, &TxFailCheckTimer, kTxFailCheckMs, false);
    return;
  }
  if (!st.TxFailSnapshot) {
    st.SnapshotTransmitted = core->Counters.Transmitted;
    st.SnapshotFailed = core->FirmwareCounters[kFailedCounter];
    st.TxFailSnapshot = true;
    core->TxFailPhase = 1;
    hal::SendGetStatistics(core->Hal);
    ArmTimer(core, kTimerTxFailCheck, &TxFailCheckTimer, kTxFailCheckMs, false);
  } else {
    st.DeltaTransmitted = core->Counters.Transmitted - st.SnapshotTransmitted;
    st.DeltaFailed = core->FirmwareCounters[kFailedCounter] - st.SnapshotFailed;
    core->TxFailPhase = 0;
    st.TxFailSnapshot = false;
    if (st.DeltaTransmitted == 0) {
      st.WeakCount = 0;
    } else if (static_cast<std::uint64_t>(st.DeltaFailed) * 100 / st.DeltaTransmitted >= core->Config.txFailThreshold) {
      Reconnect(core, false);
    }
  }
  StartRoamCheck(core);
}

void RoamCheckTimer(OsTimerRecord* record) {
  CoreAdapter* core = CoreOfTimer(record);
  if (core->MlmeState != kMlmeAssociated) return;
  StationState& st = core->Station;
  if (core->LinkRssi < core->Config.signalThreshold) {
    ++st.WeakCount;
    st.WeakFlag = 1;
    if (st.WeakCount > 2) {
      st.WeakCount = 0;
      core->TxFailPhase = 1;
      if (core->Config.txFailThreshold == 0) {
        Reconnect(core, false);
      } else {
        hal::SendGetStatistics(core->Hal);
        ArmTimer(core, kTimerTxFailCheck, &TxFailCheckTimer, kTxFailCheckMs, false);
      }
      return;
    }
  } else {
    if (st.WeakCount != 0) --st.WeakCount;
    st.WeakFlag = 0;
  }
  StartRoamCheck(core);
}

}  // namespace

void StartRoamCheck(CoreAdapter* core) { ArmTimer(core, kTimerRoamCheck, &RoamCheckTimer, kRoamCheckMs, false); }

void Reconnect(CoreAdapter* core, bool linkLost) {
  if ((core->ConnectReason == kReasonNone || core->ConnectReason == kReasonRoaming) &&
      TryBeginConnect(core, 0xFFFFFFFFu, kFlagConnecting)) {
    core->ConnectReason = kReasonRoaming;
    const int candidate = FindRoamCandidate(core);
    if (candidate >= 0) {
      RoamTo(core, candidate);
    } else if (linkLost) {
      // No other access point: the link monitor drops the link after 20 more periods.
      core->Link.MissedBeacons = kLinkLostCount;
      SetLedPattern(core, kLedEventAssociated);
      ClearFlags(core, kFlagConnecting);
      core->ConnectReason = kReasonNone;
      core->MlmeState = kMlmeAssociated;
    } else {
      core->ConnectReason = kReasonRoamScan;
      ScanForSsid(core, core->CurrentSsid);
    }
  }
  if (core->Config.signalThreshold != kSignalCheckOff) StartRoamCheck(core);
}

void RoamTo(CoreAdapter* core, int index) {
  StationState& st = core->Station;
  const NDIS_WLAN_BSSID& entry = BssTableOf(core).Entries[index];
  st.RoamAttempts = 0;
  core->MlmeState = kMlmeIdle;
  std::memcpy(st.RetryBytes, kRetryBytes, sizeof kRetryBytes);
  hal::SendCmd0115(core->Hal, 1, st.RetryBytes);
  // A CCKM roam reassociates: the access point it leaves hands the station over.
  if (!CcxCckmRoam(core, core->Bss[index])) SendDeauthentication(core, core->Bssid.data(), kReasonLeftBss);
  SaveConnection(core);
  core->Config.desiredSsid = core->CurrentSsid;
  std::memcpy(st.TargetBssid, entry.MacAddress, 6);
  hal::SendTxPower(core->Hal, 1, kDefaultTxPowerLevel);
  core->ProbeSsid = core->CurrentSsid;
  SendProbeRequestTo(core, nullptr);
  SendProbeRequestTo(core, nullptr);
  st.ChannelPending = false;
  if (JoinInfrastructureBss(core) != StatusPending) RetryRoam(core);
}

void RetryRoam(CoreAdapter* core) {
  StationState& st = core->Station;
  if (st.RoamAttempts >= kMaxRoamAttempts) {
    // Three attempts failed: back to the saved association, without a disconnect.
    RestoreConnection(core);
    ClearFlags(core, kFlagConnecting);
    core->ConnectReason = kReasonNone;
    core->Link.MissedBeacons = kLinkLostCount;
    core->MlmeState = kMlmeAssociated;
    hal::SendSetChannel(core->Hal, static_cast<std::uint8_t>(
                                       core->Frequency == 2484000 ? 14 : (core->Frequency - 2407000) / 5000),
                        nullptr);
    RestartLinkMonitor(core);
    return;
  }
  core->MlmeState = kMlmeIdle;
  ++st.RoamAttempts;
  st.ChannelPending = false;
  if (JoinInfrastructureBss(core) != StatusPending) RetryRoam(core);  // bounded by the attempts
}

}  // namespace zelnic::core
