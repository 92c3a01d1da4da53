// The frame counters NDIS reads: a send completed as sent counts in OID_GEN_XMIT_OK, one
// completed as failed (a protected frame without its key) in OID_GEN_XMIT_ERROR, never both;
// a received frame indicated counts in OID_GEN_RCV_OK, one that fails its checks in
// OID_GEN_RCV_ERROR.
#include <gtest/gtest.h>

#include "driver/core/on_air/air_station.h"
#include "driver/entry/testing/ioctl_words.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;
using zelnic::testing::WordAt;

struct SendCase {
  const char* name;
  std::string world;
  std::string ssid;
  bool withoutKey;
  std::uint32_t ok, error;
};

class SendCounters : public AirStation, public ::testing::WithParamInterface<SendCase> {};

TEST_P(SendCounters, SentAndFailedSendsCountApart) {
  const SendCase& c = GetParam();
  StartWorld(c.world);
  if (c.withoutKey) h.run([&] { core->Config.wepStatus = 0; });
  ASSERT_EQ(SetSsid(c.ssid).status, NDIS_STATUS_SUCCESS);
  const simair::MacAddress to = Ap(0).address();
  const simair::MacAddress from = StationAddress();
  ndis::EthFrame frame(to.begin(), to.end());
  frame.insert(frame.end(), from.begin(), from.end());
  frame.insert(frame.end(), {0x08, 0x00, 0x45, 0x00});
  (void)h.host->send({frame});
  Advance(50ms);
  ASSERT_EQ(h.host->takeSendCompletions().size(), 1u);
  EXPECT_EQ(WordAt(Query(OID_GEN_XMIT_OK, 8).data, 0), c.ok);
  EXPECT_EQ(WordAt(Query(OID_GEN_XMIT_ERROR, 4).data, 0), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Sends, SendCounters,
    ::testing::Values(SendCase{"Open", kOpenWorld, "Zelnet Open", false, 1, 0},
                      SendCase{"WepWithoutAKey",
                               "ap wep\n bssid 02:5a:4c:00:00:02\n ssid \"Workshop\"\n channel 6\n security wep\n"
                               " wep-key 1 0102030405\n",
                               "Workshop", true, 0, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReceiveCase {
  const char* name;
  std::vector<std::uint8_t> stationKey;  // the access point's key is 01 02 03 04 05
  std::uint32_t ok, error;
};

class ReceiveCounters : public AirStation, public ::testing::WithParamInterface<ReceiveCase> {};

TEST_P(ReceiveCounters, IndicatedAndFailedFramesCountApart) {
  const ReceiveCase& c = GetParam();
  StartWorld("ap wep\n bssid 02:5a:4c:00:00:02\n ssid \"Workshop\"\n channel 6\n security wep\n"
             " wep-key 1 0102030405\n");
  h.run([&] { core->Config.wepStatus = 0; });
  ASSERT_EQ(h.host->set(OID_802_11_ADD_WEP, AddWepRecord(0x80000000u, c.stationKey)).status, NDIS_STATUS_SUCCESS);
  ASSERT_EQ(SetSsid("Workshop").status, NDIS_STATUS_SUCCESS);
  const simair::MacAddress server{0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
  ASSERT_EQ(world->distributionPort(0)->deliver({StationAddress(), server, 0x88B5, std::vector<std::uint8_t>(64, 0x5A)}),
            simair::AccessPoint::DataOutcome::Sent);
  Advance(50ms);
  EXPECT_EQ(h.host->takeReceived().size(), c.ok);
  EXPECT_EQ(WordAt(Query(OID_GEN_RCV_OK, 8).data, 0), c.ok);
  EXPECT_EQ(WordAt(Query(OID_GEN_RCV_ERROR, 4).data, 0), c.error);
}

INSTANTIATE_TEST_SUITE_P(Receives, ReceiveCounters,
                         ::testing::Values(ReceiveCase{"TheAccessPointsKey", {1, 2, 3, 4, 5}, 1, 0},
                                           ReceiveCase{"AnotherKey", {1, 2, 3, 4, 6}, 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zelnic::core::testing
