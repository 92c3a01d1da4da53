// Data through the driver over an open association: 802.3 frames sent through the miniport
// reach the access point's distribution port as they were sent, frames from the port come up
// to NDIS as 802.3, and tshark reads the frames on the air.
#include <gtest/gtest.h>

#include <algorithm>

#include "driver/core/on_air/air_station.h"
#include "driver/entry/testing/ioctl_words.h"
#include "driver/ndis/control_device.h"
#include "driver/ndis/private_oids.h"
#include "driver/ndis/utility_events.h"
#include "sim/air/distribution_port.h"

namespace zelnic::core::testing {
namespace {

using namespace std::chrono_literals;
using zelnic::testing::Words;

const simair::MacAddress kServer{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};

ndis::EthFrame Ethernet(const simair::MacAddress& to, const simair::MacAddress& from, std::uint16_t type,
                        std::size_t payloadBytes) {
  ndis::EthFrame frame(to.begin(), to.end());
  frame.insert(frame.end(), from.begin(), from.end());
  frame.push_back(static_cast<std::uint8_t>(type >> 8));
  frame.push_back(static_cast<std::uint8_t>(type));
  for (std::size_t i = 0; i < payloadBytes; ++i) frame.push_back(static_cast<std::uint8_t>(i * 7 + 3));
  return frame;
}

class DataPath : public AirStation {
protected:
  void Connect(const std::string& pcap) {
    StartWorld(kOpenWorld, pcap);
    port = world->distributionPort(0);
    ASSERT_EQ(SetSsid("Zelnet Open").status, NDIS_STATUS_SUCCESS);
    ASSERT_EQ(MediaEvents(), "C");
    (void)h.host->takeReceived();
  }
  simair::DistributionPort* port = nullptr;  // the world's, of access point 0
};

struct SendCase {
  const char* name;
  std::uint16_t type;
  std::size_t payload;
  std::size_t bufferSize;  // NDIS buffers of the packet (0: one); small ones split the 802.3 header
};

TEST_F(DataPath, FramesSentThroughTheMiniportReachTheDistributionPortAsSent) {
  Connect("data_send");
  const SendCase cases[] = {
      {"IPv4, RFC 1042", 0x0800, 100, 0},
      {"IPX, bridge tunnel", 0x8137, 60, 0},
      {"AppleTalk ARP, bridge tunnel", 0x80F3, 28, 0},
      {"header split across buffers", 0x0800, 300, 5},
      {"largest frame", 0x86DD, 1500, 0},
      {"LLC length frame, no SNAP", 46, 46, 0},
  };
  for (const SendCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ndis::EthFrame sent = Ethernet(kServer, StationAddress(), c.type, c.payload);
    const auto ids = h.host->send({sent}, c.bufferSize);
    Advance(50ms);
    const auto completions = h.host->takeSendCompletions();
    ASSERT_EQ(completions.size(), 1u);
    EXPECT_EQ(completions[0], (ndis::SendCompletion{ids[0], NDIS_STATUS_SUCCESS}));
    const auto out = port->take();
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(out->destination, kServer);
    EXPECT_EQ(out->source, StationAddress());
    EXPECT_EQ(out->typeOrLength, c.type);
    EXPECT_EQ(out->payload, ndis::EthFrame(sent.begin() + 14, sent.end()));
  }
  EXPECT_EQ(port->refused(), 0u);

  // tshark reads the frames as the standard defines them: ToDS, BSSID first, SNAP types.
  const std::string station = MacText(StationAddress());
  const auto rows = Dissect(pcapPath, "wlan.fc.type == 2 && wlan.sa == " + station,
                            {"wlan.fc.ds", "wlan.bssid", "wlan.da", "wlan.duration", "llc.oui"});
  ASSERT_GE(rows.size(), 5u);
  for (const auto& row : rows) {
    const auto f = SplitRow(row);
    EXPECT_EQ(f[1], "0x01");
    EXPECT_EQ(f[2], "02:5a:4c:00:00:01");
    EXPECT_EQ(f[3], MacText(kServer));
    EXPECT_EQ(f[4], "258");
  }
  EXPECT_EQ(SplitRow(rows[0])[5], "0");    // RFC 1042
  EXPECT_EQ(SplitRow(rows[1])[5], "248");  // bridge tunnel (00 00 f8)
}

TEST_F(DataPath, AFrameAboveTheThresholdGoesOutInFragmentsThatJoinAtTheAccessPoint) {
  Connect("data_fragments");
  ASSERT_EQ(SetWord(OID_802_11_FRAGMENTATION_THRESHOLD, 256).status, NDIS_STATUS_SUCCESS);
  // 992 bytes of payload and 8 of SNAP: a 1000-byte body in ceiling(1000 / 228) = 5 fragments.
  const ndis::EthFrame sent = Ethernet(kServer, StationAddress(), 0x0800, 992);
  (void)h.host->send({sent}, 100);
  Advance(50ms);
  const auto completions = h.host->takeSendCompletions();
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(port->refused(), 0u);
  const auto out = port->take();
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->payload, ndis::EthFrame(sent.begin() + 14, sent.end()));

