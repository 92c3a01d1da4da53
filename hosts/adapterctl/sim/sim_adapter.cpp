#include "hosts/adapterctl/sim/sim_adapter.h"

#include <algorithm>
#include <cstring>

namespace zelcon {
namespace {

uint32_t FrequencyKhz(uint32_t channel) {
  return channel == 14 ? 2484000 : 2407000 + 5000 * channel;
}

// The elements a beacon of this security carries (a WPA or RSN element, TKIP/CCMP + PSK).
std::vector<uint8_t> SecurityElements(SimBss::Security security) {
  switch (security) {
    case SimBss::Security::WpaPsk:
      return {0xDD, 0x16, 0x00, 0x50, 0xF2, 0x01, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x02,
              0x01, 0x00, 0x00, 0x50, 0xF2, 0x02, 0x01, 0x00, 0x00, 0x50, 0xF2, 0x02};
    case SimBss::Security::Wpa2Psk:
      return {0x30, 0x14, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00,
              0x0F, 0xAC, 0x04, 0x01, 0x00, 0x00, 0x0F, 0xAC, 0x02, 0x00, 0x00};
    default:
      return {};
  }
}

// The head of an NDIS 802.11 BSSID record that both lists share.
template <typename Record>
void FillBssidHead(Record& r, const SimBss& bss) {
  std::memcpy(r.MacAddress, bss.bssid, 6);
  r.SsidLength = static_cast<uint32_t>(bss.ssid.size());
  std::memcpy(r.Ssid, bss.ssid.data(), bss.ssid.size());
  r.Privacy = bss.security == SimBss::Security::Open ? 0 : 1;
  r.Rssi = bss.rssi;
  r.NetworkTypeInUse = bss.bOnly ? 1 : 2;  // DS or OFDM24
  r.ConfigLength = 32;
  r.BeaconPeriod = 100;
  r.DsConfig = FrequencyKhz(bss.channel);
  r.InfrastructureMode = bss.infrastructure ? 1 : 0;
  const uint8_t rates[] = {0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24};
  std::memcpy(r.SupportedRates, rates, bss.bOnly ? 4 : 8);
}

}  // namespace

SimAdapter::SimAdapter(SimScenario scenario, Notifier& notifier, plat::RegistryStore registry)
    : AdapterRegistryValues(notifier, std::move(registry)), scenario_(std::move(scenario)) {
  settings_ = {{"BoostMode", 1},        {"PowerMode", 0},         {"Preamble", 1},
               {"DataRate", 255},       {"TxPower", 4},           {"TxAntenna", 0xFFFF},
               {"RxAntenna", 0xFFFF},   {"FragThreshold", 2346},  {"RTSThreshold", 2347},
               {"NetworkMode", 1},      {"WlanMode", 255},        {"AdHocWlanMode", 0},
               {"Channel", 0},          {"AuthMode", 0},          {"WepStatus", 1},
               {"SignalThreshold", 80}, {"TxFailThreshold", 50},  {"ChannelRange", 0x010B}};
  counters_ = scenario_.counters;
}

SimAdapter::~SimAdapter() = default;

void SimAdapter::Inject(uint32_t code, intptr_t param, std::string text) {
  notifier_.Post(code, param, std::move(text));
}

void SimAdapter::Unplug() {
  std::lock_guard lock(mutex_);
  scenario_.present = false;
  link_.reset();
  notifier_.DropPending();
  notifier_.Post(HLVN_EVENT_ADAPTER_REMOVED);
}

void SimAdapter::Plug() {
  std::lock_guard lock(mutex_);
  scenario_.present = true;
}

int SimAdapter::OpenAdapter(void*& handle) {
  std::lock_guard lock(mutex_);
  handle = nullptr;
  if (!scenario_.present) return 1;
  // What the driver's installation leaves in its key.
  if (!registry_.QueryString(kAdapterKey, "DriverVersion")) {
    registry_.SetString(kAdapterKey, "DriverVersion", scenario_.driverVersion);
    registry_.SetString(kAdapterKey, "DriverDate", scenario_.driverDate);
    registry_.SetString(kAdapterKey, "DriverDesc", scenario_.description);
    registry_.SetString(kAdapterKey, "NetCfgInstanceId",
                        "{6B4F1D9A-5C3E-4E2A-9D1B-2F7A8C0E4D11}");
  }
  auto session = std::make_unique<char>();
  handle = session.get();
  sessions_.emplace(handle, std::move(session));
  for (const SimEvent& e : scenario_.events)
    notifier_.Post(e.code, 0, e.text, std::chrono::milliseconds(e.delayMs));
  return 0;
}

int SimAdapter::CloseAdapter(void* handle) {
  std::lock_guard lock(mutex_);
  return sessions_.erase(handle) ? 0 : 1;
}

int SimAdapter::Get(const std::string& name, uint32_t& value) {
  std::lock_guard lock(mutex_);
  auto it = settings_.find(name);
  value = it == settings_.end() ? 0 : it->second;
  return 0;
}

int SimAdapter::Put(const std::string& name, uint32_t value) {
  std::lock_guard lock(mutex_);
  settings_[name] = value;
  return 0;
}

const SimAdapter::Link* SimAdapter::CurrentLink() {
  if (!link_ || Clock::now() < link_->upAt) return nullptr;
  return &*link_;
}

void SimAdapter::DropLink(bool notify) {
  bool wasUp = CurrentLink() != nullptr;
  link_.reset();
  if (notify && wasUp) notifier_.Post(HLVN_EVENT_DISCONNECTED);
}

const SimBss* SimAdapter::FindNetwork(std::string_view ssid, bool infrastructure) const {
  const SimBss* best = nullptr;
  for (const SimBss& bss : scenario_.networks) {
    if (bss.ssid == ssid && bss.infrastructure == infrastructure && (!best || bss.rssi > best->rssi))
      best = &bss;
  }
  return best;
}

int SimAdapter::SetSsid(void*, const char* ssid, uint32_t length, uint32_t) {
  std::lock_guard lock(mutex_);
  if (!ssid || length > 32) return 1;
  if (scenario_.radio != 1) return 1;
  std::string wanted(ssid, length);
  // A first byte below 32 asks the adapter to leave its network.
  if (!wanted.empty() && static_cast<unsigned char>(wanted[0]) < 32) {
    DropLink(true);
    return 0;
  }
  bool adHoc = settings_["NetworkMode"] == 0;
  if (const Link* up = CurrentLink(); up && up->ssid == wanted && up->adHoc == adHoc) return 4;

  std::string result = "join";
  if (auto it = scenario_.connectResults.find(wanted); it != scenario_.connectResults.end())
    result = it->second;
  if (result != "join" && result != "fail") {
    int code = std::atoi(result.c_str());
    return code != 0 ? code : 1;
  }
  DropLink(true);
  auto delay = std::chrono::milliseconds(scenario_.connectDelayMs);
  const SimBss* bss = FindNetwork(wanted, !adHoc);
  if (result == "fail" || (!bss && !adHoc)) {
    notifier_.Post(adHoc ? HLVN_EVENT_IBSS_FAILED : HLVN_EVENT_CONNECT_FAILED, 0, {}, delay);
    return 0;
  }
  Link link;
  link.ssid = wanted;
  link.adHoc = adHoc;
  link.upAt = Clock::now() + delay;
  if (bss) {
    std::memcpy(link.bssid, bss->bssid, 6);
    link.channel = bss->channel;
    link.rssi = bss->rssi;
    link.bOnly = bss->bOnly;
  } else {  // a new IBSS of our own
    std::memcpy(link.bssid, scenario_.mac, 6);
    link.bssid[0] |= 0x02;
    link.channel = settings_["Channel"] ? settings_["Channel"] : 11;
    link.rssi = -30;
  }
  link_ = link;
  notifier_.Post(adHoc ? HLVN_EVENT_IBSS_CONNECTED : HLVN_EVENT_ASSOCIATED, 0, {}, delay);
  return 0;
}

int SimAdapter::SetWepKey(void*, uint32_t index, const uint8_t*, uint32_t length, uint32_t) {
  return (index >= 1 && index <= 4 && length <= 32) ? 0 : 1;
}

int SimAdapter::SetWPAInformation(void*, uint32_t, uint32_t, uint32_t, const uint8_t* wpa,
                                  const char*) {
  return wpa ? 0 : 1;
}

int SimAdapter::QueryScanListLength(void*, uint8_t* buffer, uint32_t size, uint32_t& length) {
  std::lock_guard lock(mutex_);
  if (!buffer || size < 4) return -1;
  std::vector<uint8_t> out(4);
  uint32_t count = 0;
  for (const SimBss& bss : scenario_.networks) {
    std::vector<uint8_t> ies = {0, 0, 0, 0, 0, 0, 0, 0, 100, 0, 0x01, 0x00};  // fixed fields
    ies.push_back(0);  // SSID element
    ies.push_back(static_cast<uint8_t>(bss.ssid.size()));
    ies.insert(ies.end(), bss.ssid.begin(), bss.ssid.end());
    std::vector<uint8_t> security = SecurityElements(bss.security);
    ies.insert(ies.end(), security.begin(), security.end());
    ZELCON_BSSID_EX_HEAD head{};
    FillBssidHead(head, bss);
    head.IELength = static_cast<uint32_t>(ies.size());
    head.Length = static_cast<uint32_t>((sizeof head + ies.size() + 3) & ~size_t(3));
    size_t at = out.size();
    out.resize(at + head.Length);
    std::memcpy(out.data() + at, &head, sizeof head);
    std::memcpy(out.data() + at + sizeof head, ies.data(), ies.size());
    ++count;
  }
  std::memcpy(out.data(), &count, 4);
  if (out.size() > size) return -1;  // the driver answers "buffer too short"
  std::memcpy(buffer, out.data(), out.size());
  length = static_cast<uint32_t>(out.size());
  return 0;
}

int SimAdapter::GetConnectStatus(void*) {
  std::lock_guard lock(mutex_);
  return CurrentLink() ? 1 : 0;
}

int SimAdapter::SetGUIMonitorMode(void*, uint32_t value) { return Put("GUIMonitorMode", value); }
int SimAdapter::UnlockPages(void*) { return 0; }

int SimAdapter::GetMacAddress(void*, uint8_t* buffer, uint32_t size) {
  if (!buffer || size < 6) return 1;
  std::lock_guard lock(mutex_);
  std::memcpy(buffer, scenario_.mac, 6);
  return 0;
}

int SimAdapter::QueryDeviceDesc(void*, char* buffer, uint32_t size) {
  std::lock_guard lock(mutex_);
  return CopyText(scenario_.description, buffer, size) ? 0 : 1;
}

int SimAdapter::QueryChipVersion(void*, uint32_t& value) {
  value = scenario_.chipVersion;
  return 0;
}

int SimAdapter::QueryFirmwareVersion(void*, uint32_t& value) {
  value = scenario_.firmwareVersion;
  return 0;
}

int SimAdapter::QueryRegionCode(void*, uint32_t& value) {
  value = scenario_.region;
  return 0;
}

int SimAdapter::QueryDhcp9x(void*) { return static_cast<int>(scenario_.dhcp); }

int SimAdapter::QueryRadioControl(void*, uint32_t& value) {
  std::lock_guard lock(mutex_);
  value = scenario_.radio;
  return 0;
}

int SimAdapter::SetRadioControl(void*, uint32_t value) {
  std::lock_guard lock(mutex_);
  if (scenario_.radio == 2) return 0;  // the hardware switch wins
  scenario_.radio = value ? 1 : 0;
  if (!value) DropLink(true);
  return 0;
}

int SimAdapter::QueryChannel(void*, uint32_t& value) {
  std::lock_guard lock(mutex_);
  const Link* up = CurrentLink();
  value = up ? up->channel : settings_["Channel"];
  return 0;
}

int SimAdapter::QuerySsid(void*, char* buffer, uint32_t size) {
  std::lock_guard lock(mutex_);
  if (!buffer) return 1;
  std::memset(buffer, 0, size);
  if (const Link* up = CurrentLink()) std::memcpy(buffer, up->ssid.data(), std::min<size_t>(size, up->ssid.size()));
  return 0;
}

int SimAdapter::QueryBssid(void*, uint8_t* buffer, uint32_t size) {
  std::lock_guard lock(mutex_);
  const Link* up = CurrentLink();
  if (!up || !buffer || size < 6) return 1;
  std::memcpy(buffer, up->bssid, 6);
  return 0;
}

int SimAdapter::SetDisassociate(void*) {
  std::lock_guard lock(mutex_);
  DropLink(true);
  return 0;
}

int SimAdapter::Scan(void*) { return 0; }

int SimAdapter::SsidScan(void*, const ZELCON_SSID_SCAN* record) {
  std::lock_guard lock(mutex_);
  return (record && record->SsidLength <= 32 && scenario_.radio == 1) ? 0 : 1;
}

int SimAdapter::BssidScan(void*, const ZELCON_BSSID_SCAN* record) { return record ? 0 : 1; }

int SimAdapter::QueryScanList(void*, uint8_t* buffer, uint32_t size) {
  std::lock_guard lock(mutex_);
  if (!buffer || size < 4) return 1;
  std::memset(buffer, 0, size);
  uint32_t fits = (size - 4) / sizeof(SCAN_LIST_ENTRY);
  uint32_t count = std::min<uint32_t>(fits, static_cast<uint32_t>(scenario_.networks.size()));
  std::memcpy(buffer, &count, 4);
  for (uint32_t i = 0; i < count; ++i) {
    const SimBss& bss = scenario_.networks[i];
    SCAN_LIST_ENTRY e{};
    FillBssidHead(e, bss);
    e.Length = sizeof e;
    e.BOnly = bss.bOnly ? 1 : 0;
    e.Channel = bss.channel;
    if (bss.autoLinkFlags) {
      const uint8_t element[] = {0xDD, 0x07, 0x02, 0x5A, 0x9C, 0x00, 0x00, *bss.autoLinkFlags};
      std::memcpy(e.Vendor, element, sizeof element);
    }
    std::memcpy(buffer + 4 + i * sizeof e, &e, sizeof e);
  }
  return 0;
}

int SimAdapter::QueryRssi(void*, uint32_t& value) {
  std::lock_guard lock(mutex_);
  const Link* up = CurrentLink();
  value = static_cast<uint32_t>(up ? up->rssi : -100);
  return 0;
}

int SimAdapter::QueryLinkSpeed(void*, uint32_t& value) {
  std::lock_guard lock(mutex_);
  const Link* up = CurrentLink();
  value = !up ? 0 : up->bOnly ? 110000 : 540000;
  return 0;
}

int SimAdapter::QueryStatistics(void*, NDIS_802_11_STATISTICS* record) {
  if (!record) return 1;
  std::lock_guard lock(mutex_);
  *record = {};
  record->Length = sizeof *record;
  record->TransmittedFragmentCount = counters_["tx_fragments"];
  record->MulticastTransmittedFrameCount = counters_["tx_multicast"];
  record->FailedCount = counters_["tx_failed"];
  record->RetryCount = counters_["tx_retry"];
  record->MultipleRetryCount = counters_["tx_multiple_retry"];
  record->RTSSuccessCount = counters_["rts_success"];
  record->RTSFailureCount = counters_["rts_failure"];
  record->ACKFailureCount = counters_["ack_failure"];
  record->FrameDuplicateCount = counters_["rx_duplicate"];
  record->ReceivedFragmentCount = counters_["rx_fragments"];
  record->MulticastReceivedFrameCount = counters_["rx_multicast"];
  record->FCSErrorCount = counters_["fcs_errors"];
  return 0;
}

int SimAdapter::QueryBeaconStatistics(void*, BEACON_STATS* record) {
  if (!record) return 1;
  std::lock_guard lock(mutex_);
  record->Received = static_cast<uint32_t>(counters_["beacons_received"]);
  record->Lost = static_cast<uint32_t>(counters_["beacons_lost"]);
  return 0;
}

int SimAdapter::QueryRssiStat(void*, RSSI_STATS* record) {
  if (!record) return 1;
  std::lock_guard lock(mutex_);
  for (int i = 0; i < 4; ++i)
    record->Bin[i] = static_cast<uint32_t>(counters_["rssi_bin" + std::to_string(i)]);
  return 0;
}

int SimAdapter::ResetStatistics(void*) {
  std::lock_guard lock(mutex_);
  for (auto& [name, value] : counters_) value = 0;
  return 0;
}

int SimAdapter::SetSBSecurityInfo(void*, const HLVN_SWIFTBOND_SEC_INFO* record) {
  return record ? 0 : 1;
}

int SimAdapter::SetSBSetupRequest(void*, const HLVN_SWIFTBOND_SETUP_REQ* record) {
  if (!record) return 1;
  std::lock_guard lock(mutex_);
  using std::chrono::milliseconds;
  constexpr uint16_t kActionStart = 1;
  if (record->Action != kActionStart) return 0;  // as the driver: only a start runs an exchange
  // Unassociated, the driver's exchange sends nothing and its step timer fails it.
  const Link* up = CurrentLink();
  if (!scenario_.swiftBondSucceeds || !up) {
    notifier_.Post(HLVN_EVENT_SWIFTBOND_STEP, 0, {}, milliseconds(200));
    notifier_.Post(HLVN_EVENT_SWIFTBOND_FAILED, 0, {}, milliseconds(1000));
    return 0;
  }
  swiftBondApSsid_ = up->ssid;  // the access point's answer, kept after the adapter leaves it
  for (uint32_t step = 0; step <= 7; ++step)
    notifier_.Post(HLVN_EVENT_SWIFTBOND_STEP + step, 0, {}, milliseconds(200 * (step + 1)));
  return 0;
}

int SimAdapter::QuerySwiftBondAPInfo(void*, HLVN_SWIFTBOND_AP_INFO* record) {
  if (!record) return 1;
  std::lock_guard lock(mutex_);
  *record = {};
  const size_t length = std::min(swiftBondApSsid_.size(), sizeof record->Ssid);
  record->SsidLength = static_cast<uint32_t>(length);
  std::memcpy(record->Ssid, swiftBondApSsid_.data(), length);
  return 0;
}

}  // namespace zelcon
