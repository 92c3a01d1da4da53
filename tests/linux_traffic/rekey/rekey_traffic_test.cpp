// Rekeys on the air while traffic flows, through the real processes: zelnicd's access point
// hands the station a new group key every 1.5 s and a new pairwise key 2.5 s after the last
// (zelnicd's timers run in real time), while ping, an echo every 5 ms, crosses the adapter's
// TAP, the driver, the air and the access point's distribution port both ways. The station is the adapter-control
// library hosting libpentrel.so, on a WPA2-Personal network and on a WPA2-Enterprise one
// (PEAP through FreeRADIUS). tshark reads the capture with the network's keys: every echo
// and every reply crossed once, nothing went in the clear once the keys were in force, and
// each transmitter's CCMP packet numbers only ever rise under one temporal key.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <optional>
#include <ostream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "hosts/zelnicd/e2e/enterprise/demo_radius.h"
#include "hosts/zelnicd/station/library_station.h"
#include "platform/cryptoapi/store_location.h"
#include "sim/air/testing/tshark_dissect.h"
#include "tests/linux_traffic/tap_paths.h"

namespace linux_traffic {
namespace {

constexpr char kPassphrase[] = "correct horse battery staple";
constexpr char kBssid[] = "02:5a:4c:00:00:03";
constexpr int kEchoes = 1600;  // one each 5 ms: 8 s of traffic, past five group and three pairwise rekeys

struct Network {
  const char* name;
  bool enterprise;
};
void PrintTo(const Network& network, std::ostream* os) { *os << network.name; }

std::string RekeyingWorld(const Network& network) {
  std::string world = std::string("station 00:1e:4d:2d:17:01\nap rekeying\n bssid ") + kBssid +
                      "\n channel 11\n signal -50\n group-rekey 1500ms\n pairwise-rekey 2500ms\n";
  if (network.enterprise)
    return world + " ssid \"Zelnet Corp\"\n security wpa2-enterprise\n radius-secret \"" +
           zelcon::testing::DemoRadiusSecret() + "\"\n";
  return world + " ssid \"Zelnet Office\"\n security wpa2-psk\n passphrase \"" + kPassphrase + "\"\n";
}

std::uint64_t Hex(const std::string& text) { return text.empty() ? 0 : std::stoull(text, nullptr, 16); }

// One data frame with a body between the station and the access point, as tshark read it.
struct DataFrame {
  std::string frame, transmitter;
  bool retry = false, isProtected = false;
  std::string packetNumber, temporalKey;
  std::string eapolType;
  std::string keyInfo;              // EAPOL-Key frames
  std::string gtkKeyId, gtk, rsc;   // a group key handed over
  std::string icmpType, icmpSeq;
};

std::vector<DataFrame> DataFrames(const std::string& pcap, const std::string& keys) {
  const std::vector<std::string> fields = {
      "frame.number", "wlan.ta", "wlan.fc.retry", "wlan.fc.protected", "wlan.ccmp.extiv", "wlan.analysis.tk",
      "eapol.type", "wlan_rsna_eapol.keydes.key_info", "wlan.rsn.ie.gtk_kde.key_id", "wlan.rsn.ie.gtk_kde.gtk", "wlan_rsna_eapol.keydes.rsc",
      "icmp.type", "icmp.seq"};
  std::vector<DataFrame> frames;
  for (const std::string& row : simair::testing::Dissect(
           pcap, std::string("(wlan.fc.type_subtype == 0x20 || wlan.fc.type_subtype == 0x28) && wlan.bssid == ") + kBssid,
           fields, keys)) {
    const std::vector<std::string> f = simair::testing::SplitRow(row);
    EXPECT_EQ(f.size(), fields.size() + 1) << row;
    if (f.size() != fields.size() + 1) continue;
    EXPECT_EQ(f[0], "") << "malformed: " << row;
    frames.push_back({f[1], f[2], f[3] == "1" || f[3] == "True", f[4] == "1" || f[4] == "True", f[5], f[6], f[7], f[8],
                      f[9], f[10], f[11], f[12], f[13]});
  }
  return frames;
}

class RekeysUnderTraffic : public ::testing::TestWithParam<Network> {
protected:
  void TearDown() override {
    if (HasFailure() && radius_) radius_->PrintLogEnd();
    unsetenv(capi::kCertRootVariable);
  }
  peers::ScratchDir dir_;
  std::optional<peers::FreeRadiusPeer> radius_;
};

TEST_P(RekeysUnderTraffic, NoFrameIsLostOrClearAndNoPacketNumberRunsBack) {
  const Network network = GetParam();
  DriverTapPath path(ZELNICD_PROGRAM, dir_.Write("rekeying.world", RekeyingWorld(network)), "", "rekeying");
  std::string keys = "-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"wpa-pwd\",\"" + std::string(kPassphrase) +
                     ":Zelnet Office\"'";
  std::string error;
  {
    zelnicd::testing::LibraryStation station(path.DevicePath(), path.RegistryRoot(), PENTREL_LIBRARY);
    if (network.enterprise) {
      zelcon::testing::StartDemoRadius(radius_, path.station(), dir_);
      ASSERT_FALSE(HasFatalFailure());
      zelcon::testing::FillUserStores(dir_, true);
      ASSERT_FALSE(HasFatalFailure());
      PROFILE_ENTRY profile = zelcon::testing::DemoProfile("Zelnet Corp PEAP");
      ASSERT_TRUE(station.JoinProfile(profile, error)) << error << "\n" << path.Log();
      zelcon::WipeProfile(profile);
    } else {
      ASSERT_TRUE(station.Join("Zelnet Office", kPassphrase, error)) << error << "\n" << path.Log();
    }
    std::string ping;
    EXPECT_EQ(peers::RunProgram({"ping", "-c", std::to_string(kEchoes), "-i", "0.005", "-W", "2", kWiredAddress}, &ping,
                                path.station().fd()),
              0)
        << ping << "\n" << path.Log();
    EXPECT_NE(ping.find(std::to_string(kEchoes) + " packets transmitted, " + std::to_string(kEchoes) + " received"),
              std::string::npos)
        << ping;
  }
  EXPECT_EQ(path.Stop(), 0) << path.Log();  // the capture is complete
  // The access point opened every frame the station sent under its keys.
  const std::string log = path.Log();
  std::smatch counts;
  ASSERT_TRUE(std::regex_search(log, counts, std::regex("data frames from stations: (\\d+) opened under their keys, (\\d+) refused")))
      << log;
  EXPECT_GE(std::stoul(counts[1]), static_cast<unsigned long>(kEchoes));
  EXPECT_EQ(counts[2], "0") << log;
  if (network.enterprise) {
    const std::string pmk = zelcon::testing::LastPmkHex(radius_->Log());
    ASSERT_EQ(pmk.size(), 64u) << "no MS-MPPE-Recv-Key in the server's log";
    keys = "-o wlan.enable_decryption:TRUE -o 'uat:80211_keys:\"wpa-psk\",\"" + pmk + "\"'";
  }

  const std::vector<DataFrame> frames = DataFrames(path.PcapPath(), keys);
  std::set<std::string> protectedFrom;                         // transmitters that have sent under a key
  std::map<std::pair<std::string, std::string>, std::uint64_t> lastPacketNumber;  // per transmitter and TK
  std::map<std::string, std::multiset<std::string>> echoes;   // ICMP type: sequence numbers
  std::map<std::string, std::string> gtkKeyIds;                // each group key: its key id
  std::map<std::string, std::uint64_t> gtkRsc;                 // each group key: the highest RSC handed with it
  std::string lastGtk;
  int pairwiseHandshakes = 0, groupHandshakes = 0;
  for (const DataFrame& f : frames) {
    if (f.transmitter == kBssid && !f.keyInfo.empty()) {
      const std::uint64_t info = Hex(f.keyInfo);
      const bool pairwise = (info & 0x0008) != 0, mic = (info & 0x0100) != 0, ack = (info & 0x0080) != 0;
      if (pairwise && ack && !mic) ++pairwiseHandshakes;
      if (!pairwise && ack) ++groupHandshakes;
    }
    if (!f.isProtected) {
      // In the clear: only 802.1X and the first 4-way handshake, before either side has a key.
      EXPECT_FALSE(f.eapolType.empty()) << "frame " << f.frame << " in the clear is not EAPOL";
      EXPECT_FALSE(protectedFrom.contains(f.transmitter)) << "frame " << f.frame << " in the clear after the keys";
      continue;
    }
    protectedFrom.insert(f.transmitter);
    ASSERT_FALSE(f.temporalKey.empty()) << "frame " << f.frame << " not decrypted";
    const auto [last, first] = lastPacketNumber.try_emplace({f.transmitter, f.temporalKey}, Hex(f.packetNumber));
    if (!first) {
      const std::uint64_t pn = Hex(f.packetNumber);
      EXPECT_TRUE(pn > last->second || (f.retry && pn == last->second))
          << "frame " << f.frame << " from " << f.transmitter << ": packet number " << pn << " after " << last->second;
      last->second = std::max(last->second, pn);
    }
    if (!f.icmpType.empty() && !f.retry) echoes[f.icmpType].insert(f.icmpSeq);
    if (!f.gtk.empty()) {
      // A group key keeps its key id, and is never handed again with a lower RSC: a new one
      // (other bytes, the other key id) may start afresh.
      const auto [id, newKey] = gtkKeyIds.try_emplace(f.gtk, f.gtkKeyId);
      EXPECT_EQ(id->second, f.gtkKeyId) << "frame " << f.frame << ": a group key under another key id";
      if (newKey && !lastGtk.empty()) {
        EXPECT_NE(gtkKeyIds[lastGtk], f.gtkKeyId) << "frame " << f.frame << ": a new group key under the old key id";
      }
      std::uint64_t& rsc = gtkRsc[f.gtk];
      EXPECT_GE(Hex(f.rsc), rsc) << "frame " << f.frame << ": a group key handed again with a lower RSC";
      rsc = std::max(rsc, Hex(f.rsc));
      lastGtk = f.gtk;
    }
  }
  EXPECT_GE(pairwiseHandshakes, 3) << "the first 4-way handshake and two rekeys";
  EXPECT_GE(lastPacketNumber.size(), 6u) << "both sides under three temporal keys";
  EXPECT_GE(groupHandshakes, 3);
  EXPECT_GE(gtkKeyIds.size(), 4u) << "the first group key and three new ones";
  // Every echo request (8) from the station and every reply (0) to it crossed the air once.
  std::multiset<std::string> all;
  for (int seq = 1; seq <= kEchoes; ++seq) all.insert(std::to_string(seq));
  EXPECT_EQ(echoes["8"], all);
  EXPECT_EQ(echoes["0"], all);
  EXPECT_EQ(protectedFrom.size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Networks, RekeysUnderTraffic,
                         ::testing::Values(Network{"Wpa2Personal", false}, Network{"PeapThroughFreeRadius", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace linux_traffic
