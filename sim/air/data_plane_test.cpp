// The access point's data plane: protected frames of a station opened and bridged to the
// distribution port, frames from the port protected for the station, and the refusals:
// replays, forged Michael, fragments under two keys, plaintext where keys are in force.
#include <gtest/gtest.h>

#include "sim/air/authenticator.h"
#include "sim/air/distribution_port.h"
#include "sim/air/medium.h"
#include "sim/air/test_radio.h"

namespace simair {
namespace {

using namespace std::chrono_literals;

const MacAddress kAp{0x02, 0x00, 0x00, 0x00, 0x02, 0x01}, kSta{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x02},
    kWired{0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
const dot11::Bytes kSnapIpv4{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00};
const dot11::Bytes kTk(32, 0x5C);

struct Network {
  const char* name;
  Security security;
  DataCipher cipher;
};

void PrintTo(const Network& network, std::ostream* os) { *os << network.name; }

// An access point of one security with the station associated; the station keeps the same
// key in a FrameKeys of its own and seals and opens with it.
struct Plane {
  ndis::Scheduler scheduler;
  Medium medium{scheduler};
  TestRadio sta{kSta, 1};
  std::unique_ptr<AccessPoint> ap;
  std::unique_ptr<DistributionPort> port;
  std::unique_ptr<FrameKeys> stationKeys;
  std::uint16_t sequence = 0;

  void Start(const Network& network) {
    AccessPointConfig config;
    config.bssid = kAp;
    config.ssid = "plane";
    config.security = network.security;
    if (network.security == Security::Wep) config.wepKeys = {Secret("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d")};
    else if (network.security != Security::Open) config.passphrase = Secret("not used by these tests");
    ap = std::make_unique<AccessPoint>(scheduler, medium, config);
    port = std::make_unique<DistributionPort>(*ap);
    stationKeys = std::make_unique<FrameKeys>(config.wepKeys, 0, KeyRole::Supplicant);
    medium.join(sta);
    ap->start();
    Transmit(Header(0, dot11::subtype::Authentication, 0), {0, 0, 1, 0, 0, 0});
    dot11::Bytes request{0x11, 0x00, 0x0A, 0x00, 0, 5, 'p', 'l', 'a', 'n', 'e'};
    if (network.security == Security::Wpa2) request = Append(request, air::BuildElement(air::KeyProtocol::Rsn, air::Cipher::Ccmp, air::Cipher::Ccmp));
    if (network.security == Security::Wpa) request = Append(request, air::BuildElement(air::KeyProtocol::Wpa, air::Cipher::Tkip, air::Cipher::Tkip));
    Transmit(Header(0, dot11::subtype::AssociationRequest, 0), request);
    ASSERT_TRUE(ap->associated(kSta));
    InstallPairwise(network.cipher, kTk);
  }
  void InstallPairwise(DataCipher cipher, const dot11::Bytes& key) {
    if (cipher != DataCipher::Tkip && cipher != DataCipher::Ccmp) return;
    const std::span<const std::uint8_t> tk(key.data(), cipher == DataCipher::Tkip ? 32 : 16);
    port->keys().setPairwise(kSta, cipher, tk);
    stationKeys->setPairwise(kAp, cipher, tk);
  }
  static dot11::Bytes Append(dot11::Bytes a, const dot11::Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
  dot11::Bytes Header(std::uint8_t type, std::uint8_t sub, std::uint8_t flags, std::uint8_t fragment = 0) {
    dot11::FrameWriter w;
    w.header(static_cast<dot11::FrameType>(type), sub, flags, kAp, kSta, type == 2 ? kWired : kAp, sequence);
    dot11::Bytes header = w.take();
    header[22] = static_cast<std::uint8_t>(header[22] | fragment);
    return header;
  }
  void Transmit(const dot11::Bytes& header, const dot11::Bytes& body) { TransmitFrame(Append(header, body)); }
  void TransmitFrame(dot11::Bytes frame) {
    medium.transmit(sta, {std::move(frame), 1, 2});
    scheduler.runFor(5ms);
  }
  // A data frame (or fragment) toward the wired side, sealed with the station's key.
  dot11::Bytes Sealed(const dot11::Bytes& body, std::uint8_t fragment = 0, bool more = false) {
    const std::uint8_t flags = dot11::flag::ToDs | (more ? dot11::flag::MoreFragments : 0);
    auto frame = stationKeys->seal(kAp, Append(Header(2, dot11::subtype::Data, flags, fragment), body));
    EXPECT_TRUE(frame.has_value());
    return frame.value_or(dot11::Bytes{});
  }
};

struct DataPlane : ::testing::TestWithParam<Network>, Plane {
  void SetUp() override { Start(GetParam()); }
};

TEST_P(DataPlane, CarriesProtectedDataBothWays) {
  TransmitFrame(Sealed(Append(kSnapIpv4, {1, 2, 3, 4})));
  auto out = port->take();
  ASSERT_TRUE(out.has_value()) << "refused " << port->refused();
  EXPECT_EQ(out->source, kSta);
  EXPECT_EQ(out->destination, kWired);
  EXPECT_EQ(out->payload, (dot11::Bytes{1, 2, 3, 4}));

  ASSERT_EQ(port->deliver({kSta, kWired, 0x0800, {9, 8, 7}}), AccessPoint::DataOutcome::Sent);
  scheduler.runFor(5ms);
  ASSERT_FALSE(sta.heard.empty());
  const dot11::Bytes& heard = sta.heard.back().frame.bytes;
  ASSERT_GE(heard.size(), 24u);
  EXPECT_NE(heard[1] & dot11::flag::Protected, 0);
  Refusal why = Refusal::None;
  auto opened = stationKeys->open(kAp, heard, why);
  ASSERT_TRUE(opened.has_value()) << RefusalName(why);
  dot11::Bytes body(opened->frame.begin() + 24, opened->frame.end());
  ASSERT_TRUE(stationKeys->finishMsdu(kAp, opened->cipher, kSta, kWired, 0, body));
  EXPECT_EQ(body, Append(kSnapIpv4, {9, 8, 7}));
}

TEST_P(DataPlane, FragmentsJoinUnderOneKeyOnly) {
  const dot11::Bytes msdu = Append(kSnapIpv4, dot11::Bytes(40, 0x33));
  // TKIP's Michael covers the whole MSDU: the station seals it once and the test splits the
  // plaintext, so each fragment is sealed by itself here with the MIC on the last.
  TransmitFrame(Sealed(dot11::Bytes(msdu.begin(), msdu.begin() + 20), 0, true));
  TransmitFrame(Sealed(dot11::Bytes(msdu.begin() + 20, msdu.end()), 1, false));
  if (GetParam().cipher == DataCipher::Tkip) {
    // Each piece carried its own Michael: the joined MSDU does not verify.
    EXPECT_FALSE(port->take().has_value());
    EXPECT_EQ(port->keys().counters().michaelFailures, 1u);
    return;
  }
  auto out = port->take();
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->payload, dot11::Bytes(40, 0x33));
  if (GetParam().cipher == DataCipher::Wep) return;  // one static key: nothing to mix

  // A rekey between two fragments of one MSDU: the second is refused, nothing comes out.
  ++sequence;
  TransmitFrame(Sealed(dot11::Bytes(msdu.begin(), msdu.begin() + 20), 0, true));
  InstallPairwise(GetParam().cipher, dot11::Bytes(32, 0x77));
  const std::uint64_t refused = port->refused();
  TransmitFrame(Sealed(dot11::Bytes(msdu.begin() + 20, msdu.end()), 1, false));
  EXPECT_FALSE(port->take().has_value());
  EXPECT_EQ(port->refused(), refused + 1);
}

TEST_P(DataPlane, RefusesPlaintextWhereKeysAreInForce) {
  // A plain data frame, and a plain fragment after a protected one.
  Transmit(Header(2, dot11::subtype::Data, dot11::flag::ToDs), Append(kSnapIpv4, {1}));
  ++sequence;
  TransmitFrame(Sealed(kSnapIpv4, 0, true));
  Transmit(Header(2, dot11::subtype::Data, dot11::flag::ToDs, 1), {2, 3});
  EXPECT_FALSE(port->take().has_value());
  EXPECT_EQ(port->refused(), 2u);
}

TEST_P(DataPlane, DropsReplayedFramesWhereTheCipherCounts) {
  const dot11::Bytes frame = Sealed(Append(kSnapIpv4, {5}));
  TransmitFrame(frame);
  TransmitFrame(frame);
  EXPECT_TRUE(port->take().has_value());
  // WEP carries no counter: the copy is taken like any frame.
  const bool counted = GetParam().cipher != DataCipher::Wep;
  EXPECT_EQ(port->take().has_value(), !counted);
  EXPECT_EQ(port->keys().counters().replays, counted ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Ciphers, DataPlane,
                         ::testing::Values(Network{"Ccmp", Security::Wpa2, DataCipher::Ccmp},
                                           Network{"Tkip", Security::Wpa, DataCipher::Tkip},
                                           Network{"Wep", Security::Wep, DataCipher::Wep}),
                         [](const auto& info) { return std::string(info.param.name); });

// The station sends message 4 of a rekey under the old key and installs the new key only
// after it: what it sealed in between reaches the access point, which has the new key from
// message 4, under the old one. Those frames are opened (replays refused) until the first
// frame under the new key; from then on the old key opens nothing.
TEST(CcmpDataPlane, FramesUnderTheReplacedKeyAreOpenedUntilTheNewKeyIsUsed) {
  Plane plane;
  plane.Start({"Ccmp", Security::Wpa2, DataCipher::Ccmp});
  const dot11::Bytes late = plane.Sealed(Plane::Append(kSnapIpv4, {1}));
  ++plane.sequence;
  const dot11::Bytes stale = plane.Sealed(Plane::Append(kSnapIpv4, {2}));
  const dot11::Bytes newTk(16, 0x77);
  plane.port->keys().setPairwise(kSta, DataCipher::Ccmp, newTk);  // message 4 arrived

  plane.TransmitFrame(late);
  auto out = plane.port->take();
  ASSERT_TRUE(out.has_value()) << "refused " << plane.port->refused();
  EXPECT_EQ(out->payload, dot11::Bytes{1});
  plane.TransmitFrame(late);
  EXPECT_FALSE(plane.port->take().has_value());
  EXPECT_EQ(plane.port->keys().counters().replays, 1u);

  plane.stationKeys->setPairwise(kAp, DataCipher::Ccmp, newTk);
  ++plane.sequence;
  plane.TransmitFrame(plane.Sealed(Plane::Append(kSnapIpv4, {3})));
  out = plane.port->take();
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->payload, dot11::Bytes{3});
  plane.TransmitFrame(stale);
  EXPECT_FALSE(plane.port->take().has_value());
  EXPECT_EQ(plane.port->keys().counters().integrityFailures, 1u);
}

// A forged TKIP frame (right ICV, wrong Michael) is refused and does not move the receive
// counter: the genuine frame with the same TSC still gets through.
TEST(TkipDataPlane, ForgedMichaelDoesNotAdvanceTheCounter) {
  Plane plane;
  plane.Start(Network{"Tkip", Security::Wpa, DataCipher::Tkip});
  FrameKeys forger({}, 0, KeyRole::Supplicant);
  dot11::Bytes wrongMichael = kTk;
  wrongMichael[24] ^= 0xFF;  // the station's Michael key
  forger.setPairwise(kAp, DataCipher::Tkip, wrongMichael);
  const dot11::Bytes body = Plane::Append(kSnapIpv4, {6, 6});
  auto forged = forger.seal(kAp, Plane::Append(plane.Header(2, dot11::subtype::Data, dot11::flag::ToDs), body));
  ASSERT_TRUE(forged.has_value());
  plane.TransmitFrame(*forged);
  EXPECT_FALSE(plane.port->take().has_value());
  EXPECT_EQ(plane.port->keys().counters().michaelFailures, 1u);

  plane.TransmitFrame(plane.Sealed(body));  // TSC 1 again, genuine
  auto out = plane.port->take();
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->payload, (dot11::Bytes{6, 6}));
}

// The test fault of a TKIP key: only the next frame to the station carries a wrong
// Michael, and only a TKIP key can carry one.
TEST(TkipDataPlane, ASpoiledMichaelFailsAtTheStationOnce) {
  Plane plane;
  plane.Start(Network{"Tkip", Security::Wpa, DataCipher::Tkip});
  ASSERT_TRUE(plane.port->keys().spoilNextMichael(kSta));
  EXPECT_FALSE(plane.port->keys().spoilNextMichael(kWired));  // no key for it
  for (const bool michaelHolds : {false, true}) {
    const std::size_t heard = plane.sta.heard.size();
    ASSERT_EQ(plane.port->deliver({kSta, kWired, 0x0800, {9, 8, 7}}), AccessPoint::DataOutcome::Sent);
    plane.scheduler.runFor(5ms);
    ASSERT_EQ(plane.sta.heard.size(), heard + 1);
    Refusal why = Refusal::None;
    auto opened = plane.stationKeys->open(kAp, plane.sta.heard.back().frame.bytes, why);
    ASSERT_TRUE(opened.has_value()) << RefusalName(why);  // the ICV holds: only Michael is wrong
    dot11::Bytes body(opened->frame.begin() + 24, opened->frame.end());
    EXPECT_EQ(plane.stationKeys->finishMsdu(kAp, opened->cipher, kSta, kWired, 0, body), michaelHolds);
  }
  EXPECT_EQ(plane.stationKeys->counters().michaelFailures, 1u);

  Plane ccmp;
  ccmp.Start(Network{"Ccmp", Security::Wpa2, DataCipher::Ccmp});
  EXPECT_FALSE(ccmp.port->keys().spoilNextMichael(kSta));
}

}  // namespace
}  // namespace simair
