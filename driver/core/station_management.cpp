// Choosing what to connect to, and the station's settings behind the connection.
#include "driver/core/station_management.h"

#include <cstring>

#include "driver/core/bss_table.h"
#include "driver/core/channels.h"
#include "driver/core/core_adapter.h"
#include "driver/core/mlme.h"
#include "driver/hal/firmware_commands.h"
#include "driver/ndis/status_codes.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kModeIbss = 0;
constexpr std::uint32_t kModeInfrastructure = 1;
constexpr std::uint32_t kModeAutomatic = 2;

Ssid EntrySsid(const NDIS_WLAN_BSSID& entry) {
  Ssid ssid;
  ssid.length = entry.Ssid.SsidLength <= 32 ? entry.Ssid.SsidLength : 32;
  std::memcpy(ssid.bytes, entry.Ssid.Ssid, ssid.length);
  return ssid;
}

bool EntryIsCurrentSsid(const CoreAdapter* core, const NDIS_WLAN_BSSID& entry) {
  return SsidEquals(EntrySsid(entry), core->CurrentSsid);
}

}  // namespace

bool PrivacyOn(const CoreAdapter* core) {
  const std::uint32_t status = core->Config.wepStatus;
  return status == 0 || status == 4 || status == 6;
}

bool PrivacyMatches(const CoreAdapter* core, int index) {
  const bool entryPrivacy = BssTableOf(core).Entries[index].Privacy != 0;
  return PrivacyOn(core) == entryPrivacy;
}

bool TryBeginConnect(CoreAdapter* core, std::uint32_t test, std::uint32_t set) {
  bool began = false;
  core->Os->Table->AcquireSpinLock(&core->FlagsLock);
  if ((core->Flags & test) == 0) {
    core->Flags |= set;
    began = true;
  }
  core->Os->Table->ReleaseSpinLock(&core->FlagsLock);
  return began;
}

int SelectBss(CoreAdapter* core) {
  const BssTableData& table = BssTableOf(core);
  Ssid& desired = core->Config.desiredSsid;
  const std::uint32_t mode = core->Config.networkMode;
  int bestMatch = -1;
  int bestAny = -1;
  for (ULONG i = 0; i < table.Count && i < kMaxBss; ++i) {
    const NDIS_WLAN_BSSID& entry = table.Entries[i];
    if (desired.length != 0 && !SsidEquals(desired, EntrySsid(entry))) continue;
    if (mode != kModeAutomatic && mode != static_cast<std::uint32_t>(entry.InfrastructureMode)) continue;
    const int index = static_cast<int>(i);
    if (PrivacyMatches(core, index) && (bestMatch < 0 || table.Entries[bestMatch].Rssi < entry.Rssi)) bestMatch = index;
    if (bestAny < 0 || table.Entries[bestAny].Rssi < entry.Rssi) bestAny = index;
  }
  if (bestMatch >= 0) return bestMatch;

  // "ANY": the strongest network whose privacy matches, whatever its SSID and mode.
  if (IsAnySsid(desired)) {
    int strongest = -1;
    for (ULONG i = 0; i < table.Count && i < kMaxBss; ++i) {
      const int index = static_cast<int>(i);
      if (!PrivacyMatches(core, index) || table.Entries[i].Rssi <= kNoSignal) continue;
      if (strongest < 0 || table.Entries[strongest].Rssi < table.Entries[i].Rssi) strongest = index;
    }
    if (strongest >= 0) desired = EntrySsid(table.Entries[strongest]);
    return strongest;
  }
  return bestAny;
}

bool CurrentBssMissing(const CoreAdapter* core) {
  const BssTableData& table = BssTableOf(core);
  for (ULONG i = 0; i < table.Count && i < kMaxBss; ++i) {
    const NDIS_WLAN_BSSID& entry = table.Entries[i];
    if (EntryIsCurrentSsid(core, entry) && entry.InfrastructureMode == Ndis802_11Infrastructure &&
        entry.Configuration.DSConfig == core->Frequency && std::memcmp(entry.MacAddress, core->Bssid.data(), 6) == 0)
      return false;
  }
  return true;
}

