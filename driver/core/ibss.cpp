// IBSS: joining one from the table, starting an own one, restarting and merging.
#include <cstring>

#include "driver/core/bss_parse.h"
#include "driver/core/bss_table.h"
#include "driver/core/channels.h"
#include "driver/core/core_adapter.h"
#include "driver/core/frame_builders.h"
#include "driver/core/frame_tests.h"
#include "driver/core/little_endian.h"
#include "driver/core/leds.h"
#include "driver/core/link_monitor.h"
#include "driver/core/management_receive.h"
#include "driver/core/mlme.h"
#include "driver/core/rates.h"
#include "driver/core/station_management.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint16_t kCapabilityIbss = 0x0002;
constexpr std::uint16_t kCapabilityPrivacy = 0x0010;
constexpr std::uint8_t kMaxChannel = 14;

IbssParameters FromScratch(const CoreAdapter* core) {
  const StationState& st = core->Station;
  IbssParameters p;
  p.ssid.length = st.CurrentEntry.Ssid.SsidLength <= 32 ? st.CurrentEntry.Ssid.SsidLength : 32;
  std::memcpy(p.ssid.bytes, st.CurrentEntry.Ssid.Ssid, 32);
  p.beaconPeriod = static_cast<std::uint16_t>(st.CurrentEntry.Configuration.BeaconPeriod);
  p.atimWindow = static_cast<std::uint16_t>(st.CurrentEntry.Configuration.ATIMWindow);
  p.capability = st.CurrentBss.Elements.Capability;
  p.channel = static_cast<std::uint8_t>(FrequencyChannel(st.CurrentEntry.Configuration.DSConfig));
  p.bOnly = IsBOnly(st.CurrentEntry) != 0;
  return p;
}

IbssParameters FromLive(const CoreAdapter* core) {
  IbssParameters p;
  p.ssid = core->CurrentSsid;
  p.beaconPeriod = core->BeaconPeriod;
  p.atimWindow = core->AtimWindow;
  p.capability = core->Capability;
  p.channel = static_cast<std::uint8_t>(FrequencyChannel(core->Frequency));
  return p;
}

// The firmware beacons from an IBSS_START record of {u16 code, u16 size, 4 zero bytes, u16
// frame length, the beacon as it goes on the air}; the core's template holds the beacon in
// the chip layout (body-length word, header, address-4 field, body). The firmware is tuned
// to the IBSS's channel first.
void SendTemplate(CoreAdapter* core, const IbssStartRecord& record, std::uint8_t channel,
                  hal::CommandCompletion completion) {
  constexpr std::uint32_t kAirHeaderBytes = 24;
  const std::uint8_t* beacon = record.bytes + kIbssRecordHeaderBytes;
  const std::uint32_t body = Get16(beacon);
  std::uint8_t firmware[kIbssRecordBytes] = {};
  const std::uint32_t frameLength = kAirHeaderBytes + body;
  const std::uint32_t size = kIbssRecordHeaderBytes + 2 + frameLength;
  if (kIbssRecordHeaderBytes + kChipHeaderBytes + body > record.length || size > sizeof firmware) return;
  Put16(firmware, Get16(record.bytes));
  Put16(firmware + 2, size);
  Put16(firmware + kIbssRecordHeaderBytes, frameLength);
  std::memcpy(firmware + kIbssRecordHeaderBytes + 2, beacon + 2, kAirHeaderBytes);
  std::memcpy(firmware + kIbssRecordHeaderBytes + 2 + kAirHeaderBytes, beacon + kChipHeaderBytes, body);
  hal::SendSetChannel(core->Hal, channel, nullptr);
  hal::SendIbssStart(core->Hal, std::span<const std::uint8_t>(firmware, size), completion);
}

bool SameSsid(const NDIS_WLAN_BSSID& entry, const Ssid& ssid) {
  return entry.Ssid.SsidLength == ssid.length && ssid.length <= 32 &&
         std::memcmp(entry.Ssid.Ssid, ssid.bytes, ssid.length) == 0;
}

void TellFirmwareOfPeer(CoreAdapter* core) {
  hal::SendCmd0111(core->Hal, 0, std::span<const std::uint8_t>(core->Bssid.data(), 6));
  SendRateSet(core);
}

}  // namespace

ULONG JoinIbss(CoreAdapter* core, int index) {
  CopyBssToScratch(core, index);
  const IbssParameters joined = FromScratch(core);
  core->CurrentSsid = joined.ssid;  // the IBSS's beacons are the current network's from now on
  IbssStartRecord record;
  BuildBeaconTemplate(core, record, joined, core->Station.CurrentEntry.MacAddress);
  core->MlmeState = kMlmeIbssJoining;
  RestartLinkMonitor(core);
  ArmMlmeTimer(core, kIbssWaitMs);
  SendTemplate(core, record, joined.channel, nullptr);
  SetLedPattern(core, kLedEventJoined);
  return StatusPending;
}

ULONG JoinIbssByIndex(CoreAdapter* core, int index) { return JoinIbss(core, index); }

