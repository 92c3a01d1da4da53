// The SwiftBond exchange through the whole driver: the utility's OIDs start it after an open
// association, its frames cross the simulated air to the cooperating access point, and the
// access point's answer comes back through the AP-information query.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "driver/core/on_air/air_station.h"
#include "driver/core/station_state.h"
#include "driver/core/swiftbond_core.h"
#include "driver/ndis/private_oids.h"
#include "sim/air/swiftbond_access_point.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;

const std::string kBondAp = "ap bond\n bssid 02:5a:9c:00:00:01\n ssid BondSetup\n channel 6\n signal -50\n";

std::array<std::uint8_t, 128> Block() {
  std::array<std::uint8_t, 128> b{};
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(i ^ 0x5A);
  return b;
}

class SwiftBondThroughDriver : public AirStation {
 protected:
  void ConnectAndStart(std::uint16_t keyType, std::uint16_t keyIndex) {
    simair::AttachSwiftBondResponder(Ap(0), responder);
    ASSERT_EQ(SetSsid("BondSetup").status, NDIS_STATUS_SUCCESS);
    ASSERT_EQ(core->MlmeState, kMlmeAssociated);
    std::vector<std::uint8_t> security(kSwiftBondSecurityRecordBytes, 0);
    std::memcpy(security.data() + 2, "one touch", 9);
    ASSERT_EQ(h.host->set(OID_HLVN_SWIFTBOND_SECURITY, security).status, NDIS_STATUS_SUCCESS);
    const std::vector<std::uint8_t> setup = {0, 0, 1, 0, static_cast<std::uint8_t>(keyType), 0,
                                             static_cast<std::uint8_t>(keyIndex), 0};
    ASSERT_EQ(h.host->set(OID_HLVN_SWIFTBOND_SETUP, setup).status, NDIS_STATUS_SUCCESS);
  }

  simair::SwiftBondResponder responder{"HomeNet", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}, Block()};
};

TEST_F(SwiftBondThroughDriver, TheExchangeCrossesTheAirAndTheAnswerIsReadable) {
  StartWorld(kBondAp, "swiftbond_driver");
  ConnectAndStart(2, 1);
  Advance(100ms);
  EXPECT_EQ(core->SwiftBond.exchange.State(), kSbIdle);
  EXPECT_EQ(responder.requestTypes(), (std::vector<std::uint16_t>{1, 3, 4, 2}));
  EXPECT_EQ(responder.passphrase(), "one touch");
  const auto block = Block();
  EXPECT_EQ(std::memcmp(core->SwiftBond.exchange.ReceivedBlock(), block.data(), block.size()), 0);
  const auto info = Query(OID_HLVN_SWIFTBOND_AP_INFO, kSwiftBondApInfoBytes);
  ASSERT_EQ(info.status, NDIS_STATUS_SUCCESS);
  ASSERT_GE(info.data.size(), kSwiftBondApInfoBytes);
  EXPECT_EQ(info.data[0], 7);
  EXPECT_EQ(std::string(info.data.begin() + 4, info.data.begin() + 11), "HomeNet");
  EXPECT_EQ(info.data[36], 1);
  EXPECT_EQ(info.data[51], 16);
  // tshark reads every frame of the exchange as SNAP with the maker's OUI, both ways.
  const auto rows = Dissect(pcapPath, "llc.oui == 0x025a9c", {"wlan.fc.ds", "llc.pid"});
  ASSERT_EQ(rows.size(), 8u);
  for (const std::string& row : rows) EXPECT_EQ(SplitRow(row)[0], "") << row;
}

TEST_F(SwiftBondThroughDriver, ASilentAccessPointFailsTheExchangeOnTheStepTimer) {
  StartWorld(kBondAp);
  responder.knobs().silentOnType = 3;
  ConnectAndStart(1, 0);
  Advance(150ms);
  EXPECT_EQ(core->SwiftBond.exchange.State(), kSbWaitSecurity);
  Advance(200ms);
  EXPECT_EQ(core->SwiftBond.exchange.State(), kSbFailed);
}

// A world's swiftbond access point: open and not yet configured until an exchange ends, then
// WPA-PSK with the station's pass phrase, configured; a pass phrase it cannot use fails the
// exchange and leaves it as it was.
TEST_F(SwiftBondThroughDriver, TheWorldsAccessPointTakesThePassPhraseOrRefusesOneItCannotUse) {
  StartWorld("ap bond\n bssid 02:5a:9c:00:00:01\n ssid BondSetup\n channel 6\n swiftbond\n");
  simair::SwiftBondAccessPoint* peer = world->swiftBond(0);
  ASSERT_NE(peer, nullptr);
  const auto autoLinkFlags = [&] { return Ap(0).config().vendorElements.at(0).at(5); };
  EXPECT_EQ(autoLinkFlags(), simair::kAutoLinkNotConfigured);
  ASSERT_EQ(SetSsid("BondSetup").status, NDIS_STATUS_SUCCESS);

  const struct {
    const char* passphrase;
    std::uint32_t endState;
    simair::Security security;
  } cases[] = {{"short", kSbFailed, simair::Security::Open}, {"one touch", kSbIdle, simair::Security::Wpa}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.passphrase);
    std::vector<std::uint8_t> security(kSwiftBondSecurityRecordBytes, 0);
    std::memcpy(security.data() + 2, c.passphrase, std::strlen(c.passphrase));
    ASSERT_EQ(h.host->set(OID_HLVN_SWIFTBOND_SECURITY, security).status, NDIS_STATUS_SUCCESS);
    const std::vector<std::uint8_t> start = {0, 0, 1, 0, 1, 0, 0, 0};
    ASSERT_EQ(h.host->set(OID_HLVN_SWIFTBOND_SETUP, start).status, NDIS_STATUS_SUCCESS);
    Advance(300ms);
    EXPECT_EQ(core->SwiftBond.exchange.State(), c.endState);
    EXPECT_EQ(Ap(0).config().security, c.security);
  }
  EXPECT_TRUE(peer->bonded());
  EXPECT_EQ(Ap(0).config().passphrase.reveal(), "one touch");
  EXPECT_EQ(autoLinkFlags(), simair::kAutoLinkConfigured);
  EXPECT_NE(world->keyExchange(0), nullptr);
  EXPECT_FALSE(Ap(0).associated(StationAddress()));  // the station joins the new network afresh
}

TEST_F(SwiftBondThroughDriver, AShortSecurityRecordIsRefused) {
  StartWorld(kBondAp);
  const std::vector<std::uint8_t> shortRecord(167, 0);
  EXPECT_NE(h.host->set(OID_HLVN_SWIFTBOND_SECURITY, shortRecord).status, NDIS_STATUS_SUCCESS);
}

}  // namespace
}  // namespace zelnic::core::testing
