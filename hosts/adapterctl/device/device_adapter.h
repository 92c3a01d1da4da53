#pragma once
// The library's real backend: the driver's control device, served by zelnicd on a socket
// (platform/ndis/control_client.h). Operations become OID queries and sets in the device's
// I/O buffers; a thread waits on the registered eventfds, reads the event ring and posts the
// driver's events to the utility; the remove event, or the socket's hang-up when zelnicd
// ended without a halt, closes the device so the driver can halt.
// The first WPA information starts the supplicant's host (libpentrel.so, found as
// PentrelLibraryPath says), which the driver's association, EAPOL, MIC-failure and disconnect
// events drive.
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "hosts/adapterctl/adapter_registry_values.h"
#include "hosts/adapterctl/supplicant/adapter_oids.h"
#include "hosts/adapterctl/supplicant/supplicant_host.h"
#include "platform/ndis/control_client.h"

namespace zelcon {

class DeviceAdapter : public AdapterRegistryValues, public AdapterOids {
public:

  // `devicePath`: the device's socket ($ZELNIC_RUN_DIR/HlvnDev0 by default).
  DeviceAdapter(Notifier& notifier, plat::RegistryStore registry, std::string devicePath);
  ~DeviceAdapter() override;

  int OpenAdapter(void*& handle) override;
  int CloseAdapter(void* handle) override;

  int SetSsid(void* handle, const char* ssid, uint32_t length, uint32_t hidden) override;
  int QueryScanListLength(void* handle, uint8_t* buffer, uint32_t size, uint32_t& length) override;
  // The network's kind is the adapter's authentication mode as set before (not the profile's
  // code in the third argument). Non-zero when the supplicant's library cannot be loaded.
  int SetWPAInformation(void* handle, uint32_t networkType, uint32_t authMode, uint32_t encryption,
                        const uint8_t* wpa, const char* ssid) override;
  int SetWepKey(void* handle, uint32_t index, const uint8_t* key, uint32_t length, uint32_t isTx) override;
  void WPAPortDown() override;
  // The supplicant's host, once WPA information started it (null before, and again once
  // the adapter is closed).
  const SupplicantHost* Supplicant();

  std::optional<std::vector<uint8_t>> Query(uint32_t oid, uint32_t capacity,
                                            std::vector<uint8_t> input = {}) override;
  int Set(uint32_t oid, std::vector<uint8_t> data) override;

  int GetConnectStatus(void* handle) override;
  int GetMacAddress(void* handle, uint8_t* buffer, uint32_t size) override;
  int QueryDeviceDesc(void* handle, char* buffer, uint32_t size) override;
  int QueryChipVersion(void* handle, uint32_t& value) override;
  int QueryFirmwareVersion(void* handle, uint32_t& value) override;
  int QueryRegionCode(void* handle, uint32_t& value) override;
  int QueryRadioControl(void* handle, uint32_t& value) override;
  int SetRadioControl(void* handle, uint32_t value) override;
  int QueryPowerMode(void* handle, uint32_t& value) override;
  int SetPowerMode(void* handle, uint32_t value) override;
  int QueryPreamble(void* handle, uint32_t& value) override;
  int SetPreamble(void* handle, uint32_t value) override;
  int QueryTxPower(void* handle, uint32_t& value) override;
  int SetTxPower(void* handle, uint32_t value) override;
  int QueryTxAntenna(void* handle, uint32_t& value) override;
  int SetTxAntenna(void* handle, uint32_t value) override;
  int QueryRxAntenna(void* handle, uint32_t& value) override;
  int SetRxAntenna(void* handle, uint32_t value) override;
  int QueryFragThreshold(void* handle, uint32_t& value) override;
  int SetFragThreshold(void* handle, uint32_t value) override;
  int QueryRTSThreshold(void* handle, uint32_t& value) override;
  int SetRTSThreshold(void* handle, uint32_t value) override;
  int QueryNetworkMode(void* handle, uint32_t& value) override;
  int SetNetworkMode(void* handle, uint32_t value) override;
  int QueryWlanMode(void* handle, uint32_t& value) override;
  int SetWlanMode(void* handle, uint32_t value) override;
  int SetChannel(void* handle, uint32_t value) override;
  int QueryChannel(void* handle, uint32_t& value) override;
  int QuerySsid(void* handle, char* buffer, uint32_t size) override;
  int QueryBssid(void* handle, uint8_t* buffer, uint32_t size) override;
  int SetSBSecurityInfo(void* handle, const HLVN_SWIFTBOND_SEC_INFO* record) override;
  int SetSBSetupRequest(void* handle, const HLVN_SWIFTBOND_SETUP_REQ* record) override;
  int QuerySwiftBondAPInfo(void* handle, HLVN_SWIFTBOND_AP_INFO* record) override;
  int SetDisassociate(void* handle) override;
  int QueryAuthMode(void* handle, uint32_t& value) override;
  int SetAuthMode(void* handle, uint32_t value) override;
  int QueryWepStatus(void* handle, uint32_t& value) override;
  int SetWepStatus(void* handle, uint32_t value) override;
  int Scan(void* handle) override;
  int SsidScan(void* handle, const ZELCON_SSID_SCAN* record) override;
  int QueryScanList(void* handle, uint8_t* buffer, uint32_t size) override;
  int QueryRssi(void* handle, uint32_t& value) override;
  int QueryLinkSpeed(void* handle, uint32_t& value) override;
  int QueryStatistics(void* handle, NDIS_802_11_STATISTICS* record) override;
  int QueryBeaconStatistics(void* handle, BEACON_STATS* record) override;
  int QueryRssiStat(void* handle, RSSI_STATS* record) override;
  int ResetStatistics(void* handle) override;
  int QueryMacRegister(void* handle, uint32_t index, uint32_t& value) override;
  int SetMacRegister(void* handle, uint32_t index, uint32_t value) override;
  int QueryChannelRange(void* handle, uint32_t& value) override;
  int SetChannelRange(void* handle, uint32_t value) override;
  int QuerySignalThreshold(void* handle, uint32_t& value) override;
  int SetSignalThreshold(void* handle, uint32_t value) override;
  int QueryTxFailThreshold(void* handle, uint32_t& value) override;
  int SetTxFailThreshold(void* handle, uint32_t value) override;

private:
  // The OID's answer (at most `capacity` bytes); nullopt when the device or the driver refused.
  int QueryWord(uint32_t oid, uint32_t& value);
  int SetWord(uint32_t oid, uint32_t value);
  int QueryRecord(uint32_t oid, void* record, uint32_t size);
  bool IsOurs(void* handle) const;
  void WatchEvents(int event, int removal, int hangup, int stop);
  void StopWatching();
  void ReadRing();
  void PassToSupplicant(uint32_t code, std::span<const uint8_t> payload);

  const std::string devicePath_;
  std::mutex deviceMutex_;  // one request at a time on the connection
  std::optional<ndis::ControlDeviceClient> device_;
  std::thread watcher_;
  int stopFd_ = -1;
  std::mutex supplicantMutex_;  // made by the first WPA information, ended with the adapter's close
  std::unique_ptr<SupplicantHost> supplicant_;
};

}  // namespace zelcon
