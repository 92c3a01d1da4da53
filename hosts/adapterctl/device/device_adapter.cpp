#include "hosts/adapterctl/device/device_adapter.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "driver/ndis/control_codes.h"
#include "driver/ndis/private_oids.h"
#include "hosts/adapterctl/device/published_oids.h"

namespace zelcon {
namespace {


constexpr uint32_t kEventRecordBytes = 1612;
constexpr uint32_t kEventRingBytes = 4 + 10 * kEventRecordBytes;
constexpr uint32_t kEventToken = 1;
constexpr uint32_t kRemoveEventToken = 2;
constexpr uint32_t kEventMicFailure = 10;      // payload: u32 flags, 6 pairwise, 14 group
constexpr uint32_t kEventEapolReceived = 132;  // payload: the 802.3 frame
constexpr uint32_t kEventRawFrameSent = 133;   // payload: the request's 16-bit tag
constexpr uint32_t kEventCckmRequest = 136;    // payload: the target's timestamp and BSSID

std::vector<uint8_t> Word(uint32_t value) {
  std::vector<uint8_t> bytes(4);
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t value = 0;
  if (offset + 4 <= bytes.size()) std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

}  // namespace

DeviceAdapter::DeviceAdapter(Notifier& notifier, plat::RegistryStore registry, std::string devicePath)
    : AdapterRegistryValues(notifier, std::move(registry)), devicePath_(std::move(devicePath)) {}

DeviceAdapter::~DeviceAdapter() {
  CloseAdapter(this);
  supplicant_.reset();  // its link thread sets OIDs through this object
}

bool DeviceAdapter::IsOurs(void* handle) const { return handle == this; }

int DeviceAdapter::OpenAdapter(void*& handle) {
  handle = nullptr;
  {
    std::lock_guard lock(deviceMutex_);
    if (device_) {
      handle = this;
      return 0;
    }
  }
  StopWatching();  // a watcher that saw the adapter go has ended: collect it before a new one
  std::lock_guard lock(deviceMutex_);
  device_ = ndis::ControlDeviceClient::open(devicePath_);
  if (!device_) return 1;
  const int event = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int removal = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  // A zelnicd that ends without a halt (killed) signals no removal: its socket hangs up.
  const int hangup = fcntl(device_->descriptor(), F_DUPFD_CLOEXEC, 0);
  stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const std::vector<uint8_t> eventToken = Word(kEventToken);
  const std::vector<uint8_t> removalToken = Word(kRemoveEventToken);
  const bool registered =
      event >= 0 && removal >= 0 && hangup >= 0 && stopFd_ >= 0 &&
      device_->ioctl(IOCTL_HLVN_REGISTER_EVENT, eventToken, 0, event).status == 0 &&
      device_->ioctl(IOCTL_HLVN_REGISTER_REMOVE_EVENT, removalToken, 0, removal).status == 0;
  if (!registered) {
    for (int fd : {event, removal, hangup, stopFd_}) {
      if (fd >= 0) close(fd);
    }
    stopFd_ = -1;
    device_.reset();
    return 1;
  }
  watcher_ = std::thread([this, event, removal, hangup] { WatchEvents(event, removal, hangup, stopFd_); });
  handle = this;
  return 0;
}

void DeviceAdapter::StopWatching() {
  if (watcher_.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
    watcher_.join();
  }
  if (stopFd_ >= 0) close(stopFd_);
  stopFd_ = -1;
}

int DeviceAdapter::CloseAdapter(void* handle) {
  if (!IsOurs(handle)) return 1;
  StopWatching();
  {
    std::lock_guard lock(deviceMutex_);
    device_.reset();  // the driver sees the close
  }
  // The supplicant's connection was this adapter's: nothing of it may speak for the next
  // one (a connection cut short would be reported failed at the next one's association).
  std::unique_ptr<SupplicantHost> host;
  {
    std::lock_guard lock(supplicantMutex_);
    host = std::move(supplicant_);
  }
  host.reset();  // its link thread may still set an OID: outside the lock
  return 0;
}

void DeviceAdapter::ReadRing() {
  std::optional<std::vector<uint8_t>> ring = Query(OID_HLVN_EVENT_RING, kEventRingBytes);
  if (!ring) return;
  const uint32_t count = WordAt(*ring, 0);
  for (uint32_t i = 0; i < count && 4 + (i + 1) * kEventRecordBytes <= ring->size(); ++i) {
    const size_t record = 4 + i * kEventRecordBytes;
    const uint32_t code = WordAt(*ring, record + 4);
    const uint32_t length = WordAt(*ring, record + 8);
    // Only the payload a notification can carry: MIC failure flags, the raw-frame tag.
    intptr_t param = 0;
    if (length >= 4) {
      param = WordAt(*ring, record + 12);
    } else if (length >= 2) {
      param = (*ring)[record + 12] | (*ring)[record + 13] << 8;
    }
    const uint32_t carried = std::min<uint32_t>(length, kEventRecordBytes - 12);
    PassToSupplicant(code, std::span<const uint8_t>(ring->data() + record + 12, carried));
    notifier_.Post(code, param);
  }
}

void DeviceAdapter::PassToSupplicant(uint32_t code, std::span<const uint8_t> payload) {
  SupplicantHost* host = nullptr;
  {
    std::lock_guard lock(supplicantMutex_);
    host = supplicant_.get();
  }
  if (host == nullptr) return;
  if (code == HLVN_EVENT_ASSOCIATED) host->Associated();
  if (code == kEventEapolReceived) host->ReceiveFrame(payload);
  if (code == kEventRawFrameSent && payload.size() >= 2) host->FrameSent(static_cast<uint16_t>(payload[0] | payload[1] << 8));
  if (code == kEventCckmRequest) host->CckmRequested(payload);
  if (code == kEventMicFailure) host->MicFailure(payload);
  if (code == HLVN_EVENT_DISCONNECTED) host->Disconnected();
}

// The wpa block: the pass phrase (128 bytes) with its length at 132, then the 802.1X fields
// the identity calls already took.
int DeviceAdapter::SetWPAInformation(void*, uint32_t networkType, uint32_t profileAuthMode, uint32_t encryption,
                                     const uint8_t* wpa, const char* ssid) {
  constexpr size_t kPassphraseBytes = 128;
  constexpr size_t kPassphraseLengthAt = 132;
  if (wpa == nullptr || ssid == nullptr) return 1;
  // The utility hands over the profile's own authentication code (2 WPA-PSK, 9 WPA2-PSK, ...),
  // numbered otherwise than the adapter's; the supplicant host reads the profile's codes.
  WpaNetwork network;
  network.authMode = profileAuthMode;
  network.networkType = networkType;
  network.encryption = encryption;
  uint32_t passphraseLength = 0;
  std::memcpy(&passphraseLength, wpa + kPassphraseLengthAt, 4);
  network.passphrase.assign(reinterpret_cast<const char*>(wpa),
                            std::min<size_t>(passphraseLength, kPassphraseBytes));
  network.ssid.assign(ssid, strnlen(ssid, 32));
  network.identity = TakePendingIdentity();
  std::lock_guard lock(supplicantMutex_);
  if (!NeedsSupplicant(network)) {
    // Open and static-WEP networks run without the library; one already running lets go.
    if (supplicant_) {
      supplicant_->PortDown();
      supplicant_->SetNetwork(std::move(network));
    }
    return 0;
  }
  if (!supplicant_) {
    std::string error;
    supplicant_ = SupplicantHost::Start(*this, notifier_, PentrelLibraryPath(), error);
    if (!supplicant_) return 1;
  }
  supplicant_->SetNetwork(std::move(network));
  return 0;
}

// A static WEP key of the profile: index 1 to 4, the transmit key flagged.
int DeviceAdapter::SetWepKey(void*, uint32_t index, const uint8_t* key, uint32_t length, uint32_t isTx) {
  constexpr uint32_t kTransmitKey = 0x80000000u;
  constexpr size_t kHeaderBytes = 12;
  if (key == nullptr || index < 1 || index > 4 || (length != 5 && length != 13)) return 1;
  std::vector<uint8_t> record(kHeaderBytes + length);
  const uint32_t words[3] = {static_cast<uint32_t>(record.size()), (index - 1) | (isTx != 0 ? kTransmitKey : 0), length};
  std::memcpy(record.data(), words, sizeof words);
  std::memcpy(record.data() + kHeaderBytes, key, length);
  return Set(kOidAddWep, std::move(record));  // wiped there
}

void DeviceAdapter::WPAPortDown() {
  std::lock_guard lock(supplicantMutex_);
  if (supplicant_) supplicant_->PortDown();
}

const SupplicantHost* DeviceAdapter::Supplicant() {
  std::lock_guard lock(supplicantMutex_);
  return supplicant_.get();
}

void DeviceAdapter::WatchEvents(int event, int removal, int hangup, int stop) {
  for (;;) {
    // The hang-up is waited for without reading: the connection's replies are not ours.
    pollfd polled[4] = {{event, POLLIN, 0}, {removal, POLLIN, 0}, {hangup, 0, 0}, {stop, POLLIN, 0}};
    if (poll(polled, 4, -1) < 0) continue;
    if (polled[3].revents != 0) break;
    uint64_t count;
    if (polled[0].revents != 0) {
      [[maybe_unused]] const ssize_t drained = read(event, &count, sizeof count);
      ReadRing();
    }
    if (polled[1].revents != 0 || polled[2].revents != 0) {
      // The adapter goes away: tell the utility and let the driver finish (it waits for the close).
      notifier_.Post(HLVN_EVENT_ADAPTER_REMOVED);
      std::lock_guard lock(deviceMutex_);
      device_.reset();
      break;
    }
  }
  close(event);
  close(removal);
  close(hangup);
}

std::optional<std::vector<uint8_t>> DeviceAdapter::Query(uint32_t oid, uint32_t capacity,
                                                         std::vector<uint8_t> input) {
  std::vector<uint8_t> request = Word(oid);
  request.insert(request.end(), input.begin(), input.end());
  std::lock_guard lock(deviceMutex_);
  if (!device_) return std::nullopt;
  auto reply = device_->ioctl(IOCTL_HLVN_QUERY_OID, request, 4 + capacity);
  if (!reply.answered || reply.status != 0 || reply.output.size() < 4 || WordAt(reply.output, 0) != 0) {
    return std::nullopt;
  }
  return std::vector<uint8_t>(reply.output.begin() + 4, reply.output.end());
}

// A set may carry a key record (ADD_KEY, ADD_WEP, the SwiftBond security, a CCKM element):
// both copies are wiped, and the request is made at its size so no growth leaves one behind.
int DeviceAdapter::Set(uint32_t oid, std::vector<uint8_t> data) {
  std::vector<uint8_t> request(std::max<size_t>(8, 4 + data.size()));  // the device takes no set shorter than 8 bytes
  std::memcpy(request.data(), &oid, 4);
  std::copy(data.begin(), data.end(), request.begin() + 4);
  Wipe(data);
  int result = 1;
  {
    std::lock_guard lock(deviceMutex_);
    if (device_) {
      const auto reply = device_->ioctl(IOCTL_HLVN_SET_OID, request, 4);
      result = reply.answered && reply.status == 0 && WordAt(reply.output, 0) == 0 ? 0 : 1;
    }
  }
  Wipe(request);
  return result;
}

int DeviceAdapter::QueryWord(uint32_t oid, uint32_t& value) {
  std::optional<std::vector<uint8_t>> answer = Query(oid, 4);
  if (!answer || answer->empty()) return 1;
  value = 0;
  std::memcpy(&value, answer->data(), std::min<size_t>(answer->size(), 4));
  return 0;
}

int DeviceAdapter::SetWord(uint32_t oid, uint32_t value) { return Set(oid, Word(value)); }

int DeviceAdapter::QueryRecord(uint32_t oid, void* record, uint32_t size) {
  if (record == nullptr) return 1;
  std::optional<std::vector<uint8_t>> answer = Query(oid, size);
  if (!answer || answer->size() != size) return 1;
  std::memcpy(record, answer->data(), size);
  return 0;
}

int DeviceAdapter::SetSsid(void*, const char* ssid, uint32_t length, uint32_t) {
  if (ssid == nullptr || length > 32) return 1;
  std::vector<uint8_t> record = Word(length);
  record.resize(36);
  std::memcpy(record.data() + 4, ssid, length);
  return Set(kOidSsid, record);
}



int DeviceAdapter::QueryScanListLength(void*, uint8_t* buffer, uint32_t size, uint32_t& length) {
  if (buffer == nullptr || size < 4) return -1;
  std::optional<std::vector<uint8_t>> list = Query(OID_HLVN_SCAN_LIST, size);
  if (!list || list->size() > size) return -1;
  std::memcpy(buffer, list->data(), list->size());
  length = static_cast<uint32_t>(list->size());
  return 0;
}

// Through the control device the BSSID list comes in the library's own 152-byte records.
int DeviceAdapter::QueryScanList(void*, uint8_t* buffer, uint32_t size) {
  if (buffer == nullptr || size < 4) return 1;
  std::optional<std::vector<uint8_t>> list = Query(kOidBssidList, size);
  if (!list || list->size() < 4 || list->size() > size) return 1;
  std::memset(buffer, 0, size);
  std::memcpy(buffer, list->data(), list->size());
  return 0;
}

int DeviceAdapter::GetConnectStatus(void*) {
  uint32_t status = 1;
  if (QueryWord(kOidMediaConnectStatus, status) != 0) return 0;
  return status == 0 ? 1 : 0;  // NDIS: 0 connected
}

int DeviceAdapter::GetMacAddress(void*, uint8_t* buffer, uint32_t size) {
  if (buffer == nullptr || size < 6) return 1;
  std::optional<std::vector<uint8_t>> address = Query(kOidCurrentAddress, 6);
  if (!address || address->size() != 6) return 1;
  std::memcpy(buffer, address->data(), 6);
  return 0;
}

int DeviceAdapter::QueryDeviceDesc(void*, char* buffer, uint32_t size) {
  std::optional<std::vector<uint8_t>> text = Query(kOidVendorDescription, 256);
  if (!text) return 1;
  return CopyText(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()), buffer, size) ? 0 : 1;
}

int DeviceAdapter::QueryChipVersion(void*, uint32_t& value) { return QueryWord(OID_HLVN_HW_VERSION, value); }
int DeviceAdapter::QueryFirmwareVersion(void*, uint32_t& value) { return QueryWord(kOidVendorDriverVersion, value); }
int DeviceAdapter::QueryRegionCode(void*, uint32_t& value) { return QueryWord(OID_HLVN_REGION_CODE, value); }

int DeviceAdapter::QueryRadioControl(void*, uint32_t& value) { return QueryWord(OID_HLVN_RADIO_ON, value); }
int DeviceAdapter::SetRadioControl(void*, uint32_t value) {
  return SetWord(value != 0 ? OID_HLVN_RADIO_ON : OID_HLVN_RADIO_OFF, 0);
}
int DeviceAdapter::QueryPowerMode(void*, uint32_t& v) { return QueryWord(kOidPowerMode, v); }
int DeviceAdapter::SetPowerMode(void*, uint32_t v) { return SetWord(kOidPowerMode, v); }
int DeviceAdapter::QueryPreamble(void*, uint32_t& v) { return QueryWord(OID_HLVN_PREAMBLE, v); }
int DeviceAdapter::SetPreamble(void*, uint32_t v) { return SetWord(OID_HLVN_PREAMBLE, v); }
int DeviceAdapter::QueryTxPower(void*, uint32_t& v) { return QueryWord(OID_HLVN_TX_POWER, v); }
int DeviceAdapter::SetTxPower(void*, uint32_t v) { return SetWord(OID_HLVN_TX_POWER, v); }
int DeviceAdapter::QueryTxAntenna(void*, uint32_t& v) { return QueryWord(kOidTxAntenna, v); }
int DeviceAdapter::SetTxAntenna(void*, uint32_t v) { return SetWord(kOidTxAntenna, v); }
int DeviceAdapter::QueryRxAntenna(void*, uint32_t& v) { return QueryWord(kOidRxAntenna, v); }
int DeviceAdapter::SetRxAntenna(void*, uint32_t v) { return SetWord(kOidRxAntenna, v); }
int DeviceAdapter::QueryFragThreshold(void*, uint32_t& v) { return QueryWord(kOidFragmentationThreshold, v); }
int DeviceAdapter::SetFragThreshold(void*, uint32_t v) { return SetWord(kOidFragmentationThreshold, v); }
int DeviceAdapter::QueryRTSThreshold(void*, uint32_t& v) { return QueryWord(kOidRtsThreshold, v); }
int DeviceAdapter::SetRTSThreshold(void*, uint32_t v) { return SetWord(kOidRtsThreshold, v); }
int DeviceAdapter::QueryNetworkMode(void*, uint32_t& v) { return QueryWord(kOidInfrastructureMode, v); }
int DeviceAdapter::SetNetworkMode(void*, uint32_t v) { return SetWord(kOidInfrastructureMode, v); }
int DeviceAdapter::QueryWlanMode(void*, uint32_t& v) { return QueryWord(OID_HLVN_WLAN_MODE, v); }
int DeviceAdapter::SetWlanMode(void*, uint32_t v) { return SetWord(OID_HLVN_WLAN_MODE, v); }
int DeviceAdapter::SetChannel(void*, uint32_t v) { return SetWord(OID_HLVN_CHANNEL, v); }
int DeviceAdapter::QueryChannel(void*, uint32_t& v) { return QueryWord(OID_HLVN_CHANNEL, v); }

int DeviceAdapter::QuerySsid(void*, char* buffer, uint32_t size) {
  std::optional<std::vector<uint8_t>> record = Query(kOidSsid, 36);
  if (!record || record->size() != 36) return 1;
  const uint32_t length = std::min<uint32_t>(WordAt(*record, 0), 32);
  return CopyText(std::string_view(reinterpret_cast<const char*>(record->data() + 4), length), buffer, size) ? 0 : 1;
}

int DeviceAdapter::QueryBssid(void*, uint8_t* buffer, uint32_t size) {
  if (buffer == nullptr || size < 6) return 1;
  std::optional<std::vector<uint8_t>> bssid = Query(kOidBssid, 6);
  if (!bssid || bssid->size() != 6) return 1;
  std::memcpy(buffer, bssid->data(), 6);
  return 0;
}

// The SwiftBond records cross the device as they are: the driver reads the same layouts.
int DeviceAdapter::SetSBSecurityInfo(void*, const HLVN_SWIFTBOND_SEC_INFO* r) {
  if (r == nullptr) return 1;
  const auto* bytes = reinterpret_cast<const uint8_t*>(r);
  return Set(OID_HLVN_SWIFTBOND_SECURITY, std::vector<uint8_t>(bytes, bytes + sizeof *r));
}
int DeviceAdapter::SetSBSetupRequest(void*, const HLVN_SWIFTBOND_SETUP_REQ* r) {
  if (r == nullptr) return 1;
  const auto* bytes = reinterpret_cast<const uint8_t*>(r);
  return Set(OID_HLVN_SWIFTBOND_SETUP, std::vector<uint8_t>(bytes, bytes + sizeof *r));
}
int DeviceAdapter::QuerySwiftBondAPInfo(void*, HLVN_SWIFTBOND_AP_INFO* r) {
  return QueryRecord(OID_HLVN_SWIFTBOND_AP_INFO, r, sizeof *r);
}
int DeviceAdapter::SetDisassociate(void*) { return Set(kOidDisassociate, {}); }
int DeviceAdapter::QueryAuthMode(void*, uint32_t& v) { return QueryWord(kOidAuthenticationMode, v); }
int DeviceAdapter::SetAuthMode(void*, uint32_t v) { return SetWord(kOidAuthenticationMode, v); }
int DeviceAdapter::QueryWepStatus(void*, uint32_t& v) { return QueryWord(kOidEncryptionStatus, v); }
int DeviceAdapter::SetWepStatus(void*, uint32_t v) { return SetWord(kOidEncryptionStatus, v); }
int DeviceAdapter::Scan(void*) { return Set(kOidBssidListScan, {}); }
// The directed scan before a join: without it, connecting with a profile stopped at its first
// step (the base's answer, 1).
int DeviceAdapter::SsidScan(void*, const ZELCON_SSID_SCAN* r) {
  if (r == nullptr) return 1;
  const auto* bytes = reinterpret_cast<const uint8_t*>(r);
  return Set(OID_HLVN_SCAN_SSID, std::vector<uint8_t>(bytes, bytes + sizeof *r));
}
int DeviceAdapter::QueryRssi(void*, uint32_t& v) { return QueryWord(kOidRssi, v); }
int DeviceAdapter::QueryLinkSpeed(void*, uint32_t& v) { return QueryWord(kOidLinkSpeed, v); }
int DeviceAdapter::QueryStatistics(void*, NDIS_802_11_STATISTICS* r) { return QueryRecord(kOidStatistics, r, sizeof *r); }
int DeviceAdapter::QueryBeaconStatistics(void*, BEACON_STATS* r) {
  return QueryRecord(OID_HLVN_BEACON_STATISTICS, r, sizeof *r);
}
int DeviceAdapter::QueryRssiStat(void*, RSSI_STATS* r) { return QueryRecord(OID_HLVN_RSSI_STATISTICS, r, sizeof *r); }
int DeviceAdapter::ResetStatistics(void*) { return Set(OID_HLVN_RESET_STATISTICS, {}); }

int DeviceAdapter::QueryMacRegister(void*, uint32_t index, uint32_t& value) {
  if (index > 0xFFFF) return 1;
  std::vector<uint8_t> offset = Word(index);
  std::optional<std::vector<uint8_t>> answer = Query(OID_HLVN_MAC_REGISTER, 4, offset);
  if (!answer || answer->size() != 4) return 1;
  value = WordAt(*answer, 0);
  return 0;
}

int DeviceAdapter::SetMacRegister(void*, uint32_t index, uint32_t value) {
  if (index > 0xFFFF) return 1;
  std::vector<uint8_t> record = Word(index);
  const std::vector<uint8_t> data = Word(value);
  record.insert(record.end(), data.begin(), data.end());
  return Set(OID_HLVN_MAC_REGISTER, record);
}

int DeviceAdapter::QueryChannelRange(void*, uint32_t& v) { return QueryWord(OID_HLVN_CHANNEL_RANGE, v); }
int DeviceAdapter::SetChannelRange(void*, uint32_t v) { return SetWord(OID_HLVN_CHANNEL_RANGE, v); }
int DeviceAdapter::QuerySignalThreshold(void*, uint32_t& v) { return QueryWord(OID_HLVN_SIGNAL_THRESHOLD, v); }
int DeviceAdapter::SetSignalThreshold(void*, uint32_t v) { return SetWord(OID_HLVN_SIGNAL_THRESHOLD, v); }
int DeviceAdapter::QueryTxFailThreshold(void*, uint32_t& v) { return QueryWord(OID_HLVN_TX_FAIL_THRESHOLD, v); }
int DeviceAdapter::SetTxFailThreshold(void*, uint32_t v) { return SetWord(OID_HLVN_TX_FAIL_THRESHOLD, v); }

}  // namespace zelcon
