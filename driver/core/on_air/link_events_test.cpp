// What happens to a connection afterwards: the access point deauthenticates the station, goes
// silent, or fades while a stronger one of the same SSID comes up; the IBSS paths; and the
// RSN element of a WPA2 association as tshark decodes it.
#include <gtest/gtest.h>

#include <cstring>

#include "driver/core/link_monitor.h"
#include "driver/core/on_air/air_station.h"
#include "driver/core/station_state.h"
#include "driver/hal/hal_adapter.h"
#include "sim/air/distribution_port.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;

const std::string kA = "ap a\n bssid 02:00:00:00:00:0a\n ssid Zelnet\n channel 6\n";
const std::string kB = "ap b\n bssid 02:00:00:00:00:0b\n ssid Zelnet\n channel 6\n";

class LinkEvents : public AirStation {
protected:
  void Connect(const std::string& ssid = "Zelnet") {
    const auto result = SetSsid(ssid);
    ASSERT_EQ(result.status, NDIS_STATUS_SUCCESS);
    ASSERT_EQ(core->MlmeState, kMlmeAssociated);
    MediaEvents();
  }
  bool AssociatedTo(std::size_t ap) { return core->MlmeState == kMlmeAssociated && core->Bssid == Ap(ap).config().bssid; }
};

TEST_F(LinkEvents, ADeauthenticationFromTheAccessPointReconnectsToTheSameSsidWithoutACompletion) {
  StartWorld(kA + " signal -50\nat 3s a deauth\n");
  Connect();
  Advance(3s);
  // Disconnect, then the connect of the reconnection (no set waits for it).
  EXPECT_EQ(MediaEvents(), "DC");
  EXPECT_TRUE(AssociatedTo(0));
  EXPECT_TRUE(Ap(0).associated(StationAddress()));
  EXPECT_EQ(core->ConnectReason, kReasonNone);
}

TEST_F(LinkEvents, ADisassociationFromAnotherAddressIsIgnored) {
  StartWorld(kA + " signal -50\n" + kB + " signal -60\n");
  Connect();
  EXPECT_TRUE(AssociatedTo(0));
  h.run([&] { Ap(1).deauthenticate(StationAddress(), 1); });  // not its station: nothing sent
  Advance(1s);
  EXPECT_TRUE(AssociatedTo(0));
  EXPECT_EQ(MediaEvents(), "");
}

TEST_F(LinkEvents, ASilentAccessPointIsDroppedAtFortyMissedLinkMonitorPeriods) {
  StartWorld(kA + " signal -50\nat 3s a off\n");
  Connect();
  ASSERT_TRUE(h.scheduler.runUntil([&] { return !Ap(0).radioOn(); }, 5s));  // the access point goes
  Advance(3s);
  // At 20 missed periods (150 ms each) there is no other access point: still associated.
  EXPECT_EQ(core->MlmeState, kMlmeAssociated);
  EXPECT_EQ(MediaEvents(), "");
  Advance(3500ms);
  EXPECT_EQ(MediaEvents(), "D");
  EXPECT_EQ(core->LinkLost, 1);
  EXPECT_NE(core->MlmeState, kMlmeAssociated);
}

TEST_F(LinkEvents, InPowerSaveTheStationDozesBetweenBeaconsAndStaysAssociated) {
  StartWorld(kA + " signal -50\n dtim 2\n");
  Connect();
  h.run([&] { hal::SetPowerMode(h.hal(), 2); });
  Advance(10s);
  EXPECT_GT(h.chip.sleepRequests(), 0u);
  EXPECT_TRUE(Ap(0).dozing(StationAddress()));  // the null frame with the PM bit reached it
  EXPECT_TRUE(AssociatedTo(0));
  EXPECT_EQ(MediaEvents(), "");
}

