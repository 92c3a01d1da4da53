#include "driver/core/on_air/air_station.h"

#include <cstring>

#include "driver/entry/testing/ioctl_words.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/control_device.h"
#include "driver/ndis/private_oids.h"
#include "driver/ndis/utility_events.h"

namespace zelnic::core::testing {

void AirStation::StartWorld(const std::string& worldText, const std::string& pcapName) {
  ASSERT_EQ(h.start(), NDIS_STATUS_SUCCESS);
  core = h.core();
  // What the protocols' packet-filter set does: the chip layer may transmit from now on.
  h.run([&] { hal::ResumeTransmission(h.hal()); });
  std::string error;
  auto parsed = simair::ParseWorld("station " + MacText(StationAddress()) + "\n" + worldText, error);
  ASSERT_TRUE(parsed) << error;
  if (!pcapName.empty()) {
    pcapPath = simair::testing::TempPcapPath("zelnic_" + pcapName);
    recorder = simair::PcapRecorder::Create(pcapPath, simair::PcapLinkType::Radiotap, error);
    ASSERT_TRUE(recorder) << error;
  }
  world = std::make_unique<simair::AirWorld>(h.scheduler, *parsed, recorder.get());
  h.chip.attachAir(world->medium());
  h.host->takeStatus();
}

void AirStation::TearDown() {
  // Exactly one completion for each pended set: an unmatched one is a fault.
  EXPECT_TRUE(h.host->spurious().empty()) << h.host->spurious().size() << " unmatched completions";
  if (core != nullptr) h.halt();
  h.chip.detachAir();
  world.reset();
  recorder.reset();
}

std::vector<std::string> TsharkDecryptedPayloads(const std::string& pcap, const simair::MacAddress& station,
                                                 const std::string& keyEntry, const std::string& filter) {
  const std::string keys = "-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:" + keyEntry + "'";
  const auto rows = Dissect(pcap, "wlan.sa == " + MacText(station) + " && wlan.fc.type == 2" +
                                      (filter.empty() ? "" : " && " + filter),
                            {"wlan.fc.protected", "data.data"}, keys);
  std::vector<std::string> payloads;
  for (const std::string& row : rows) {
    const auto fields = SplitRow(row);
    EXPECT_EQ(fields.size(), 3u) << row;
    if (fields.size() != 3) continue;
    EXPECT_EQ(fields[0], "") << "malformed: " << row;
    EXPECT_EQ(fields[1], "1") << row;
    payloads.push_back(fields[2]);
  }
  return payloads;
}

ndis::OidResult AirStation::SetSsid(const std::string& ssid, std::chrono::milliseconds wait) {
  std::vector<std::uint8_t> record(4 + ssid.size());
  const auto length = static_cast<ULONG>(ssid.size());
  std::memcpy(record.data(), &length, 4);
  std::memcpy(record.data() + 4, ssid.data(), ssid.size());
  return h.host->set(OID_802_11_SSID, record, wait);
}

ndis::OidResult AirStation::SetWord(NDIS_OID oid, ULONG value) {
  std::uint8_t bytes[4];
  std::memcpy(bytes, &value, 4);
  return h.host->set(oid, bytes);
}

ndis::OidResult AirStation::Query(NDIS_OID oid, std::size_t length) { return h.host->query(oid, length); }

std::optional<ndis::NdisHost::DeviceHandle> AirStation::AttachUtility() {
  auto device = h.host->openDevice(u"HlvnDev0");
  if (!device) return std::nullopt;
  HANDLE event = h.host->createEvent();
  const auto handle = static_cast<std::uint32_t>(reinterpret_cast<ULONG_PTR>(event));
  if (h.host->deviceIoControl(*device, IOCTL_HLVN_REGISTER_EVENT, zelnic::testing::Words({handle}), 0).status !=
      STATUS_SUCCESS) {
    return std::nullopt;
  }
  return device;
}

std::vector<AirStation::UtilityEvent> AirStation::ReadUtilityEventRing(ndis::NdisHost::DeviceHandle device) {
  using zelnic::testing::WordAt;
  const auto reply = h.host->deviceIoControl(device, IOCTL_HLVN_QUERY_OID, zelnic::testing::Words({OID_HLVN_EVENT_RING}),
                                             4 + kUtilityEventReadSize);
  std::vector<UtilityEvent> events;
  for (std::uint32_t i = 0; i < WordAt(reply.output, 4); ++i) {
    const std::size_t record = 8 + i * kUtilityEventRecordSize;
    const auto payload = reply.output.begin() + static_cast<std::ptrdiff_t>(record + 12);
    events.push_back({WordAt(reply.output, record + 4), {payload, payload + WordAt(reply.output, record + 8)}});
  }
  return events;
}

std::string AirStation::MediaEvents() {
  std::string events;
  for (const auto& s : h.host->takeStatus()) {
    if (s.status == NDIS_STATUS_MEDIA_CONNECT) events += 'C';
    if (s.status == NDIS_STATUS_MEDIA_DISCONNECT) events += 'D';
  }
  return events;
}

}  // namespace zelnic::core::testing
