// The distribution port: a station's data comes out as 802.3, fragments joined only in
// their order, and frames from the port reach the station with their SNAP header.
#include "sim/air/distribution_port.h"

#include <gtest/gtest.h>

#include "sim/air/medium.h"
#include "sim/air/test_radio.h"

namespace simair {
namespace {

using namespace std::chrono_literals;

const MacAddress kAp{0x02, 0x00, 0x00, 0x00, 0x02, 0x01}, kSta{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x02},
    kWired{0x02, 0x00, 0x00, 0x00, 0x09, 0x01};

struct PortFixture : ::testing::Test {
  ndis::Scheduler scheduler;
  Medium medium{scheduler};
  TestRadio sta{kSta, 1};
  std::unique_ptr<AccessPoint> ap;
  std::unique_ptr<DistributionPort> port;

  void SetUp() override {
    AccessPointConfig config;
    config.bssid = kAp;
    config.ssid = "port";
    ap = std::make_unique<AccessPoint>(scheduler, medium, config);
    port = std::make_unique<DistributionPort>(*ap);
    medium.join(sta);
    ap->start();
    Send(0, dot11::subtype::Authentication, 0, 0, kAp, {0, 0, 1, 0, 0, 0});
    Send(0, dot11::subtype::AssociationRequest, 0, 0, kAp, {0x01, 0x00, 0x0A, 0x00, 0, 4, 'p', 'o', 'r', 't'});
    ASSERT_TRUE(ap->associated(kSta));
  }
  void Send(std::uint8_t type, std::uint8_t sub, std::uint8_t flags, std::uint8_t fragment, const MacAddress& a3,
            const dot11::Bytes& body) {
    dot11::FrameWriter w;
    w.header(static_cast<dot11::FrameType>(type), sub, flags, kAp, kSta, a3, 7);
    w.raw(body);
    dot11::Bytes frame = w.take();
    frame[22] = static_cast<std::uint8_t>(frame[22] | fragment);
    medium.transmit(sta, {std::move(frame), 1, 2});
    scheduler.runFor(5ms);
  }
  void SendData(std::uint8_t fragment, bool more, const dot11::Bytes& body) {
    Send(2, dot11::subtype::Data, dot11::flag::ToDs | (more ? dot11::flag::MoreFragments : 0), fragment, kWired, body);
  }
};

const dot11::Bytes kSnapIpv4{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00};

TEST_F(PortFixture, FragmentsJoinInTheirOrderOnly) {
  dot11::Bytes first = kSnapIpv4;
  first.insert(first.end(), {1, 2, 3});
  SendData(0, true, first);
  SendData(1, false, {4, 5});
  auto out = port->take();
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->destination, kWired);
  EXPECT_EQ(out->source, kSta);
  EXPECT_EQ(out->typeOrLength, 0x0800);
  EXPECT_EQ(out->payload, (dot11::Bytes{1, 2, 3, 4, 5}));

  SendData(0, true, first);
  SendData(2, false, {6});  // fragment 1 is missing
  EXPECT_FALSE(port->take().has_value());
  EXPECT_EQ(port->refused(), 1u);
  SendData(1, false, {6});  // the frame was ended: a late fragment joins nothing
  EXPECT_FALSE(port->take().has_value());
}

TEST_F(PortFixture, ProtectedFramesAreNotReadAndFramesFromThePortCarrySnap) {
  Send(2, dot11::subtype::Data, dot11::flag::ToDs | dot11::flag::Protected, 0, kWired, {0, 0, 0, 0, 1, 2, 3});
  EXPECT_FALSE(port->take().has_value());
  EXPECT_EQ(port->refused(), 1u);

  ASSERT_EQ(port->deliver({kSta, kWired, 0x8137, {9, 9}}), AccessPoint::DataOutcome::Sent);
  scheduler.runFor(5ms);
  ASSERT_FALSE(sta.heard.empty());
  const dot11::Bytes& heard = sta.heard.back().frame.bytes;
  ASSERT_EQ(heard.size(), 24u + 10);
  EXPECT_EQ(dot11::Bytes(heard.begin() + 24, heard.end()),
            (dot11::Bytes{0xAA, 0xAA, 0x03, 0x00, 0x00, 0xF8, 0x81, 0x37, 9, 9}));  // bridge tunnel
}

}  // namespace
}  // namespace simair
