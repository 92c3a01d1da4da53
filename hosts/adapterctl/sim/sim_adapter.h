#pragma once
// The simulated adapter: answers the library's operations from a scenario (facts, networks
// in range, connect results, counters) and raises notifications as a driver would, so the
// utility runs before the driver exists. Associations complete after the scenario's delay;
// the adapter's registry values (driver version and date, profile in use) live in the
// registry store under the adapter's key.
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "hosts/adapterctl/adapter_registry_values.h"
#include "hosts/adapterctl/sim/sim_scenario.h"

namespace zelcon {

class SimAdapter : public AdapterRegistryValues {
public:

  SimAdapter(SimScenario scenario, Notifier& notifier, plat::RegistryStore registry);
  ~SimAdapter() override;

  // Raise a notification now, as the driver or the library would.
  void Inject(uint32_t code, intptr_t param = 0, std::string text = {});
  // Take the adapter away (notifies removal) or put it back.
  void Unplug();
  void Plug();

  int OpenAdapter(void*& handle) override;
  int CloseAdapter(void* handle) override;
  int SetSsid(void* handle, const char* ssid, uint32_t length, uint32_t hidden) override;
  int SetWepKey(void* handle, uint32_t index, const uint8_t* key, uint32_t length,
                uint32_t isTx) override;
  int SetWPAInformation(void* handle, uint32_t networkType, uint32_t authMode,
                        uint32_t encryption, const uint8_t* wpa, const char* ssid) override;
  int QueryScanListLength(void* handle, uint8_t* buffer, uint32_t size,
                          uint32_t& length) override;

  int GetConnectStatus(void* handle) override;
  int SetGUIMonitorMode(void* handle, uint32_t value) override;
  int UnlockPages(void* handle) override;
  int GetMacAddress(void* handle, uint8_t* buffer, uint32_t size) override;
  int QueryDeviceDesc(void* handle, char* buffer, uint32_t size) override;
  int QueryChipVersion(void* handle, uint32_t& value) override;
  int QueryFirmwareVersion(void* handle, uint32_t& value) override;
  int QueryRegionCode(void* handle, uint32_t& value) override;
  int QueryDhcp9x(void* handle) override;

  int QueryRadioControl(void* handle, uint32_t& value) override;
  int SetRadioControl(void* handle, uint32_t value) override;
  int QueryBoostMode(void*, uint32_t& v) override { return Get("BoostMode", v); }
  int SetBoostMode(void*, uint32_t v) override { return Put("BoostMode", v); }
  int QueryPowerMode(void*, uint32_t& v) override { return Get("PowerMode", v); }
  int SetPowerMode(void*, uint32_t v) override { return Put("PowerMode", v); }
  int QueryPreamble(void*, uint32_t& v) override { return Get("Preamble", v); }
  int SetPreamble(void*, uint32_t v) override { return Put("Preamble", v); }
  int QueryDataRate(void*, uint32_t& v) override { return Get("DataRate", v); }
  int SetDataRate(void*, uint32_t v) override { return Put("DataRate", v); }
  int QueryTxPower(void*, uint32_t& v) override { return Get("TxPower", v); }
  int SetTxPower(void*, uint32_t v) override { return Put("TxPower", v); }
  int QueryTxAntenna(void*, uint32_t& v) override { return Get("TxAntenna", v); }
  int SetTxAntenna(void*, uint32_t v) override { return Put("TxAntenna", v); }
  int QueryRxAntenna(void*, uint32_t& v) override { return Get("RxAntenna", v); }
  int SetRxAntenna(void*, uint32_t v) override { return Put("RxAntenna", v); }
  int QueryFragThreshold(void*, uint32_t& v) override { return Get("FragThreshold", v); }
  int SetFragThreshold(void*, uint32_t v) override { return Put("FragThreshold", v); }
  int QueryRTSThreshold(void*, uint32_t& v) override { return Get("RTSThreshold", v); }
  int SetRTSThreshold(void*, uint32_t v) override { return Put("RTSThreshold", v); }
  int QueryNetworkMode(void*, uint32_t& v) override { return Get("NetworkMode", v); }
  int SetNetworkMode(void*, uint32_t v) override { return Put("NetworkMode", v); }
  int QueryWlanMode(void*, uint32_t& v) override { return Get("WlanMode", v); }
  int SetWlanMode(void*, uint32_t v) override { return Put("WlanMode", v); }
  int SetAdHocWlanMode(void*, uint32_t v) override { return Put("AdHocWlanMode", v); }
  int SetChannel(void*, uint32_t v) override { return Put("Channel", v); }
  int QueryChannel(void* handle, uint32_t& value) override;

