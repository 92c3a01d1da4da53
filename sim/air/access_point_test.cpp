// Simulated access points in virtual time: beacons, probe responses, open-system
// authentication and association, and power-save buffering with the TIM.
#include "sim/air/access_point.h"

#include <gtest/gtest.h>

#include "sim/air/medium.h"
#include "sim/air/test_radio.h"

namespace simair {
namespace {

using dot11::FrameType;
using dot11::FrameView;
using namespace std::chrono_literals;
namespace subtype = dot11::subtype;
namespace element = dot11::element;

const MacAddress kBssid{0x02, 0x00, 0x00, 0x00, 0x01, 0x01}, kStation{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01},
    kServer{0x02, 0x00, 0x00, 0x00, 0x09, 0x09};

AccessPointConfig Config() {
  AccessPointConfig config;
  config.bssid = kBssid;
  config.ssid = "zelnet";
  config.channel = 6;
  return config;
}

// The elements of a beacon or probe response (after timestamp, interval and capability).
std::span<const std::uint8_t> Elements(const dot11::Bytes& frame) {
  return FrameView(frame).managementBody().subspan(12);
}

std::uint16_t U16(const dot11::Bytes& frame, std::size_t at) {
  return static_cast<std::uint16_t>(frame[at] | (frame[at + 1] << 8));
}

dot11::Bytes Element(const dot11::Bytes& frame, std::uint8_t id) {
  const auto found = dot11::FindElement(Elements(frame), id);
  return found ? dot11::Bytes(found->begin(), found->end()) : dot11::Bytes{0xEE, 0xEE};  // "absent"
}

bool HasElement(const dot11::Bytes& frame, std::uint8_t id) {
  return dot11::FindElement(Elements(frame), id).has_value();
}

struct ApFixture : ::testing::Test {
  ndis::Scheduler scheduler;
  Medium medium{scheduler};
  TestRadio station{kStation, 6};
  std::unique_ptr<AccessPoint> ap;