ULONG StartIbss(CoreAdapter* core, const IbssStartParameters& parameters) {
  StationState& st = core->Station;
  const bool inIbss = core->MlmeState == kMlmeIbssJoined || core->MlmeState == kMlmeIbssStarted;
  if (inIbss && SsidEquals(core->CurrentSsid, parameters.ssid)) return StatusFailure;
  if ((parameters.capability & kCapabilityIbss) == 0 || parameters.beaconPeriod == 0 || parameters.dtim == 0 ||
      parameters.channel == 0 || parameters.channel > kMaxChannel)
    return StatusFailure;
  for (std::uint8_t rate : parameters.basicRates)
    if ((rate & kBasicRate) != 0) return StatusFailure;

  // The same SSID and channel as the last own IBSS: its BSSID again.
  const bool again = SsidEquals(st.LastOwnIbssSsid, parameters.ssid) && st.LastOwnIbssChannel == parameters.channel;
  IbssParameters beacon;
  beacon.ssid = parameters.ssid;
  beacon.beaconPeriod = parameters.beaconPeriod;
  beacon.atimWindow = parameters.atimWindow;
  beacon.capability = parameters.capability;
  beacon.channel = parameters.channel;
  IbssStartRecord record;
  if (again) std::memcpy(core->Bssid.data(), st.LastOwnIbssBssid, 6);
  BuildBeaconTemplate(core, record, beacon, again ? st.LastOwnIbssBssid : nullptr);
  std::memcpy(st.LastOwnIbssBssid, core->Bssid.data(), 6);
  st.LastOwnIbssSsid = parameters.ssid;
  st.LastOwnIbssChannel = parameters.channel;

  core->CurrentSsid = parameters.ssid;
  core->BeaconPeriod = parameters.beaconPeriod;
  core->AtimWindow = parameters.atimWindow;
  core->Frequency = ChannelFrequency(parameters.channel);
  core->Capability = parameters.capability;
  core->Privacy = (parameters.capability & kCapabilityPrivacy) != 0 ? 1 : 0;
  std::memset(st.Rates, 0, sizeof st.Rates);
  for (std::size_t i = 0; i < kStationRates.size(); ++i) st.Rates[i] = kStationRates[i];
  if (core->AdhocMode != 0) std::memset(st.Rates + 4, 0, sizeof st.Rates - 4);

  // The own beacon enters the table as if heard.
  core->MlmeState = kMlmeIbssStarting;
  ReceiveRecord own{};
  own.Frame = record.bytes + kIbssRecordHeaderBytes;
  own.Length = record.length - kIbssRecordHeaderBytes;
  core->LastRssi = -30;
  ManagementFrameReceive(core, &own);
  const int index = FindBss(core, core->Bssid.data());
  if (index >= 0) CopyBssToScratch(core, index);

  RestartLinkMonitor(core);
  SendTemplate(core, record, parameters.channel, &ContinueByState);
  SetLedPattern(core, kLedEventStarted);
  return StatusPending;
}

ULONG StartConfiguredIbss(CoreAdapter* core) {
  IbssStartParameters p;
  p.ssid = core->Config.desiredSsid;
  if (core->MlmeState == kMlmeIbssJoining && core->Station.HaveCurrentBss) {
    core->Config.channel =
        static_cast<std::uint8_t>(FrequencyChannel(core->Station.CurrentEntry.Configuration.DSConfig));
  }
  p.channel = core->Config.channel;
  p.capability = kCapabilityIbss | (PrivacyOn(core) ? kCapabilityPrivacy : 0);
  const ULONG result = StartIbss(core, p);
  return result == StatusPending ? StatusSuccess : result;
}

ULONG RestartIbss(CoreAdapter* core, void (*continuation)(CoreAdapter*)) {
  IbssStartRecord record;
  if (core->MlmeState == kMlmeIbssStarted) {
    const IbssParameters live = FromLive(core);
    BuildBeaconTemplate(core, record, live, nullptr);
    SendTemplate(core, record, live.channel, nullptr);
  } else if (core->MlmeState == kMlmeIbssJoined) {
    core->MlmeState = kMlmeIbssRestarting;
    const IbssParameters live = FromLive(core);
    BuildBeaconTemplate(core, record, live, core->Bssid.data());
    ArmMlmeTimer(core, kIbssWaitMs);
    SendTemplate(core, record, live.channel, &ContinueByState);
  } else if (continuation != nullptr) {
    continuation(core);
  }
  return StatusPending;
}

void IbssBeaconReceived(CoreAdapter* core, int bssIndex) {
  StationState& st = core->Station;
  const NDIS_WLAN_BSSID& entry = BssTableOf(core).Entries[bssIndex];
  const std::uint8_t channel = static_cast<std::uint8_t>(FrequencyChannel(entry.Configuration.DSConfig));
  switch (core->MlmeState) {
    case kMlmeIbssJoining:
    case kMlmeIbssRestarting: {
      st.SharedKeyFallback = false;
      Ssid joined;
      joined.length = st.CurrentEntry.Ssid.SsidLength <= 32 ? st.CurrentEntry.Ssid.SsidLength : 32;
      std::memcpy(joined.bytes, st.CurrentEntry.Ssid.Ssid, 32);
      if (SameSsid(entry, joined)) {
        TellFirmwareOfPeer(core);
        ContinueByState(core);
      }
      return;
    }
    case kMlmeIbssJoined:
      if (SameSsid(entry, core->CurrentSsid) && FrequencyChannel(core->Frequency) == channel &&
          std::memcmp(entry.MacAddress, core->Bssid.data(), 6) != 0) {
        // Another BSSID of this IBSS: merge into it.
        CopyBssToScratch(core, bssIndex);
        TakeBssParameters(core);
        RestartIbss(core, nullptr);
      } else if (IsCurrentNetwork(core, entry)) {
        core->Link.MissedBeacons = 0;
        CurrentNetworkBeaconed(core, bssIndex);
      }
      break;
    case kMlmeIbssStarted:
      if (IsCurrentNetwork(core, entry)) {
        core->Link.MissedBeacons = 0;
        ContinueByState(core);
        TellFirmwareOfPeer(core);
      }
      break;
    default:
      return;
  }
  RestartLinkMonitor(core);
}

}  // namespace zelnic::core
