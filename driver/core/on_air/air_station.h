#pragma once
// The whole driver over the simulated chip, the chip on a simulated air described by a world
// file, every frame recorded to a pcap: for tests that connect the station the way NDIS
// drives it, in virtual time.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/air/testing/tshark_dissect.h"
#include "driver/core/core_adapter.h"
#include "driver/entry/testing/driver_harness.h"
#include "platform/ndis/ntddndis.h"
#include "sim/air/air_world.h"
#include "sim/air/pcap_recorder.h"
#include "sim/air/world_file.h"

namespace zelnic::core::testing {

// An NDIS_802_11_WEP record: Length, KeyIndex, KeyLength, the key.
inline std::vector<std::uint8_t> AddWepRecord(std::uint32_t index, const std::vector<std::uint8_t>& key) {
  std::vector<std::uint8_t> record(12 + key.size());
  const std::uint32_t header[] = {static_cast<std::uint32_t>(record.size()), index, static_cast<std::uint32_t>(key.size())};
  std::memcpy(record.data(), header, sizeof header);
  std::memcpy(record.data() + 12, key.data(), key.size());
  return record;
}

inline std::string MacText(const simair::MacAddress& mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

// One open access point on channel 6.
inline const std::string kOpenWorld =
    "ap open\n bssid 02:5a:4c:00:00:01\n ssid \"Zelnet Open\"\n channel 6\n signal -50\n";

// tshark reads the pcaps.
using simair::testing::Dissect;
using simair::testing::SplitRow;

// The data frames `station` sent in the pcap (and `filter` keeps), as tshark decrypts them with
// one 802.11 key entry (like "wep","0a1b2c3d4e" or "wpa-pwd","pass:ssid"): each must be
// protected and well formed; their payloads in hex, in order.
std::vector<std::string> TsharkDecryptedPayloads(const std::string& pcap, const simair::MacAddress& station,
                                                 const std::string& keyEntry, const std::string& filter = "");

class AirStation : public ::testing::Test {
protected:
  // Starts the driver, then the world (the `station` line is added: the chip's address).
  void StartWorld(const std::string& worldText, const std::string& pcapName = "");

  // The NDIS sets and queries of a connection.
  ndis::OidResult SetSsid(const std::string& ssid, std::chrono::milliseconds wait = std::chrono::seconds(10));
  ndis::OidResult SetWord(NDIS_OID oid, ULONG value);
  ndis::OidResult Query(NDIS_OID oid, std::size_t length = 64);
  void Advance(std::chrono::milliseconds duration) { h.advance(duration); }

  // Media connect and disconnect indications since the last call, as 'C' and 'D'.
  std::string MediaEvents();
  simair::AccessPoint& Ap(std::size_t index) { return world->accessPoint(index); }
  simair::MacAddress StationAddress() const { return h.chip.identity().mac; }

  // The utility's side: the control device opened with an event registered (the utility is
  // attached from then on), and the event ring's unread records, oldest first.
  struct UtilityEvent {
    std::uint32_t code;
    std::vector<std::uint8_t> payload;
  };
  std::optional<ndis::NdisHost::DeviceHandle> AttachUtility();
  std::vector<UtilityEvent> ReadUtilityEventRing(ndis::NdisHost::DeviceHandle device);

  void TearDown() override;

  zelnic::testing::DriverHarness h;
  CoreAdapter* core = nullptr;
  std::string pcapPath;
  std::unique_ptr<simair::PcapRecorder> recorder;
  std::unique_ptr<simair::AirWorld> world;
};

}  // namespace zelnic::core::testing
