// The MLME state word: continuations after firmware completions, leaving a network, the
// timeout of every wait, and received management frames other than beacons and probe
// responses.
#include <cstring>

#include "driver/core/bss_table.h"
#include "driver/core/connection_oids.h"
#include "driver/core/core_adapter.h"
#include "driver/core/frame_builders.h"
#include "driver/core/frame_tests.h"
#include "driver/core/key_installs.h"
#include "driver/core/little_endian.h"
#include "driver/core/leds.h"
#include "driver/core/link_monitor.h"
#include "driver/core/mlme.h"
#include "driver/core/station_management.h"
#include "driver/core/station_seams.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint16_t kReasonLeftBss = 3;  // deauthenticated: the station is leaving
constexpr std::uint16_t kReasonLeaving = 8;  // disassociated: the station is leaving
constexpr std::uint32_t kAuthModeShared = 1;
constexpr std::uint32_t kModeIbss = 0;

bool FirmwareTakesCommands(const CoreAdapter* core) { return core->Hal != nullptr && core->Hal->removed == 0; }

void ClearLinkCounters(CoreAdapter* core) {
  core->Link.MissedBeacons = 0;
  core->Link.AssociatedTicks = 0;
  core->Link.BeaconsReceived = 0;
  core->Link.ProbeTicks = 0;
}

bool Roaming(const CoreAdapter* core) { return core->ConnectReason == kReasonRoaming; }

void MlmeTimerFired(OsTimerRecord* record) { MlmeTimeout(CoreOfTimer(record)); }

bool ToStation(const CoreAdapter* core, const std::uint8_t* frame) {
  return std::memcmp(frame + kAddress1, core->StationAddress.data(), 6) == 0;
}
// From the BSS being joined (the scratch copy), to the station.
bool FromJoinedBss(const CoreAdapter* core, const std::uint8_t* frame) {
  return ToStation(core, frame) && std::memcmp(frame + kAddress2, core->Station.CurrentEntry.MacAddress, 6) == 0;
}
// From the current BSS, to the station.
bool FromCurrentBss(const CoreAdapter* core, const std::uint8_t* frame) {
  return ToStation(core, frame) && std::memcmp(frame + kAddress3, core->Bssid.data(), 6) == 0;
}

// A failed authentication: shared key with the fallback flag tries open system once.
void AuthenticationFailed(CoreAdapter* core) {
  StationState& st = core->Station;
  if (st.SharedKeyFallback && core->Config.authMode == kAuthModeShared) {
    core->Config.authMode = 0;
    st.ChannelPending = false;
    if (JoinInfrastructureBss(core) == StatusPending) return;
  }
  MlmeTimeout(core);
}

ULONG ReceiveAuthentication(CoreAdapter* core, const ReceiveRecord* record) {
  const std::uint8_t* frame = record->Frame;
  const std::uint16_t state = core->MlmeState;
  if (state != kMlmeAuthSent && state != kMlmeSharedKeySent) {
    const bool fromCurrent = FromCurrentBss(core, frame);
    return fromCurrent && state != kMlmeAssociationSent && state != kMlmeAssociated ? StatusFailure : StatusSuccess;
  }
  // Another station's or another BSS's authentication is none of this join's business.
  if (!FromJoinedBss(core, frame) || record->Length < kChipHeaderBytes + 6) return StatusFailure;
  const std::uint16_t sequence = Get16(frame + kChipHeaderBytes + 2);
  if (sequence == 1 || sequence == 3) {
    if (core->Config.networkMode == kModeIbss) AuthenticationFailed(core);
    return StatusFailure;
  }
  CancelTimer(core, kTimerMlme);
  if (HandleAuthResponse(core, frame, record->Length) == StatusSuccess) return StatusSuccess;
  AuthenticationFailed(core);
  return StatusFailure;
}

ULONG ReceiveAssociationResponse(CoreAdapter* core, const ReceiveRecord* record, std::uint16_t waitingState) {
  if (core->MlmeState != waitingState || !FromJoinedBss(core, record->Frame)) return StatusFailure;
  if (HandleAssocResponse(core, record->Frame, record->Length) == StatusSuccess) return StatusSuccess;
  MlmeTimeout(core);
  return StatusFailure;
}

ULONG ReceiveDisassociation(CoreAdapter* core, const ReceiveRecord* record) {
  if (core->MlmeState != kMlmeAssociated || !FromCurrentBss(core, record->Frame)) return StatusFailure;
  StartLinkLossTick(core);
  const int index = FindBss(core, core->Bssid.data());
  if (index >= 0) BssTableOf(core).Entries[index].Rssi = kNoSignal;
  MlmeTimeout(core);
  return StatusSuccess;
}

ULONG ReceiveDeauthentication(CoreAdapter* core, const ReceiveRecord* record) {
  if (!FromCurrentBss(core, record->Frame) || core->Config.networkMode == kModeIbss) return StatusFailure;
  SetLedPattern(core, kLedEventPowerOn);
  ResetKeyState(core);
  const Ssid current = core->CurrentSsid;
  SetDesiredSsid(core, current, kReasonReconnectAfterDeauth);
  return StatusSuccess;
}

}  // namespace

void ArmMlmeTimer(CoreAdapter* core, std::uint32_t periodMs) {
  ArmTimer(core, kTimerMlme, &MlmeTimerFired, periodMs, false);
}

