// An access point's answers to joining stations: shared-key authentication, the status and
// silence knobs, the RSN and WPA elements checked as hostapd checks them, a CCKM request
// element that keys nothing, deauthentication and disassociation on demand, and the
// world-file words for all of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "sim/air/access_point.h"
#include "sim/air/association_security.h"
#include "sim/air/authenticator_crypto.h"
#include "sim/air/distribution_port.h"
#include "sim/air/medium.h"
#include "sim/air/psk_key_exchange.h"
#include "sim/air/test_radio.h"
#include "sim/air/world_file.h"

namespace simair {
namespace {

using namespace std::chrono_literals;
using dot11::Bytes;
using dot11::FrameType;

const MacAddress kStation{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01};
const MacAddress kBssid{0x02, 0x5a, 0x4c, 0, 0, 7};

// The RSN element a WPA2-PSK station sends (CCMP/CCMP/PSK), with `tail` after the AKM list.
Bytes Rsn(const Bytes& tail, std::uint8_t group = 4, std::uint8_t pairwiseCount = 1) {
  Bytes e{48, 0, 1, 0, 0x00, 0x0F, 0xAC, group, pairwiseCount, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 2};
  e.insert(e.end(), tail.begin(), tail.end());
  e[1] = static_cast<std::uint8_t>(e.size() - 2);
  return e;
}

struct ElementCase {
  const char* name;
  Security security;
  Bytes elements;
  std::uint16_t status;
  bool cckm = false;  // the network offers CCKM
};

// The WPA element of a WPA-Enterprise station (TKIP/TKIP) with the AKM suite `akm`.
Bytes WpaWithAkm(std::initializer_list<std::uint8_t> akm) {
  Bytes e{221, 22, 0x00, 0x50, 0xF2, 1, 1, 0, 0x00, 0x50, 0xF2, 2, 1, 0, 0x00, 0x50, 0xF2, 2, 1, 0};
  e.insert(e.end(), akm);
  return e;
}

TEST(AssociationSecurity, ElementsAreCheckedAsStrictlyAsHostapd) {
  const Bytes pmkidCountZero{0, 0, 0, 0};
  Bytes sixteenZeros(16, 0);
  Bytes countZeroThenZeros{0, 0, 0, 0};
  countZeroThenZeros.insert(countZeroThenZeros.end(), sixteenZeros.begin(), sixteenZeros.end());
  const Bytes wpa{221, 22, 0x00, 0x50, 0xF2, 1, 1, 0, 0x00, 0x50, 0xF2, 2, 1, 0, 0x00, 0x50, 0xF2, 2,
                  1, 0, 0x00, 0x50, 0xF2, 2};
  const ElementCase cases[] = {
      {"open needs nothing", Security::Open, {}, 0},
      {"capabilities and a PMKID count of 0", Security::Wpa2, Rsn(pmkidCountZero), 0},
      {"ends after the AKM list", Security::Wpa2, Rsn({}), 0},
      {"PMKID count 0 then 16 zero bytes", Security::Wpa2, Rsn(countZeroThenZeros), kStatusInvalidElement},
      {"one trailing byte", Security::Wpa2, Rsn({0, 0, 0, 0, 0x5A}), kStatusInvalidElement},
      {"a PMKID count beyond the element", Security::Wpa2, Rsn({0, 0, 1, 0}), kStatusInvalidElement},
      {"a pairwise count of 2 with one suite", Security::Wpa2, Rsn({}, 4, 2), kStatusInvalidElement},
      {"a TKIP group on a CCMP network", Security::Wpa2, Rsn({}, 2), kStatusInvalidGroupCipher},
      {"no element on a WPA2 network", Security::Wpa2, {0, 3, 'a', 'b', 'c'}, kStatusInvalidElement},
      {"RSN version 2", Security::Wpa2, [] { Bytes e = Rsn({}); e[2] = 2; return e; }(), kStatusUnsupportedRsnVersion},
      {"WPA on a WPA network", Security::Wpa, wpa, 0},
      {"WPA on a WPA2-only network", Security::Wpa2, wpa, kStatusInvalidElement},
      {"RSN with the TKIP group of a mixed network", Security::WpaWpa2, Rsn(pmkidCountZero, 2), 0},
      {"an element running past the request", Security::Wpa2, {48, 40, 1, 0}, kStatusInvalidElement},
      {"802.1X key management on an enterprise network", Security::Wpa2Enterprise,
       [] { Bytes e = Rsn({}); e.back() = 1; return e; }(), 0},
      {"PSK key management on an enterprise network", Security::Wpa2Enterprise, Rsn({}), kStatusInvalidAkmp},
      {"802.1X key management on a PSK network", Security::Wpa2,
       [] { Bytes e = Rsn({}); e.back() = 1; return e; }(), kStatusInvalidAkmp},
      {"WPA on an enterprise network", Security::Wpa2Enterprise, wpa, kStatusInvalidElement},
      {"802.1X on a WPA-Enterprise network", Security::WpaEnterprise, WpaWithAkm({0x00, 0x50, 0xF2, 1}), 0},
      {"802.1X where CCKM is offered too", Security::WpaEnterprise, WpaWithAkm({0x00, 0x50, 0xF2, 1}), 0, true},
      {"CCKM where it is offered", Security::WpaEnterprise, WpaWithAkm({0x00, 0x40, 0x96, 0}), 0, true},
      {"CCKM where it is not offered", Security::WpaEnterprise, WpaWithAkm({0x00, 0x40, 0x96, 0}), kStatusInvalidAkmp},
      {"CCKM on a WPA-PSK network", Security::Wpa, WpaWithAkm({0x00, 0x40, 0x96, 0}), kStatusInvalidAkmp, true},
      {"PSK on a WPA-Enterprise network", Security::WpaEnterprise, wpa, kStatusInvalidAkmp, true},
      {"RSN on a WPA-Enterprise network", Security::WpaEnterprise,
       [] { Bytes e = Rsn({}); e.back() = 1; return e; }(), kStatusInvalidElement},
  };
  for (const ElementCase& c : cases)
    EXPECT_EQ(CheckAssociationSecurity(c.security, c.elements, c.cckm), c.status) << c.name;
}

// What the CCKM access point reads of a reassociation request: the AKM its WPA element names
// and the CCKM request element, each only within the elements.
TEST(AssociationSecurity, TheCckmAkmAndRequestElementAreReadWithinTheRequest) {
  const Bytes cckm = WpaWithAkm({0x00, 0x40, 0x96, 0});
  EXPECT_TRUE(NamesCckm(cckm));
  EXPECT_FALSE(NamesCckm(WpaWithAkm({0x00, 0x50, 0xF2, 1})));
  EXPECT_FALSE(NamesCckm(Bytes{221, 40, 0x00, 0x50, 0xF2, 1}));  // runs past the request

  const Bytes request{156, 4, 0x00, 0x40, 0x96, 0x00};
  Bytes withRequest = cckm;
  withRequest.insert(withRequest.end(), request.begin(), request.end());
  EXPECT_FALSE(CckmRequestElement(cckm));
  EXPECT_EQ(CckmRequestElement(withRequest), request);
  withRequest[cckm.size() + 1] = 5;  // one byte more than the request holds
  EXPECT_FALSE(CckmRequestElement(withRequest));
}

// A wpa-enterprise access point that offers CCKM, at the reassociation of a station it holds
// no CCKM context for: the CCKM request element keys nothing. The response carries no CCKM
// element, no keys are in force, and 802.1X starts as for any association.
const MacAddress kLeftBssid{0x02, 0x5a, 0x4c, 0, 0, 5};

TEST(CckmAccessPoint, ARequestWithoutAContextKeysNothingAnd8021XRuns) {
  ndis::Scheduler scheduler;
  Medium medium(scheduler);
  AccessPointConfig config;
  config.bssid = kBssid;
  config.ssid = "corp";
  config.security = Security::WpaEnterprise;
  config.cckm = true;
  config.radius.secret = Secret("s");
  AccessPoint ap(scheduler, medium, config);
  DistributionPort port(ap);
  std::vector<std::string> log;
  PskKeyExchange exchange(scheduler, ap, port, {}, nullptr, nullptr, [&](const std::string& line) { log.push_back(line); });
  TestRadio station(kStation, config.channel);
  medium.join(station);
  ap.start();
  const auto send = [&](std::uint8_t subtype, const Bytes& body) {
    dot11::FrameWriter w;
    w.header(FrameType::Management, subtype, 0, kBssid, kStation, kBssid, 9);
    w.raw(body);
    medium.transmit(station, {w.take(), config.channel, 2});
    scheduler.runFor(5ms);
  };
  send(dot11::subtype::Authentication, {0, 0, 1, 0, 0, 0});
  // Capability, listen interval, the access point left; SSID, the station's WPA element naming
  // CCKM, a CCKM request element (timestamp, RN 2, MIC) made up by the station.
  Bytes reassociation{0x11, 0x04, 10, 0};
  reassociation.insert(reassociation.end(), kLeftBssid.begin(), kLeftBssid.end());
  reassociation.insert(reassociation.end(), {0, 4, 'c', 'o', 'r', 'p'});
  const Bytes element = air::BuildElement(air::KeyProtocol::Wpa, air::Cipher::Tkip, air::Cipher::Tkip, air::Akm::Cckm);
  reassociation.insert(reassociation.end(), element.begin(), element.end());
  Bytes request{156, 24, 0x00, 0x40, 0x96, 0x00, 1, 2, 3, 4, 5, 6, 7, 8, 2, 0, 0, 0};
  request.resize(26, 0x5A);
  reassociation.insert(reassociation.end(), request.begin(), request.end());
  send(dot11::subtype::ReassociationRequest, reassociation);

  const auto response = std::find_if(station.heard.begin(), station.heard.end(), [](const Heard& h) {
    return (h.frame.bytes[0] & 0xFC) == (dot11::subtype::ReassociationResponse << 4);
  });
  ASSERT_NE(response, station.heard.end());
  const Bytes& frame = response->frame.bytes;
  EXPECT_EQ(frame[24 + 2] | frame[24 + 3] << 8, 0);  // accepted
  EXPECT_FALSE(dot11::FindElement(std::span(frame).subspan(24 + 6), 156)) << "a CCKM response without a context";
  EXPECT_TRUE(ap.associated(kStation));
  EXPECT_FALSE(exchange.keysInForce(kStation));
  EXPECT_EQ(exchange.counters().cckmRefused, 1u);
  EXPECT_EQ(exchange.counters().cckmReassociations, 0u);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "00:1e:4d:2d:17:01 reassociated with a CCKM element that does not check out (no CCKM context): 802.1X runs");
  // 802.1X: the access point asks for the station's identity (EAP-Request/Identity).
  const bool identityRequested = std::any_of(station.heard.begin(), station.heard.end(), [](const Heard& h) {
    const Bytes& b = h.frame.bytes;
    return (b[0] & 0x0C) == 0x08 && b.size() >= 24 + 8 + 9 && b[24 + 6] == 0x88 && b[24 + 7] == 0x8E &&
           b[24 + 9] == 0 && b[24 + 12] == 1 && b[24 + 16] == 1;
  });
  EXPECT_TRUE(identityRequested);
  medium.leave(station);
}

// A station radio that sends what a case wants and keeps the frames addressed to it.
class Station final : public Radio {
public:
  MacAddress address() const override { return kStation; }
  std::uint8_t channel() const override { return 1; }
  bool radioOn() const override { return true; }
  void receive(const AirFrame& frame, const Reception&) override {
    if (frame.bytes.size() >= 10 && std::equal(kStation.begin(), kStation.end(), frame.bytes.begin() + 4))
      heard.push_back(frame.bytes);
  }
  std::vector<Bytes> heard;
};

class JoinKnobsTest : public ::testing::Test {
protected:
  void start(JoinKnobs knobs, Security security = Security::Wep) {
    AccessPointConfig config;
    config.bssid = kBssid;
    config.ssid = "knobs";
    config.security = security;
    config.wepKeys.push_back(Secret(std::string("\x01\x02\x03\x04\x05", 5)));
    config.join = knobs;
    ap = std::make_unique<AccessPoint>(scheduler, medium, config);
    ap->start();
    medium.join(station);
  }
  void send(std::uint8_t subtype, const Bytes& body, std::uint8_t flags = 0) {
    dot11::FrameWriter w;
    w.header(FrameType::Management, subtype, flags, kBssid, kStation, kBssid, 9);
    w.raw(body);
    medium.transmit(station, {w.take(), 1, 2});
    scheduler.runFor(5ms);
  }
  // The last management frame of `subtype` the station heard; empty when none.
  Bytes last(std::uint8_t subtype) const {
    for (auto it = station.heard.rbegin(); it != station.heard.rend(); ++it)
      if (((*it)[0] >> 4) == subtype && ((*it)[0] & 0x0C) == 0) return *it;
    return {};
  }
  static std::uint16_t Status(const Bytes& authentication) { return authentication[24 + 4] | authentication[24 + 5] << 8; }

