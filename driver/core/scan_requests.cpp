// Scan requests, the start of a scan and what its end leads to.
#include <cstring>

#include "driver/core/bss_table.h"
#include "driver/core/channels.h"
#include "driver/core/connection_oids.h"
#include "driver/core/core_adapter.h"
#include "driver/core/link_monitor.h"
#include "driver/core/mlme.h"
#include "driver/core/station_management.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kEventScanComplete = 6;

void RegionList(const CoreAdapter* core, std::uint8_t (&channels)[14]) {
  FillScanChannels(channels, 0, hal::RegionIndex(core->Hal));
}

}  // namespace

namespace {

// Starts the scan of `request` over `channels`.
ULONG BeginScan(CoreAdapter* core, const ScanRequest& request, const std::uint8_t (&channels)[14]) {
  StationState& st = core->Station;
  st.ScanPassive = request.passive != 0;
  ClearBssTable(core);  // the shadow keeps the last result until this scan ends
  std::memcpy(core->ProbeAddress.data(), request.probeAddress, 6);
  core->ProbeSsid.length = static_cast<std::uint32_t>(strnlen(reinterpret_cast<const char*>(request.probeSsid), 32));
  std::memcpy(core->ProbeSsid.bytes, request.probeSsid, 32);
  std::memcpy(core->ScanChannels, channels, sizeof core->ScanChannels);
  core->ScanIndex = 0;
  core->DwellPending = false;
  SetFlags(core, kFlagScanning);
  core->ScanState = kScanStart;
  st.BackgroundScan = core->MlmeState == kMlmeAssociated;
  if (st.BackgroundScan) {
    BackgroundScanStateMachine(core);
  } else {
    ScanStateMachine(core);
  }
  return StatusPending;
}

}  // namespace

ULONG StartScan(CoreAdapter* core, const ScanRequest& request) {
  core->Station.MeasurementDwellMs = 0;
  std::uint8_t channels[14];
  if (core->Config.channelRange != 0) {
    FillScanChannels(channels, core->Config.channelRange, hal::RegionIndex(core->Hal));
  } else {
    std::memcpy(channels, request.channels, sizeof channels);
  }
  return BeginScan(core, request, channels);
}

ULONG StartMeasurementScan(CoreAdapter* core, std::uint8_t channel, bool passive, std::uint32_t dwellMs) {
  if ((core->Flags & kFlagScanning) != 0 || core->MlmeState != kMlmeAssociated || channel == 0) return StatusNotAccepted;
  StationState& st = core->Station;
  MeasurementScanSaved& saved = st.MeasurementSaved;
  std::memcpy(saved.probeAddress, core->ProbeAddress.data(), 6);
  saved.probeSsid = core->ProbeSsid;
  std::memcpy(saved.channels, core->ScanChannels, sizeof saved.channels);
  saved.passive = st.ScanPassive;
  st.MeasurementDwellMs = dwellMs;
  ScanRequest request;  // broadcast, any SSID
  request.passive = passive ? 1 : 0;
  request.channels[0] = channel;
  return BeginScan(core, request, request.channels);
}

void EndMeasurementScan(CoreAdapter* core) {
  StationState& st = core->Station;
  const MeasurementScanSaved& saved = st.MeasurementSaved;
  std::memcpy(core->ProbeAddress.data(), saved.probeAddress, 6);
  core->ProbeSsid = saved.probeSsid;
  std::memcpy(core->ScanChannels, saved.channels, sizeof core->ScanChannels);
  st.ScanPassive = saved.passive;
  st.MeasurementDwellMs = 0;
}

ULONG ScanForSsidOnChannels(CoreAdapter* core, const std::uint8_t* bssid, const std::uint8_t* channels,
                            std::uint32_t count) {
  ScanRequest request;
  std::memcpy(request.probeAddress, bssid, 6);
  std::memcpy(request.channels, channels, count < 14 ? count : 14);
  return StartScan(core, request);
}

ULONG ScanForSsid(CoreAdapter* core, const Ssid& ssid) {
  ScanRequest request;
  std::memcpy(request.probeSsid, ssid.bytes, ssid.length <= 32 ? ssid.length : 32);
  RegionList(core, request.channels);
  return StartScan(core, request);
}

ULONG ScanAll(CoreAdapter* core) {
  ScanRequest request;
  RegionList(core, request.channels);
  return StartScan(core, request);
}

void CompleteScan(CoreAdapter* core) {
  switch (core->ConnectReason) {
    case kReasonNone:
      CompletePendedSet(core, NDIS_STATUS_SUCCESS);
      if (core->MlmeState == kMlmeAssociated && CurrentBssMissing(core)) Reconnect(core, true);
      break;
    case kReasonRoaming:
      Reconnect(core, true);
      break;
    case kReasonNoAction:
      break;
    case kReasonRoamScan:
      ClearFlags(core, kFlagConnecting);
      core->ConnectReason = kReasonNone;
      core->MlmeState = kMlmeAssociated;
      RestartLinkMonitor(core);
      break;
    default:
      StartConnect(core, false);
      break;
  }
  PostEvent(core, kEventScanComplete, nullptr, 0);
}

}  // namespace zelnic::core