// Traffic to a dozing station: the access point buffers it, the chip polls it out frame by
// frame; the station answers each batch (its frame goes with the power-management bit
// clear), and must tell the access point again before it next dozes.
TEST_F(LinkEvents, InPowerSaveEveryFrameTheAccessPointBuffersReachesTheStation) {
  StartWorld(kA + " signal -50\n dtim 2\n");
  Connect();
  simair::DistributionPort* port = world->distributionPort(0);
  ASSERT_NE(port, nullptr);
  const simair::MacAddress station = StationAddress();
  const simair::MacAddress server{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
  ndis::EthFrame reply(server.begin(), server.end());
  reply.insert(reply.end(), station.begin(), station.end());
  reply.insert(reply.end(), {0x08, 0x00});
  reply.resize(60, 0x45);
  h.run([&] { hal::SetPowerMode(h.hal(), 2); });
  (void)h.host->takeReceived();
  for (int batch = 0; batch < 3; ++batch) {
    SCOPED_TRACE("batch " + std::to_string(batch));
    ASSERT_TRUE(h.scheduler.runUntil([&] { return h.chip.dozing(); }, 10s));
    Advance(10ms);  // its null frame has reached the access point
    for (std::uint8_t i = 0; i < 20; ++i) port->deliver(simair::EthernetFrame{station, server, 0x0800, {i}});
    Advance(1s);  // the chip woke for the DTIM beacon and polled them out
    EXPECT_EQ(h.host->takeReceived().size(), 20u);
    h.host->send({reply});  // while the traffic keeps the station awake
    Advance(100ms);
    EXPECT_TRUE(port->take().has_value());
  }
  EXPECT_EQ(Ap(0).counters().dataDropped, 0u);
  EXPECT_TRUE(AssociatedTo(0));
}

struct RoamCase {
  const char* name;
  std::string bExtra;  // how the stronger access point answers
  std::size_t endsOn;  // the access point the station is associated to in the end
  const char* media;   // media indications meanwhile
};

class Roaming : public LinkEvents, public ::testing::WithParamInterface<RoamCase> {};

TEST_P(Roaming, AWeakLinkRoamsToTheStrongerAccessPointOrComesBackAfterTheRetries) {
  const RoamCase& c = GetParam();
  StartWorld(kA + " signal -50\n" + kB + " signal -90\n" + c.bExtra + "at 2s a signal -80\nat 2s b signal -45\n");
  h.run([&] { core->Config.signalThreshold = -70; });
  Connect();
  EXPECT_TRUE(AssociatedTo(0));
  // Three weak roam checks (4 s apart) find no candidate yet: the chip hears only its own
  // access point's beacons, so a scan for the SSID fills the table; three more, then the roam.
  Advance(32s);
  EXPECT_TRUE(AssociatedTo(c.endsOn)) << "bssid " << MacText(core->Bssid);
  EXPECT_EQ(MediaEvents(), c.media);
  EXPECT_EQ(core->ConnectReason, kReasonNone);
  EXPECT_EQ(core->Flags & kFlagConnecting, 0u);
}

const RoamCase kRoamCases[] = {
    {"to the stronger one", "", 1, "C"},
    {"back to the old one after three silent attempts", " silent-auth\n", 0, ""},
};

INSTANTIATE_TEST_SUITE_P(Table, Roaming, ::testing::ValuesIn(kRoamCases),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(LinkEvents, TheRsnElementOfAWpa2AssociationEndsAfterItsPmkidCountOfZero) {
  StartWorld(kA + " security wpa2-psk\n passphrase \"zelnet passphrase\"\n", "connect_wpa2");
  h.run([&] { core->Config.wepStatus = 6; });
  ASSERT_EQ(SetWord(OID_802_11_AUTHENTICATION_MODE, 7).status, NDIS_STATUS_SUCCESS);
  Connect();
  EXPECT_TRUE(Ap(0).associated(StationAddress()));  // the access point checks like hostapd
  const auto rows = Dissect(pcapPath, "wlan.fc.type_subtype == 0",
                            {"wlan.fixed.capabilities.privacy", "wlan.rsn.version", "wlan.rsn.pcs.count",
                             "wlan.rsn.akms.count", "wlan.rsn.pmkid.count", "wlan.tag.number", "wlan.tag.length"});
  ASSERT_EQ(rows.size(), 1u);
  const auto f = SplitRow(rows[0]);
  ASSERT_EQ(f.size(), 8u) << rows[0];
  EXPECT_EQ(f[0], "");
  EXPECT_EQ(f[1], "1");
  EXPECT_EQ(f[2], "1");
  EXPECT_EQ(f[3], "1");
  EXPECT_EQ(f[4], "1");
  EXPECT_EQ(f[5], "0");
  // SSID, rates, extended rates, RSN of 22 bytes: version, group, one pairwise, one AKM,
  // capabilities, PMKID count, and nothing after.
  EXPECT_EQ(f[6], "0,1,50,48");
  EXPECT_EQ(SplitRow(f[7]).size(), 1u);
  EXPECT_NE(f[7].find(",22"), std::string::npos) << f[7];
}

// The PMKIDs cached for the access point (in the list set last, or dropped from it by a later
// set) go into its RSN element; those of other access points stay out.
TEST_F(LinkEvents, TheRsnElementCarriesThePmkidsCachedForItsAccessPoint) {
  StartWorld(kA + " security wpa2-psk\n passphrase \"zelnet passphrase\"\n", "connect_wpa2_pmkid");
  h.run([&] { core->Config.wepStatus = 6; });
  ASSERT_EQ(SetWord(OID_802_11_AUTHENTICATION_MODE, 7).status, NDIS_STATUS_SUCCESS);
  const auto bssid = Ap(0).config().bssid;
  // NDIS_802_11_PMKID {Length, BSSIDInfoCount, {BSSID, PMKID}...}
  const auto pmkidList = [&](std::initializer_list<std::pair<std::uint8_t, std::uint8_t>> entries) {
    std::vector<std::uint8_t> list(8);
    for (const auto& [last, fill] : entries) {
      list.insert(list.end(), bssid.begin(), bssid.end());
      list[list.size() - 1] = last;
      list.insert(list.end(), 16, fill);
    }
    list[0] = static_cast<std::uint8_t>(list.size());
    list[4] = static_cast<std::uint8_t>(entries.size());
    return list;
  };
  const std::uint8_t own = bssid[5];
  ASSERT_EQ(h.host->set(OID_802_11_PMKID, pmkidList({{own, 0x11}})).status, NDIS_STATUS_SUCCESS);
  ASSERT_EQ(h.host->set(OID_802_11_PMKID, pmkidList({{static_cast<std::uint8_t>(own ^ 1), 0x33}, {own, 0x22}})).status,
            NDIS_STATUS_SUCCESS);
  Connect();
  EXPECT_TRUE(Ap(0).associated(StationAddress()));  // an unknown PMKID only means a full handshake
  const auto rows = Dissect(pcapPath, "wlan.fc.type_subtype == 0", {"wlan.rsn.pmkid.count", "wlan.pmkid.akms"});
  ASSERT_EQ(rows.size(), 1u);
  auto f = SplitRow(rows[0]);  // the frame's own column first
  ASSERT_EQ(f.size(), 3u) << rows[0];
  std::erase(f[2], ':');
  EXPECT_EQ(f[1], "2");
  EXPECT_EQ(f[2], "22222222222222222222222222222222,11111111111111111111111111111111");
}

TEST_F(LinkEvents, IbssJoinsAPeerMergesIntoAnotherBssidOfItAndStartsItsOwnWhenNoneIsThere) {
  StartWorld("ap peer\n bssid 02:00:00:00:00:0c\n ssid adhoc\n ibss\n channel 3\n rates 1b 2b 5.5b 11b\n"
             "ap later\n bssid 02:00:00:00:00:0d\n ssid adhoc\n ibss\n channel 3\n rates 1b 2b 5.5b 11b\n"
             "at 0s later off\nat 8s later on\n", "ibss");
  ASSERT_EQ(SetWord(OID_802_11_INFRASTRUCTURE_MODE, 0).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(core->MlmeState, kMlmeIbssIdle);
  const auto joined = SetSsid("adhoc");
  EXPECT_EQ(joined.status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(core->MlmeState, kMlmeIbssJoined);
  EXPECT_EQ(core->Bssid, Ap(0).config().bssid);
  EXPECT_EQ(MediaEvents(), "C");
  EXPECT_GT(h.chip.rings().beaconsSent, 0u);  // the station beacons for the IBSS too

  // A second BSSID of the same SSID on the channel: the station merges into it.
  Advance(10s);
  EXPECT_EQ(core->MlmeState, kMlmeIbssJoined);
  EXPECT_EQ(core->Bssid, Ap(1).config().bssid);

  const auto started = SetSsid("lonely");
  EXPECT_EQ(started.status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(core->MlmeState, kMlmeIbssStarted);
  EXPECT_EQ(core->MediaDisconnected, 1);
  const auto own = core->Bssid;
  EXPECT_NE(own, Ap(0).config().bssid);
  EXPECT_NE(own, Ap(1).config().bssid);
  Advance(1s);
  const auto rows = Dissect(pcapPath, "wlan.fc.type_subtype == 8 && wlan.bssid == " + MacText(own),
                            {"wlan.ssid", "wlan.fixed.capabilities.ibss"});
  ASSERT_FALSE(rows.empty());
  const auto f = SplitRow(rows.back());
  EXPECT_EQ(f[0], "");
  EXPECT_EQ(f[1], "6c6f6e656c79");  // "lonely"
  EXPECT_EQ(f[2], "1");
}

// The chip heard only the access point's frames while associated; the IBSS's beacons and
// data must reach it once it joins the IBSS.
TEST_F(LinkEvents, AnIbssIsJoinedAfterAnInfrastructureConnection) {
  StartWorld(kA + " signal -50\nap peer\n bssid 02:00:00:00:00:0c\n ssid adhoc\n ibss\n channel 3\n"
                  " rates 1b 2b 5.5b 11b\n signal -50\n");
  Connect();
  ASSERT_TRUE(AssociatedTo(0));
  ASSERT_EQ(SetWord(OID_802_11_INFRASTRUCTURE_MODE, 0).status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(SetSsid("adhoc").status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(core->MlmeState, kMlmeIbssJoined);
  EXPECT_EQ(core->Bssid, Ap(1).config().bssid);
  EXPECT_EQ(MediaEvents(), "DC");
  Advance(5s);  // the IBSS's beacons keep the link
  EXPECT_EQ(core->MlmeState, kMlmeIbssJoined);
  EXPECT_EQ(core->Bssid, Ap(1).config().bssid);
}

}  // namespace
}  // namespace zelnic::core::testing