  int QuerySsid(void* handle, char* buffer, uint32_t size) override;
  int QueryBssid(void* handle, uint8_t* buffer, uint32_t size) override;
  int SetDisassociate(void* handle) override;
  int QueryAuthMode(void*, uint32_t& v) override { return Get("AuthMode", v); }
  int SetAuthMode(void*, uint32_t v) override { return Put("AuthMode", v); }
  int QueryWepStatus(void*, uint32_t& v) override { return Get("WepStatus", v); }
  int SetWepStatus(void*, uint32_t v) override { return Put("WepStatus", v); }
  int SetTpxCCXNetworkEap(void*, uint32_t v) override { return Put("CcxNetworkEap", v); }

  int Scan(void* handle) override;
  int SsidScan(void* handle, const ZELCON_SSID_SCAN* record) override;
  int BssidScan(void* handle, const ZELCON_BSSID_SCAN* record) override;
  int QueryScanList(void* handle, uint8_t* buffer, uint32_t size) override;

  int QueryRssi(void* handle, uint32_t& value) override;
  int QueryLinkSpeed(void* handle, uint32_t& value) override;
  int QueryStatistics(void* handle, NDIS_802_11_STATISTICS* record) override;
  int QueryBeaconStatistics(void* handle, BEACON_STATS* record) override;
  int QueryRssiStat(void* handle, RSSI_STATS* record) override;
  int ResetStatistics(void* handle) override;

  int SetSBSecurityInfo(void* handle, const HLVN_SWIFTBOND_SEC_INFO* record) override;
  int SetSBSetupRequest(void* handle, const HLVN_SWIFTBOND_SETUP_REQ* record) override;
  int QuerySwiftBondAPInfo(void* handle, HLVN_SWIFTBOND_AP_INFO* record) override;

  int QueryMacRegister(void*, uint32_t i, uint32_t& v) override { return Get(Reg("Mac", i), v); }
  int SetMacRegister(void*, uint32_t i, uint32_t v) override { return Put(Reg("Mac", i), v); }
  int QueryBbRegister(void*, uint32_t i, uint32_t& v) override { return Get(Reg("Bb", i), v); }
  int SetBbRegister(void*, uint32_t i, uint32_t v) override { return Put(Reg("Bb", i), v); }
  int QueryRfRegister(void*, uint32_t i, uint32_t& v) override { return Get(Reg("Rf", i), v); }
  int SetRfRegister(void*, uint32_t i, uint32_t v) override { return Put(Reg("Rf", i), v); }
  int QueryChannelRange(void*, uint32_t& v) override { return Get("ChannelRange", v); }
  int SetChannelRange(void*, uint32_t v) override { return Put("ChannelRange", v); }
  int QuerySignalThreshold(void*, uint32_t& v) override { return Get("SignalThreshold", v); }
  int SetSignalThreshold(void*, uint32_t v) override { return Put("SignalThreshold", v); }
  int QueryTxFailThreshold(void*, uint32_t& v) override { return Get("TxFailThreshold", v); }
  int SetTxFailThreshold(void*, uint32_t v) override { return Put("TxFailThreshold", v); }
  int RadarDetected(void*) override { return 0; }

private:
  using Clock = std::chrono::steady_clock;
  struct Link {
    std::string ssid;
    uint8_t bssid[6] = {};
    uint32_t channel = 0;
    int32_t rssi = -100;
    bool bOnly = false;
    bool adHoc = false;
    Clock::time_point upAt;  // the association completes then
  };

  static std::string Reg(const char* bank, uint32_t index) {
    return std::string(bank) + "Register" + std::to_string(index);
  }
  int Get(const std::string& name, uint32_t& value);
  int Put(const std::string& name, uint32_t value);
  const Link* CurrentLink();  // the association in force, or null (lock held)
  std::string swiftBondApSsid_;  // of the access point the last exchange ran with
  void DropLink(bool notify);  // lock held
  const SimBss* FindNetwork(std::string_view ssid, bool infrastructure) const;

  std::mutex mutex_;
  SimScenario scenario_;
  std::map<std::string, uint32_t> settings_;
  std::map<void*, std::unique_ptr<char>> sessions_;
  std::optional<Link> link_;
  std::map<std::string, int64_t> counters_;
};

}  // namespace zelcon