ULONG MacManagementFrameReceive(CoreAdapter* core, ReceiveRecord* record, std::uint8_t subtype) {
  if (record->Length < kChipHeaderBytes) return StatusFailure;
  switch (subtype) {
    case kSubtypeAssociationResponse:
      return ReceiveAssociationResponse(core, record, kMlmeAssociationSent);
    case kSubtypeReassociationResponse:
      return ReceiveAssociationResponse(core, record, kMlmeReassociationSent);
    case kSubtypeDisassociation:
      return ReceiveDisassociation(core, record);
    case kSubtypeAuthentication:
      return ReceiveAuthentication(core, record);
    case kSubtypeDeauthentication:
      return ReceiveDeauthentication(core, record);
    default:
      return StatusFailure;
  }
}

void CurrentNetworkBeaconed(CoreAdapter* core, int bssIndex) {
  constexpr std::uint8_t kErpUseProtection = 0x02;
  constexpr std::uint32_t kListenValue = 1;
  const BssElements& beacon = core->Bss[bssIndex].Elements;
  // The chip layer's power saving sleeps by the beacon's timing and wakes for its traffic.
  if (core->Hal->powerMode != 0)
    hal::PowerSaveBeaconUpdate(core->Hal, beacon.DtimCount, beacon.BeaconInterval, beacon.DtimPeriod,
                               beacon.TrafficPending != 0, kListenValue);
  const std::uint8_t erp = beacon.Erp & kErpUseProtection;
  if (erp != core->Station.Erp) {
    core->Station.Erp = erp;
    hal::SendCmd010F(core->Hal, erp != 0 ? 1 : 0);
  }
}

void ContinueByState(CoreAdapter* core) {
  ClearFlags(core, kFlagConnecting);
  core->MediaDisconnected = 0;
  ClearLinkCounters(core);
  switch (core->MlmeState) {
    case kMlmeAssociated:
      if (Roaming(core)) {
        IndicateConnectedNoCompletion(core);
      } else {
        IndicateConnected(core);
      }
      break;
    case kMlmeIbssJoining:
      CancelTimer(core, kTimerMlme);
      TakeBssParameters(core);
      core->MlmeState = kMlmeIbssJoined;
      IndicateConnected(core);
      break;
    case kMlmeIbssStarted:
      core->MlmeState = kMlmeIbssJoined;
      IndicateConnected(core);
      break;
    case kMlmeIbssStarting:
      core->MlmeState = kMlmeIbssStarted;
      core->MediaDisconnected = 1;
      IndicateIbssStarted(core);
      break;
    case kMlmeIbssRestarting:
      CancelTimer(core, kTimerMlme);
      core->MlmeState = kMlmeIbssJoined;
      break;
    default:
      break;
  }
  core->ConnectReason = kReasonNone;
  ReadHeldFrame(core);
}

void DisconnectByState(CoreAdapter* core, bool indicate) {
  DropHeldFrame(core);
  if (FirmwareTakesCommands(core)) hal::SendSetMode(core->Hal, 1, 0, 0);
  CancelTimer(core, kTimerLinkMonitor);
  CancelTimer(core, kTimerMlme);
  switch (core->MlmeState) {
    case kMlmeIdle:
    case kMlmeIbssIdle:
      return;
    case kMlmeAssociated:
      SendDeauthentication(core, core->Bssid.data(), kReasonLeaving);
      ResetKeyState(core);
      core->MlmeState = kMlmeIdle;
      break;
    case kMlmeIbssJoining:
    case kMlmeIbssStarting:
    case kMlmeIbssRestarting:
      core->MlmeState = kMlmeIbssIdle;
      break;
    case kMlmeIbssJoined:
    case kMlmeIbssStarted:
      core->MlmeState = kMlmeIbssStarted;
      break;
    default:
      core->MlmeState = kMlmeIdle;
      break;
  }
  if (indicate) IndicateDisconnected(core);
}

void MlmeTimeout(CoreAdapter* core) {
  core->MediaDisconnected = 1;
  StationState& st = core->Station;
  switch (core->MlmeState) {
    case kMlmeIdle:
      StartConnect(core, false);
      break;
    case kMlmeAuthSent:
    case kMlmeSharedKeySent:
    case kMlmeAuthenticated:
      if (Roaming(core)) {
        RetryRoam(core);
      } else {
        core->MlmeState = kMlmeIdle;
        StartConnect(core, false);
      }
      break;
    case kMlmeAssociationSent:
    case kMlmeReassociationSent:
      if (Roaming(core)) {
        RetryRoam(core);
        break;
      }
      if (core->MlmeState == kMlmeAssociationSent && st.CurrentBss.Elements.MakerPresent != 0)
        hal::SendTxPower(core->Hal, 1, st.SavedTxPower);
      SendDeauthentication(core, st.CurrentEntry.MacAddress, kReasonLeftBss);
      core->MlmeState = kMlmeIdle;
      StartConnect(core, false);
      break;
    case kMlmeAssociated:
      IndicateDisconnected(core);
      core->MlmeState = kMlmeIdle;
      break;
    case kMlmeIbssJoining:
      ClearFlags(core, kFlagConnecting);
      StartConfiguredIbss(core);
      break;
    case kMlmeIbssRestarting:
      IndicateDisconnected(core);
      ClearFlags(core, kFlagConnecting);
      core->MlmeState = kMlmeIbssStarted;
      RestartIbss(core, nullptr);
      break;
    default:
      core->MlmeState = kMlmeIdle;
      StartConnect(core, false);
      break;
  }
}

void DeauthenticateIfConnected(CoreAdapter* core) {
  if (core->MlmeState == kMlmeAuthenticated || core->MlmeState == kMlmeAssociated) {
    SendDeauthentication(core, core->Bssid.data(), kReasonLeftBss);
    NdisStallExecution(200);  // lets the frame go before the chip stops
  }
  core->MlmeState = kMlmeIdle;
}

}  // namespace zelnic::core