  const std::string station = MacText(StationAddress());
  const auto rows =
      Dissect(pcapPath, "wlan.fc.type == 2 && wlan.sa == " + station, {"wlan.frag", "wlan.fc.frag", "wlan.seq"});
  ASSERT_EQ(rows.size(), 5u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto f = SplitRow(rows[i]);
    EXPECT_EQ(f[1], std::to_string(i));
    EXPECT_EQ(f[2], i + 1 < rows.size() ? "1" : "0");
    EXPECT_EQ(f[3], SplitRow(rows[0])[3]);  // one sequence number
  }
}

TEST_F(DataPath, FramesFromTheDistributionSystemComeUpAs8023) {
  Connect("data_receive");
  struct ReceiveCase {
    const char* name;
    std::uint16_t type;
    std::size_t payload;
    std::uint16_t indicatedType;  // what the 802.3 header carries
    bool snapKept;
  };
  const ReceiveCase cases[] = {
      {"IPv4", 0x0800, 200, 0x0800, false},
      {"IPX by bridge tunnel", 0x8137, 40, 0x8137, false},
      {"largest frame", 0x0800, 1500, 0x0800, false},
      {"LLC length frame", 30, 30, 30, false},
  };
  for (const ReceiveCase& c : cases) {
    SCOPED_TRACE(c.name);
    simair::EthernetFrame frame{StationAddress(), kServer, c.type, {}};
    for (std::size_t i = 0; i < c.payload; ++i) frame.payload.push_back(static_cast<std::uint8_t>(i ^ 0x5A));
    ASSERT_EQ(port->deliver(frame), simair::AccessPoint::DataOutcome::Sent);
    Advance(50ms);
    const auto received = h.host->takeReceived();
    ASSERT_EQ(received.size(), 1u);
    const ndis::EthFrame expected = Ethernet(StationAddress(), kServer, c.indicatedType, 0);
    ASSERT_GE(received[0].size(), 14u);
    EXPECT_EQ(ndis::EthFrame(received[0].begin(), received[0].begin() + 14), expected);
    EXPECT_EQ(ndis::EthFrame(received[0].begin() + 14, received[0].end()), frame.payload);
  }
}

TEST_F(DataPath, AnRfc1042FrameOfABridgeTunnelProtocolComesUpAsALengthFrameWithItsSnap) {
  Connect("");
  // The access point's own SNAP choice would tunnel 0x80F3: this body is written by hand.
  const simair::dot11::Bytes body{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x80, 0xF3, 1, 2, 3, 4};
  ASSERT_EQ(Ap(0).sendData(StationAddress(), kServer, body), simair::AccessPoint::DataOutcome::Sent);
  Advance(50ms);
  const auto received = h.host->takeReceived();
  ASSERT_EQ(received.size(), 1u);
  ndis::EthFrame expected = Ethernet(StationAddress(), kServer, static_cast<std::uint16_t>(body.size()), 0);
  expected.insert(expected.end(), body.begin(), body.end());
  EXPECT_EQ(received[0], expected);
}

TEST_F(DataPath, AnEapolFrameIsPostedToTheUtilityAsEvent132AndIndicated) {
  StartWorld(kOpenWorld, "");
  port = world->distributionPort(0);
  auto device = AttachUtility();
  ASSERT_TRUE(device);
  // The utility connects, as it does when it hosts the supplicant.
  const std::string ssid = "Zelnet Open";
  std::vector<std::uint8_t> set = Words({OID_802_11_SSID, static_cast<std::uint32_t>(ssid.size())});
  set.insert(set.end(), ssid.begin(), ssid.end());
  ASSERT_EQ(h.host->deviceIoControl(*device, IOCTL_HLVN_SET_OID, set, 4).status, STATUS_SUCCESS);
  Advance(3s);
  ASSERT_TRUE(Ap(0).associated(StationAddress()));
  (void)h.host->takeReceived();
  auto readEapol = [&] {
    std::vector<ndis::EthFrame> frames;
    for (const UtilityEvent& e : ReadUtilityEventRing(*device))
      if (e.code == HLVN_EVENT_EAPOL_RECEIVED) frames.push_back(e.payload);
    return frames;
  };
  (void)readEapol();

  const simair::EthernetFrame key{StationAddress(), Ap(0).address(), 0x888E, {0x02, 0x03, 0x00, 0x02, 0xAB, 0xCD}};
  ASSERT_EQ(port->deliver(key), simair::AccessPoint::DataOutcome::Sent);
  const simair::EthernetFrame ip{StationAddress(), kServer, 0x0800, {0x45, 0x00}};
  ASSERT_EQ(port->deliver(ip), simair::AccessPoint::DataOutcome::Sent);
  Advance(50ms);
  ndis::EthFrame expected = Ethernet(StationAddress(), Ap(0).address(), 0x888E, 0);
  expected.insert(expected.end(), key.payload.begin(), key.payload.end());
  EXPECT_EQ(readEapol(), std::vector<ndis::EthFrame>{expected});  // the IP frame posts nothing
  EXPECT_EQ(h.host->takeReceived().size(), 2u);
  h.host->closeDevice(*device);
}

TEST_F(DataPath, AProtectedFrameTheCipherCannotEncryptIsNeverSentAndCompletesAsFailed) {
  StartWorld("ap wep\n bssid 02:5a:4c:00:00:02\n ssid \"Workshop\"\n channel 6\n security wep\n"
             " wep-key 1 0102030405\n",
             "data_no_key");
  port = world->distributionPort(0);
  h.run([&] { core->Config.wepStatus = 0; });  // WEP, and no key installed for the cipher
  ASSERT_EQ(SetSsid("Workshop").status, NDIS_STATUS_SUCCESS);
  ASSERT_EQ(MediaEvents(), "C");
  const auto ids = h.host->send({Ethernet(kServer, StationAddress(), 0x0800, 64)});
  Advance(50ms);
  const auto completions = h.host->takeSendCompletions();
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0].id, ids[0]);
  EXPECT_NE(completions[0].status, NDIS_STATUS_SUCCESS);
  EXPECT_EQ(port->waiting(), 0u);
  EXPECT_EQ(port->refused(), 0u);  // nothing reached the air, protected or not
  EXPECT_TRUE(Dissect(pcapPath, "wlan.fc.type == 2", {"wlan.sa"}).empty());
}

}  // namespace
}  // namespace zelnic::core::testing