  void Start(AccessPointConfig config = Config()) {
    ap = std::make_unique<AccessPoint>(scheduler, medium, std::move(config));
    medium.join(station);
    ap->start();
  }
  // The station sends a management frame to the access point and the air carries it.
  void StationSends(std::uint8_t type, std::uint8_t sub, std::uint8_t flags, const dot11::Bytes& body,
                    const MacAddress& to = kBssid) {
    dot11::FrameWriter w;
    w.header(static_cast<FrameType>(type), sub, flags, to, kStation, to == dot11::kBroadcast ? dot11::kBroadcast : kBssid, 1);
    w.raw(body);
    medium.transmit(station, {w.take(), 6, 2});
    scheduler.runFor(5ms);
  }
  void Join() {
    StationSends(0, subtype::Authentication, 0, {0, 0, 1, 0, 0, 0});
    StationSends(0, subtype::AssociationRequest, 0, {0x01, 0x00, 0x0A, 0x00, 0, 6, 'z', 'e', 'l', 'n', 'e', 't'});
    ASSERT_TRUE(ap->associated(kStation));
  }
  void PsPoll(std::uint16_t aid) {
    dot11::FrameWriter w;
    w.u8(0xA4);  // control, PS-Poll
    w.u8(dot11::flag::PowerManagement);
    w.u16(static_cast<std::uint16_t>(aid | 0xC000));
    w.address(kBssid);
    w.address(kStation);
    medium.transmit(station, {w.take(), 6, 2});
    scheduler.runFor(5ms);
  }
  std::vector<dot11::Bytes> Heard(std::uint8_t type, std::uint8_t sub) const {
    std::vector<dot11::Bytes> frames;
    for (const simair::Heard& h : station.heard)
      if (FrameView(h.frame.bytes).is(static_cast<FrameType>(type), sub)) frames.push_back(h.frame.bytes);
    return frames;
  }
};

TEST_F(ApFixture, BeaconsAtEveryTargetBeaconTimeWithTheBssElements) {
  AccessPointConfig config = Config();
  config.beaconIntervalTu = 50;
  config.security = Security::Wpa2;
  config.vendorElements = {{0x00, 0x40, 0x96, 0x01, 0x02}};
  Start(config);
  scheduler.runFor(ndis::Micros(50 * 1024 * 4 + 2000));
  const auto beacons = Heard(0, subtype::Beacon);
  ASSERT_EQ(beacons.size(), 4u);
  for (std::size_t i = 0; i < beacons.size(); ++i)
    EXPECT_EQ(station.heard[i].reception.atMicros - Medium::AirtimeMicros(beacons[i].size(), 2),
              static_cast<std::int64_t>((i + 1) * 50 * 1024));
  const dot11::Bytes& beacon = beacons[0];
  EXPECT_EQ(FrameView(beacon).address1(), dot11::kBroadcast);
  EXPECT_EQ(FrameView(beacon).address3(), kBssid);
  EXPECT_EQ(U16(beacon, 32), 50);                       // beacon interval
  EXPECT_EQ(U16(beacon, 34), 0x0011);                   // ESS, privacy
  EXPECT_EQ(Element(beacon, element::Ssid), dot11::Bytes({'z', 'e', 'l', 'n', 'e', 't'}));
  EXPECT_EQ(Element(beacon, element::SupportedRates), dot11::Bytes({0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24}));
  EXPECT_EQ(Element(beacon, element::ExtendedRates), dot11::Bytes({0x30, 0x48, 0x60, 0x6C}));
  EXPECT_EQ(Element(beacon, element::DsParameter), dot11::Bytes({6}));
  EXPECT_EQ(Element(beacon, element::Tim), dot11::Bytes({0, 1, 0, 0}));
  EXPECT_EQ(Element(beacon, element::Erp), dot11::Bytes({0}));
  EXPECT_EQ(Element(beacon, element::Rsn).size(), 20u);
  EXPECT_EQ(Element(beacon, element::Vendor), dot11::Bytes({0x00, 0x40, 0x96, 0x01, 0x02}));
  // Sequence numbers count up frame by frame.
  EXPECT_EQ(U16(beacons[1], 22) >> 4, (U16(beacons[0], 22) >> 4) + 1);
}

TEST_F(ApFixture, SecurityShowsInThePrivacyBitAndTheKeyElements) {
  struct Case {
    Security security;
    bool privacy, rsn, wpa;
  };
  const Case cases[] = {{Security::Open, false, false, false},
                        {Security::Wep, true, false, false},
                        {Security::Wpa, true, false, true},
                        {Security::Wpa2, true, true, false},
                        {Security::WpaWpa2, true, true, true}};
  for (const Case& c : cases) {
    AccessPointConfig config = Config();
    config.security = c.security;
    AccessPoint ap(scheduler, medium, config);
    const dot11::Bytes beacon = ap.buildBeacon();
    EXPECT_EQ((U16(beacon, 34) & 0x0010) != 0, c.privacy) << static_cast<int>(c.security);
    EXPECT_EQ(HasElement(beacon, element::Rsn), c.rsn) << static_cast<int>(c.security);
    EXPECT_EQ(HasElement(beacon, element::Vendor), c.wpa) << static_cast<int>(c.security);
  }
}

TEST_F(ApFixture, AnElevenBRateSetHasNoErpAndNoExtendedRates) {
  AccessPointConfig config = Config();
  config.rates = {0x82, 0x84, 0x0B, 0x16};
  AccessPoint ap(scheduler, medium, config);
  const dot11::Bytes beacon = ap.buildBeacon();
  EXPECT_FALSE(HasElement(beacon, element::Erp));
  EXPECT_FALSE(HasElement(beacon, element::ExtendedRates));
}

TEST_F(ApFixture, AnIbssPeerBeaconsWithTheIbssCapabilityAndParameterSetAndNoTim) {
  AccessPointConfig config = Config();
  config.independent = true;
  AccessPoint peer(scheduler, medium, config);
  const dot11::Bytes beacon = peer.buildBeacon();
  EXPECT_EQ(U16(beacon, 34), dot11::capability::Ibss);
  EXPECT_TRUE(HasElement(beacon, element::IbssParameter));
  EXPECT_FALSE(HasElement(beacon, element::Tim));
}

TEST_F(ApFixture, ProbeRequestsAreAnsweredForTheWildcardAndTheSsidUnlessHidden) {
  struct Case {
    const char* name;
    bool hidden;
    dot11::Bytes ssidElement;  // the probe request's body
    MacAddress to;
    bool answered;
  };
  const Case cases[] = {
      {"wildcard", false, {0, 0}, dot11::kBroadcast, true},
      {"its SSID", false, {0, 6, 'z', 'e', 'l', 'n', 'e', 't'}, dot11::kBroadcast, true},
      {"its SSID, directed", false, {0, 6, 'z', 'e', 'l', 'n', 'e', 't'}, kBssid, true},
      {"another SSID", false, {0, 5, 'o', 't', 'h', 'e', 'r'}, dot11::kBroadcast, false},
      {"a prefix of its SSID", false, {0, 3, 'z', 'e', 'l'}, dot11::kBroadcast, false},
      {"no SSID element", false, {1, 1, 0x82}, dot11::kBroadcast, false},
      {"SSID element cut short", false, {0, 9, 'z'}, dot11::kBroadcast, false},
      {"to another access point", false, {0, 0}, kServer, false},
      {"hidden, wildcard", true, {0, 0}, dot11::kBroadcast, false},
      {"hidden, its SSID", true, {0, 6, 'z', 'e', 'l', 'n', 'e', 't'}, dot11::kBroadcast, true},
  };
  for (const Case& c : cases) {
    ndis::Scheduler scheduler;
    Medium medium(scheduler);
    TestRadio station(kStation, 6);
    medium.join(station);
    AccessPointConfig config = Config();
    config.hiddenSsid = c.hidden;
    config.beaconIntervalTu = 1000;  // no beacon within the test
    AccessPoint ap(scheduler, medium, config);
    ap.start();
    dot11::FrameWriter w;
    w.header(FrameType::Management, subtype::ProbeRequest, 0, c.to, kStation, c.to, 1);
    w.raw(c.ssidElement);
    medium.transmit(station, {w.take(), 6, 2});
    scheduler.runFor(5ms);
    ASSERT_EQ(station.heard.size(), c.answered ? 1u : 0u) << c.name;
    if (!c.answered) continue;
    const dot11::Bytes& response = station.heard[0].frame.bytes;
    EXPECT_TRUE(FrameView(response).is(FrameType::Management, subtype::ProbeResponse)) << c.name;
    EXPECT_EQ(FrameView(response).address1(), kStation) << c.name;
    // A probe response names the SSID even when the beacons hide it.
    EXPECT_EQ(Element(response, element::Ssid), dot11::Bytes({'z', 'e', 'l', 'n', 'e', 't'})) << c.name;
    EXPECT_FALSE(HasElement(response, element::Tim)) << c.name;
  }
}

TEST_F(ApFixture, AHiddenAccessPointBeaconsAnEmptySsid) {
  AccessPointConfig config = Config();
  config.hiddenSsid = true;
  AccessPoint ap(scheduler, medium, config);
  EXPECT_EQ(Element(ap.buildBeacon(), element::Ssid), dot11::Bytes{});
}

TEST_F(ApFixture, OpenSystemAuthenticationAndAssociationGiveAnAssociationId) {
  AccessPointConfig config = Config();
  config.beaconIntervalTu = 1000;
  Start(config);
  // Association before authentication is refused with a deauthentication.
  StationSends(0, subtype::AssociationRequest, 0, {0x01, 0x00, 0x0A, 0x00, 0, 6, 'z', 'e', 'l', 'n', 'e', 't'});
  ASSERT_EQ(Heard(0, subtype::Deauthentication).size(), 1u);
  EXPECT_FALSE(ap->associated(kStation));

  StationSends(0, subtype::Authentication, 0, {1, 0, 1, 0, 0, 0});  // shared key: not offered
  ASSERT_EQ(Heard(0, subtype::Authentication).size(), 1u);
  EXPECT_EQ(U16(Heard(0, subtype::Authentication)[0], 28), 13);
  Join();
  const auto responses = Heard(0, subtype::Authentication);
  ASSERT_EQ(responses.size(), 2u);
  EXPECT_EQ(U16(responses[1], 26), 2);   // transaction 2
  EXPECT_EQ(U16(responses[1], 28), 0);   // success
  const auto association = Heard(0, subtype::AssociationResponse);
  ASSERT_EQ(association.size(), 1u);
  EXPECT_EQ(U16(association[0], 26), 0);          // status
  EXPECT_EQ(U16(association[0], 28), 0xC001);     // AID 1
  EXPECT_EQ(ap->associationId(kStation), 1);

  // An association to another SSID fails; the first one stands.
  StationSends(0, subtype::AssociationRequest, 0, {0x01, 0x00, 0x0A, 0x00, 0, 3, 'x', 'y', 'z'});
  EXPECT_EQ(U16(Heard(0, subtype::AssociationResponse)[1], 26), 1);
  StationSends(0, subtype::Deauthentication, 0, {3, 0});
  EXPECT_FALSE(ap->associated(kStation));
}

TEST_F(ApFixture, AssociationIdsAreTheLowestFree) {
  Start();
  Join();
  const MacAddress second{0x00, 0x1E, 0x4D, 0, 0, 2}, third{0x00, 0x1E, 0x4D, 0, 0, 3};
  TestRadio radio2(second, 6), radio3(third, 6);
  medium.join(radio2);
  medium.join(radio3);
  const auto join = [&](TestRadio& radio) {
    for (std::uint8_t sub : {subtype::Authentication, subtype::AssociationRequest}) {
      dot11::FrameWriter w;
      w.header(FrameType::Management, sub, 0, kBssid, radio.address(), kBssid, 1);
      if (sub == subtype::Authentication) w.raw(dot11::Bytes{0, 0, 1, 0, 0, 0});
      else w.raw(dot11::Bytes{0x01, 0x00, 0x0A, 0x00, 0, 6, 'z', 'e', 'l', 'n', 'e', 't'});
      medium.transmit(radio, {w.take(), 6, 2});
      scheduler.runFor(5ms);
    }
  };
  join(radio2);
  EXPECT_EQ(ap->associationId(second), 2);
  StationSends(0, subtype::Deauthentication, 0, {3, 0});
  join(radio3);
  EXPECT_EQ(ap->associationId(third), 1);
}

TEST_F(ApFixture, FramesForADozingStationWaitSetTheTimAndComeOutOnPsPollAndWake) {
  Start();
  Join();
  // A null-data frame with the PM bit: the station dozes.
  StationSends(2, subtype::NullData, dot11::flag::ToDs | dot11::flag::PowerManagement, {});
  EXPECT_TRUE(ap->dozing(kStation));
  for (std::uint8_t i = 1; i <= 3; ++i)
    EXPECT_EQ(ap->sendData(kStation, kServer, {0xAA, 0xAA, 0x03, 0, 0, 0, 0x08, 0x00, i}), AccessPoint::DataOutcome::Buffered);
  EXPECT_EQ(ap->buffered(kStation), 3u);
  scheduler.runFor(5ms);
  EXPECT_TRUE(Heard(2, subtype::Data).empty());

  // The next beacon has the bit of AID 1.
  scheduler.runFor(110ms);
  const auto beacons = Heard(0, subtype::Beacon);
  ASSERT_FALSE(beacons.empty());
  EXPECT_EQ(Element(beacons.back(), element::Tim), dot11::Bytes({0, 1, 0, 0x02}));

  // A PS-Poll naming another association id takes nothing; one naming the station's takes
  // one frame, with More Data while others wait.
  PsPoll(2);
  EXPECT_TRUE(Heard(2, subtype::Data).empty());
  PsPoll(1);
  auto data = Heard(2, subtype::Data);
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0].back(), 1);
  EXPECT_EQ(data[0][1], dot11::flag::FromDs | dot11::flag::MoreData);
  EXPECT_EQ(FrameView(data[0]).address1(), kStation);
  EXPECT_EQ(FrameView(data[0]).address3(), kServer);
  EXPECT_TRUE(ap->dozing(kStation));

