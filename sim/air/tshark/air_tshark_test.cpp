// tshark as the oracle of the simulated air: pcaps recorded from access points, a station's
// frames and power save are dissected without malformed packets, and the decoded fields are
// the ones the access points were given. One tshark call per pcap; the cases are a table.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>

#include "sim/air/access_point.h"
#include "sim/air/air_world.h"
#include "sim/air/medium.h"
#include "sim/air/pcap_recorder.h"
#include "sim/air/sniffer.h"
#include "sim/air/testing/tshark_dissect.h"

namespace simair {
namespace {

using namespace std::chrono_literals;
using dot11::FrameType;

const MacAddress kStation{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01};

// tshark shows an SSID as hex digits.
std::string Hex(std::string_view text) {
  std::string hex;
  char digits[3];
  for (unsigned char c : text) {
    std::snprintf(digits, sizeof digits, "%02x", c);
    hex += digits;
  }
  return hex;
}

std::string Pcap(const std::string& name) { return simair::testing::TempPcapPath("simair_" + name); }

World Parsed(const std::string& text) {
  std::string error;
  auto world = ParseWorld(text, error);
  EXPECT_TRUE(world) << error;
  return world ? std::move(*world) : World{};
}

// A station radio that sends the frames a case wants and hears what comes back.
class Station final : public Radio {
public:
  explicit Station(std::uint8_t channel) : channel_(channel) {}
  MacAddress address() const override { return kStation; }
  std::uint8_t channel() const override { return channel_; }
  bool radioOn() const override { return true; }
  void receive(const AirFrame&, const Reception&) override {}

private:
  std::uint8_t channel_;
};

void SendManagement(Medium& medium, Station& station, std::uint8_t subtype, const MacAddress& to,
                    const MacAddress& bssid, const dot11::Bytes& body, std::uint8_t flags = 0) {
  dot11::FrameWriter w;
  w.header(FrameType::Management, subtype, flags, to, kStation, bssid, 7);
  w.raw(body);
  medium.transmit(station, {w.take(), station.channel(), 2});
}

// The demo office for 250 ms, recorded by the medium (radiotap).
std::string RecordOffice() {
  std::string error;
  auto world = LoadWorldFile(std::string(SIMAIR_WORLDS_DIR) + "/office.world", error);
  EXPECT_TRUE(world) << error;
  ndis::Scheduler scheduler;
  auto recorder = PcapRecorder::Create(Pcap("office"), PcapLinkType::Radiotap, error);
  AirWorld air(scheduler, *world, recorder.get());
  scheduler.runFor(250ms);
  return Pcap("office");
}

// A hidden WPA/WPA2 network and an IBSS peer, heard by a sniffer (bare 802.11); the station
// probes for the hidden SSID.
std::string RecordHiddenWithSniffer() {
  std::string error;
  const World world = Parsed(
      "ap hidden\n bssid 02:5a:4c:00:02:01\n ssid \"Zelnet Hidden\"\n hidden\n channel 3\n"
      " security wpa-wpa2-psk\n passphrase \"a pass phrase\"\n"
      "ap adhoc\n bssid 02:5a:4c:00:02:02\n ssid zel-adhoc\n ibss\n channel 3\n rates 1b 2b 5.5b 11b\n");
  ndis::Scheduler scheduler;
  auto recorder = PcapRecorder::Create(Pcap("hidden"), PcapLinkType::Ieee80211, error);
  AirWorld air(scheduler, world, nullptr);
  Sniffer sniffer(air.medium(), {0x02, 0x99, 0, 0, 0, 1}, 3, *recorder);
  Station station(3);
  air.medium().join(station);
  scheduler.runFor(50ms);
  const dot11::Bytes probe{0, 13, 'Z', 'e', 'l', 'n', 'e', 't', ' ', 'H', 'i', 'd', 'd', 'e', 'n', 1, 4, 0x82, 0x84, 0x8B, 0x96};
  SendManagement(air.medium(), station, dot11::subtype::ProbeRequest, dot11::kBroadcast, dot11::kBroadcast, probe);
  scheduler.runFor(200ms);
  air.medium().leave(station);
  return Pcap("hidden");
}

// A station joins an open access point, dozes, a frame waits for it, and a PS-Poll takes it.
std::string RecordPowerSave() {
  std::string error;
  ndis::Scheduler scheduler;
  Medium medium(scheduler);
  auto recorder = PcapRecorder::Create(Pcap("powersave"), PcapLinkType::Radiotap, error);
  medium.setRecorder(recorder.get(), kStation);
  AccessPointConfig config;
  config.bssid = {0x02, 0x5a, 0x4c, 0, 0, 9};
  config.ssid = "ps";
  config.channel = 13;
  AccessPoint ap(scheduler, medium, config);
  ap.start();
  Station station(13);
  medium.join(station);
  SendManagement(medium, station, dot11::subtype::Authentication, config.bssid, config.bssid, {0, 0, 1, 0, 0, 0});
  scheduler.runFor(5ms);
  SendManagement(medium, station, dot11::subtype::AssociationRequest, config.bssid, config.bssid,
                 {0x01, 0x00, 0x0A, 0x00, 0, 2, 'p', 's', 1, 1, 0x82});
  scheduler.runFor(5ms);
  dot11::FrameWriter nullData;
  nullData.header(FrameType::Data, dot11::subtype::NullData, dot11::flag::ToDs | dot11::flag::PowerManagement,
                  config.bssid, kStation, config.bssid, 8);
  medium.transmit(station, {nullData.take(), 13, 2});
  scheduler.runFor(5ms);
  ap.sendData(kStation, {0x02, 0, 0, 0, 0, 0x55}, {0xAA, 0xAA, 0x03, 0, 0, 0, 0x88, 0xB5, 1, 2, 3});
  ap.sendData(kStation, {0x02, 0, 0, 0, 0, 0x55}, {0xAA, 0xAA, 0x03, 0, 0, 0, 0x88, 0xB5, 4, 5, 6});
  scheduler.runFor(100ms);  // a beacon with the TIM bit
  dot11::FrameWriter poll;
  poll.u8(0xA4);
  poll.u8(dot11::flag::PowerManagement);
  poll.u16(0xC001);
  poll.address(config.bssid);
  poll.address(kStation);
  medium.transmit(station, {poll.take(), 13, 2});
  scheduler.runFor(5ms);
  medium.leave(station);
  return Pcap("powersave");
}

struct Case {
  const char* name;
  std::function<std::string()> record;
  std::vector<std::string> fields;
  std::vector<std::string> expectedRows;  // each must start one decoded row
};

TEST(AirInTshark, RecordedFramesDissectCleanlyWithTheFieldsTheAccessPointsWereGiven) {
  const Case cases[] = {
      {"office beacons (radiotap)",
       RecordOffice,
       {"wlan.fc.type_subtype", "wlan.bssid", "wlan.ssid", "wlan.ds.current_channel", "radiotap.channel.freq",
        "radiotap.dbm_antsignal", "radiotap.datarate", "wlan.fixed.capabilities.privacy", "wlan.supported_rates",
        "wlan.rsn.pcs.type", "wlan.rsn.akms.type", "wlan.tim.dtim_period"},
       {"|0x0008|02:5a:4c:00:00:01|" + Hex("Zelnet Guest") + "|1|2412|-48|1|0|0x82,0x84,0x8b,0x96,0x0c,0x12,0x18,0x24|||1",
        "|0x0008|02:5a:4c:00:00:02|" + Hex("Zelnet Workshop") + "|6|2437|-67|1|1|0x82,0x84,0x0b,0x16|||1",
        "|0x0008|02:5a:4c:00:00:03|" + Hex("Zelnet Office") + "|11|2462|-55|1|1|0x82,0x84,0x8b,0x96,0x0c,0x12,0x18,0x24|4|2|2"}},
      {"hidden network and IBSS peer (802.11, sniffer)",
       RecordHiddenWithSniffer,
       {"wlan.fc.type_subtype", "wlan.bssid", "wlan.ssid", "wlan.fixed.capabilities.ess",
        "wlan.fixed.capabilities.ibss", "wlan.rsn.gcs.type", "wlan.wfa.ie.wpa.ucs.type"},
       {"|0x0008|02:5a:4c:00:02:01|<MISSING>|1|0|2|2",  // the hidden SSID: an empty element
        "|0x0004|ff:ff:ff:ff:ff:ff|" + Hex("Zelnet Hidden") + "||||",
        "|0x0005|02:5a:4c:00:02:01|" + Hex("Zelnet Hidden") + "|1|0|2|2",
        "|0x0008|02:5a:4c:00:02:02|" + Hex("zel-adhoc") + "|0|1||"}},
      {"power save (radiotap)",
       RecordPowerSave,
       {"wlan.fc.type_subtype", "wlan.fc.pwrmgt", "wlan.fc.moredata", "wlan.fixed.status_code", "wlan.fixed.aid",
        "wlan.tim.bmapctl.offset", "wlan.tim.partial_virtual_bitmap", "wlan.seq", "wlan.frag"},
       {"|0x0001|0|0|0x0000|0x0001|||2|0",  // association response: success, AID 1
        "|0x0024|1|0|||||8|0",             // the station's null data with PM set
        "|0x0008|0|0|||0x00|02|3|0",       // the beacon after: AID 1's bit in the TIM
        "|0x001a|1|0||||||",               // PS-Poll
        "|0x0020|0|1|||||4|0",             // the first frame, More Data
        }},
  };
  for (const Case& c : cases) {
    const std::string pcap = c.record();
    const std::vector<std::string> rows = testing::Dissect(pcap, "", c.fields);
    ASSERT_FALSE(rows.empty()) << c.name;
    for (const std::string& row : rows) EXPECT_EQ(row.rfind("|", 0), 0u) << c.name << ": malformed or error: " << row;
    const std::set<std::string> decoded(rows.begin(), rows.end());
    for (const std::string& expected : c.expectedRows) {
      bool found = false;
      for (const std::string& row : decoded) found = found || row.find(expected) == 0;
      EXPECT_TRUE(found) << c.name << ": no row starting " << expected << "\nrows:\n" << [&] {
        std::string all;
        for (const std::string& row : decoded) all += row + "\n";
        return all;
      }();
    }
    std::filesystem::remove(pcap);
  }
}

}  // namespace
}  // namespace simair