int FindRoamCandidate(CoreAdapter* core) {
  const BssTableData& table = BssTableOf(core);
  constexpr std::uint16_t kLinkLostCount = 20;
  int strongest = -1;
  bool first = true;
  for (ULONG i = 0; i < table.Count && i < kMaxBss; ++i) {
    const NDIS_WLAN_BSSID& entry = table.Entries[i];
    if (!EntryIsCurrentSsid(core, entry) || entry.InfrastructureMode != Ndis802_11Infrastructure) continue;
    if (std::memcmp(entry.MacAddress, core->Bssid.data(), 6) == 0) continue;
    if ((entry.Privacy != 0) != (core->Privacy != 0)) continue;
    if (first && entry.Rssi == kNoSignal) return -1;
    first = false;
    if (core->Link.MissedBeacons == kLinkLostCount) return static_cast<int>(i);  // link lost: take the first
    if (strongest < 0 || table.Entries[strongest].Rssi < entry.Rssi) strongest = static_cast<int>(i);
  }
  if (strongest >= 0 && table.Entries[strongest].Rssi >= core->LinkRssi) return strongest;
  return -1;
}

ULONG SetInfrastructureMode(CoreAdapter* core, std::uint32_t mode) {
  const std::uint32_t current = core->Config.networkMode;
  if (current > kModeAutomatic) return StatusInvalidData;
  if (mode == current) return StatusSuccess;
  if (current == kModeAutomatic) {
    core->Config.networkMode = mode;
    core->MlmeState = mode == kModeIbss ? kMlmeIbssIdle : kMlmeIdle;
    return StatusSuccess;
  }
  // From IBSS only to infrastructure, from infrastructure only to IBSS.
  const bool toInfrastructure = current == kModeIbss && mode == kModeInfrastructure;
  const bool toIbss = current == kModeInfrastructure && mode == kModeIbss;
  if (!toInfrastructure && !toIbss) return StatusSuccess;
  DisconnectByState(core, true);
  core->Config.networkMode = mode;
  core->MlmeState = toIbss ? kMlmeIbssIdle : kMlmeIdle;
  if (toInfrastructure) hal::SendSetInfraMode(core->Hal);
  return StatusSuccess;
}

ULONG SetAuthenticationMode(CoreAdapter* core, std::uint32_t mode) {
  core->Config.authMode = mode;
  ResetCkipKeys(core);
  return StatusSuccess;
}

ULONG SetChannel(CoreAdapter* core, std::uint8_t channel) {
  core->Config.channel = channel;
  return StatusSuccess;
}

std::uint8_t GetChannel(const CoreAdapter* core) { return core->Config.channel; }
std::uint32_t GetChannelRange(const CoreAdapter* core) { return core->Config.channelRange; }

void SetChannelRange(CoreAdapter* core, std::uint32_t word) {
  core->Config.channelRange = word;
  FillScanChannels(core->ScanChannels, word, hal::RegionIndex(core->Hal));
}

std::int32_t GetSignalThreshold(const CoreAdapter* core) { return core->Config.signalThreshold; }

void SetSignalThreshold(CoreAdapter* core, std::int32_t value) {
  core->Config.signalThreshold = value;
  if (value == kSignalCheckOff) {
    CancelTimer(core, kTimerRoamCheck);
  } else {
    StartRoamCheck(core);
  }
}

std::uint32_t GetTxFailThreshold(const CoreAdapter* core) { return core->Config.txFailThreshold; }
void SetTxFailThreshold(CoreAdapter* core, std::uint32_t value) { core->Config.txFailThreshold = value; }

void SendRateSet(CoreAdapter* core) {
  constexpr std::uint32_t kAutomaticRate = 0xFF;
  std::uint8_t body[16] = {};
  std::memcpy(body, core->Station.Rates, 14);
  const bool fixed = core->Config.dataRate != kAutomaticRate;
  body[14] = fixed ? 1 : 0;
  body[15] = fixed ? static_cast<std::uint8_t>(core->Config.rateIndex) : 0;
  hal::SendSetRates(core->Hal, body);
}

void SetRateMode(CoreAdapter* core) {
  constexpr std::uint8_t kBOnlyMode = 3;
  constexpr std::uint8_t kBgMode = 12;
  const bool bOnly = core->Station.HaveCurrentBss && IsBOnly(core->Station.CurrentEntry) != 0;
  core->Station.RateMode = bOnly ? kBOnlyMode : kBgMode;
}

}  // namespace zelnic::core