  // Waking (PM clear) releases the rest, the last without More Data.
  StationSends(2, subtype::NullData, dot11::flag::ToDs, {});
  data = Heard(2, subtype::Data);
  ASSERT_EQ(data.size(), 3u);
  EXPECT_EQ(data[1].back(), 2);
  EXPECT_EQ(data[1][1], dot11::flag::FromDs | dot11::flag::MoreData);
  EXPECT_EQ(data[2][1], dot11::flag::FromDs);
  EXPECT_EQ(ap->buffered(kStation), 0u);
  scheduler.runFor(110ms);
  EXPECT_EQ(Element(Heard(0, subtype::Beacon).back(), element::Tim), dot11::Bytes({0, 1, 0, 0}));

  // Awake: frames go out at once.
  EXPECT_EQ(ap->sendData(kStation, kServer, {0x01}), AccessPoint::DataOutcome::Sent);
  EXPECT_EQ(ap->sendData(kServer, kServer, {0x01}), AccessPoint::DataOutcome::Dropped);  // not associated
}

TEST(PowerSaveBufferTim, ThePartialVirtualBitmapStartsAtAnEvenOffsetAndEndsAtTheLastBit) {
  struct Case {
    std::vector<std::uint16_t> aids;
    dot11::Bytes tim;  // after DTIM count and period
  };
  const Case cases[] = {
      {{}, {0x00, 0x00}},
      {{1}, {0x00, 0x02}},
      {{9}, {0x00, 0x00, 0x02}},                   // byte 1: offset 0 (even), both bytes
      {{17}, {0x02, 0x02}},                        // byte 2: offset 2
      {{17, 40}, {0x02, 0x02, 0x00, 0x00, 0x01}},  // bytes 2..5
      {{2007}, {250, 0x80}},
  };
  for (const Case& c : cases) {
    PowerSaveBuffer buffer;
    for (std::uint16_t aid : c.aids) ASSERT_TRUE(buffer.hold(aid, {}));
    dot11::Bytes expected{0, 3};
    expected.insert(expected.end(), c.tim.begin(), c.tim.end());
    EXPECT_EQ(buffer.timBody(0, 3), expected) << (c.aids.empty() ? 0 : c.aids.back());
  }
}