  ndis::Scheduler scheduler;
  Medium medium{scheduler};
  Station station;
  std::unique_ptr<AccessPoint> ap;
};

std::uint32_t Crc32(const Bytes& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t byte : data) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// Frame 3 for the challenge of `frame2`, encrypted with `key` (IV 0x010203, key index 0).
Bytes Frame3(const Bytes& frame2, const Bytes& key) {
  Bytes plain{1, 0, 3, 0, 0, 0};
  plain.insert(plain.end(), frame2.begin() + 24 + 6, frame2.end());
  const std::uint32_t icv = Crc32(plain);
  for (int i = 0; i < 4; ++i) plain.push_back(static_cast<std::uint8_t>(icv >> (8 * i)));
  Bytes seed{1, 2, 3};
  seed.insert(seed.end(), key.begin(), key.end());
  Bytes body{1, 2, 3, 0};
  const Bytes cipher = air::Rc4(seed, plain);
  body.insert(body.end(), cipher.begin(), cipher.end());
  return body;
}

TEST_F(JoinKnobsTest, SharedKeyAuthenticatesWithTheRightKeyAndRefusesTheWrongOne) {
  start({.sharedKey = true});
  for (const auto& [key, status] : {std::pair{Bytes{1, 2, 3, 4, 5}, 0}, {Bytes{9, 9, 9, 9, 9}, 15}}) {
    send(dot11::subtype::Authentication, {1, 0, 1, 0, 0, 0});
    const Bytes frame2 = last(dot11::subtype::Authentication);
    ASSERT_EQ(frame2.size(), 24u + 6 + 2 + 128);
    EXPECT_EQ(Status(frame2), 0);
    EXPECT_EQ(frame2[24 + 6], 16);  // the challenge element
    send(dot11::subtype::Authentication, Frame3(frame2, key), dot11::flag::Protected);
    const Bytes frame4 = last(dot11::subtype::Authentication);
    EXPECT_EQ(frame4[24 + 2], 4);
    EXPECT_EQ(Status(frame4), status);
  }
  EXPECT_EQ(ap->counters().authentications, 1u);
}

TEST_F(JoinKnobsTest, StatusAndSilenceKnobs) {
  start({.sharedKeyOnly = true, .associationStatus = 17});
  send(dot11::subtype::Authentication, {0, 0, 1, 0, 0, 0});
  EXPECT_EQ(Status(last(dot11::subtype::Authentication)), 13);  // open system refused

  ap.reset();
  station.heard.clear();
  start({.authenticationStatus = 1, .silentAssociation = true});
  send(dot11::subtype::Authentication, {0, 0, 1, 0, 0, 0});
  EXPECT_EQ(Status(last(dot11::subtype::Authentication)), 1);

  ap.reset();
  station.heard.clear();
  start({.silentAuthentication = true});
  send(dot11::subtype::Authentication, {0, 0, 1, 0, 0, 0});
  EXPECT_TRUE(last(dot11::subtype::Authentication).empty());
}

TEST_F(JoinKnobsTest, DeauthenticationAndDisassociationOnDemand) {
  start({}, Security::Open);
  EXPECT_FALSE(ap->deauthenticate(kStation, 3));  // not known yet
  send(dot11::subtype::Authentication, {0, 0, 1, 0, 0, 0});
  send(dot11::subtype::AssociationRequest, {0x01, 0x00, 0x0A, 0x00, 0, 5, 'k', 'n', 'o', 'b', 's'});
  ASSERT_TRUE(ap->associated(kStation));
  EXPECT_TRUE(ap->disassociate(kStation, 8));
  scheduler.runFor(5ms);
  EXPECT_FALSE(ap->associated(kStation));
  EXPECT_EQ(last(dot11::subtype::Disassociation).size(), 26u);
  EXPECT_TRUE(ap->deauthenticate(kStation, 3));
  scheduler.runFor(5ms);
  const Bytes deauth = last(dot11::subtype::Deauthentication);
  ASSERT_EQ(deauth.size(), 26u);
  EXPECT_EQ(deauth[24], 3);
}

TEST(WorldFileJoinWords, KnobsAndChangesParse) {
  std::string error;
  const auto world = ParseWorld(
      "ap a\n bssid 02:00:00:00:00:01\n ssid a\n security wep\n wep-key 1 0102030405\n auth shared-only\n"
      " auth-status 13\n assoc-status 17\n silent-auth\n silent-assoc\n"
      "at 1s a deauth\nat 2s a disassoc\n",
      error);
  ASSERT_TRUE(world) << error;
  EXPECT_EQ(world->connectSsid, "");
  const JoinKnobs& knobs = world->accessPoints[0].config.join;
  EXPECT_TRUE(knobs.sharedKey && knobs.sharedKeyOnly && knobs.silentAuthentication && knobs.silentAssociation);
  EXPECT_EQ(knobs.authenticationStatus, 13);
  EXPECT_EQ(knobs.associationStatus, 17);
  ASSERT_EQ(world->changes.size(), 2u);
  EXPECT_EQ(world->changes[0].kind, WorldChange::Kind::Deauthenticate);
  EXPECT_EQ(world->changes[1].kind, WorldChange::Kind::Disassociate);
  const auto joining = ParseWorld("connect \"Zelnet Guest\"\nap a\n bssid 02:00:00:00:00:01\n ssid a\n", error);
  ASSERT_TRUE(joining) << error;
  EXPECT_EQ(joining->connectSsid, "Zelnet Guest");
  EXPECT_FALSE(ParseWorld("connect \"\"\n", error));
  EXPECT_EQ(error, "line 1: connect names an SSID of 1 to 32 bytes");
  EXPECT_FALSE(ParseWorld("ap a\n bssid 02:00:00:00:00:01\n ssid a\n auth maybe\n", error));
  EXPECT_EQ(error, "line 4: auth must be shared or shared-only");
}

}  // namespace
}  // namespace simair
