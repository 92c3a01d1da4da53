// Joining an infrastructure BSS: its channel first, then authentication frame 1.
#include <cstring>

#include "driver/core/bss_table.h"
#include "driver/core/channels.h"
#include "driver/core/core_adapter.h"
#include "driver/core/frame_builders.h"
#include "driver/core/frame_tests.h"
#include "driver/core/little_endian.h"
#include "driver/core/mlme.h"
#include "driver/core/rates.h"
#include "driver/core/station_management.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint16_t kAlgorithmOpen = 0;
constexpr std::uint16_t kAlgorithmSharedKey = 1;
constexpr std::uint32_t kAuthModeShared = 1;
constexpr std::uint32_t kAuthenticationBody = 6;

// The second entry of the join runs as the completion of SET_CHANNEL; a join that cannot go
// on there goes through the timeout, so a connection attempt never just stops.
void ChannelSet(CoreAdapter* core) {
  if (JoinInfrastructureBss(core) != StatusPending) MlmeTimeout(core);
}

void ClearLinkCounters(CoreAdapter* core) {
  core->Link.MissedBeacons = 0;
  core->Link.AssociatedTicks = 0;
  core->Link.BeaconsReceived = 0;
  core->Link.ProbeTicks = 0;
}

}  // namespace

void CopyBssToScratch(CoreAdapter* core, int index) {
  StationState& st = core->Station;
  st.CurrentEntry = BssTableOf(core).Entries[index];
  st.CurrentBss = core->Bss[index];
  st.HaveCurrentBss = true;
}

void TakeBssParameters(CoreAdapter* core) {
  StationState& st = core->Station;
  const NDIS_WLAN_BSSID& entry = st.CurrentEntry;
  const BssElements& elements = st.CurrentBss.Elements;
  std::memcpy(core->Bssid.data(), entry.MacAddress, 6);
  core->BeaconPeriod = static_cast<std::uint16_t>(entry.Configuration.BeaconPeriod);
  core->AtimWindow = static_cast<std::uint16_t>(entry.Configuration.ATIMWindow);
  core->Frequency = entry.Configuration.DSConfig;
  core->Privacy = entry.Privacy;
  core->Capability = elements.Capability;
  std::uint8_t rates[14];
  for (int i = 0; i < 14; ++i) rates[i] = static_cast<std::uint8_t>(elements.Rates[i] & ~kBasicRate);
  SortRatesByIndex(rates);
  CapRatesAtDataRate(rates, core->Config.dataRate);
  std::memcpy(st.Rates, rates, sizeof rates);
}

ULONG JoinInfrastructureBss(CoreAdapter* core) {
  StationState& st = core->Station;
  if ((core->Flags & kFlagScanning) != 0) return StatusNotAccepted;
  const int index = FindBss(core, st.TargetBssid);
  if (index < 0) return StatusFailure;
  const NDIS_WLAN_BSSID& entry = BssTableOf(core).Entries[index];

  // A station configured for WEP does not join an open network.
  if (entry.Privacy == 0 && core->Config.wepStatus == 0) {
    DisconnectByState(core, true);
    ClearFlags(core, kFlagConnecting);
    ClearLinkCounters(core);
    st.ChannelPending = false;
    return StatusFailure;
  }

  if (!st.ChannelPending) {
    st.ChannelPending = true;
    CopyBssToScratch(core, index);
    hal::SendSetChannel(core->Hal, static_cast<std::uint8_t>(FrequencyChannel(entry.Configuration.DSConfig)),
                        &ChannelSet);
    return StatusPending;
  }

  // Channel set: announce the station with a directed probe, then authenticate.
  // An empty desired SSID (any network) takes the BSS's own length, so that its beacons
  // are recognised as the current network's.
  const std::uint32_t desired = core->Config.desiredSsid.length;
  core->CurrentSsid.length = desired != 0 && desired <= 32 ? desired : st.CurrentEntry.Ssid.SsidLength;
  std::memcpy(core->CurrentSsid.bytes, st.CurrentEntry.Ssid.Ssid, 32);
  std::memcpy(core->ProbeAddress.data(), st.CurrentEntry.MacAddress, 6);
  core->ProbeSsid = core->CurrentSsid;
  SendProbeRequest(core);
  ManagementFrameBuffer* frame = TakeFrameBuffer(core);
  st.ChannelPending = false;
  if (frame == nullptr) return StatusResources;
  st.TxRate = BestCommonRate(st.CurrentBss.Elements.Rates, 14);
  st.TxRateIndex = RateIndex(st.TxRate);
  if (st.TxRate != 0) hal::SetTransmitRate(core->Hal, st.TxRate);

  std::uint8_t* f = frame->Buffer;
  BuildHeader(core, f, st.CurrentEntry.MacAddress, kSubtypeAuthentication);
  std::uint8_t* body = f + kChipHeaderBytes;
  // Shared key is algorithm 1 on the air; every other mode authenticates as open system.
  Put16(body, core->Config.authMode == kAuthModeShared ? kAlgorithmSharedKey : kAlgorithmOpen);
  Put16(body + 2, 1);
  Put16(body + 4, 0);
  frame->Length = kChipHeaderBytes + kAuthenticationBody;
  Put16(f, kAuthenticationBody);
  core->MlmeState = kMlmeAuthSent;
  ArmMlmeTimer(core, kMlmeWaitMs);
  QueueManagementFrame(core, frame);
  return StatusPending;
}

}  // namespace zelnic::core