TEST(PowerSaveBufferLimits, AFullBufferOrAnImpossibleAidDropsTheFrame) {
  PowerSaveBuffer buffer;
  for (std::size_t i = 0; i < PowerSaveBuffer::kFramesPerStation; ++i) ASSERT_TRUE(buffer.hold(5, {}));
  EXPECT_FALSE(buffer.hold(5, {}));
  EXPECT_FALSE(buffer.hold(0, {}));
  EXPECT_FALSE(buffer.hold(PowerSaveBuffer::kMaxAid + 1, {}));
  EXPECT_EQ(buffer.count(5), PowerSaveBuffer::kFramesPerStation);
  EXPECT_EQ(buffer.dropped(), 3u);
  EXPECT_EQ(buffer.timBody(0, 1), dot11::Bytes({0, 1, 0, 0x20}));  // only AID 5
}

TEST_F(ApFixture, ARadioSwitchedOffStopsBeaconingAndHearsNothingUntilOnAgain) {
  Start();
  scheduler.runFor(250ms);
  const std::size_t before = Heard(0, subtype::Beacon).size();
  EXPECT_EQ(before, 2u);
  ap->setRadioOn(false);
  scheduler.runFor(1s);
  EXPECT_EQ(Heard(0, subtype::Beacon).size(), before);
  StationSends(0, subtype::ProbeRequest, 0, {0, 0}, dot11::kBroadcast);
  EXPECT_TRUE(Heard(0, subtype::ProbeResponse).empty());
  ap->setRadioOn(true);
  scheduler.runFor(1s);
  EXPECT_GE(Heard(0, subtype::Beacon).size(), before + 9);
}

TEST_F(ApFixture, AFrameHookSeesFramesFirstAndMayTakeThem) {
  Start();
  int seen = 0;
  ap->addFrameHook([&](const AirFrame& frame, const Reception&) {
    ++seen;
    return FrameView(frame.bytes).is(FrameType::Management, subtype::Authentication);
  });
  StationSends(0, subtype::Authentication, 0, {0, 0, 1, 0, 0, 0});
  EXPECT_EQ(seen, 1);
  EXPECT_TRUE(Heard(0, subtype::Authentication).empty());
}

}  // namespace
}  // namespace simair
