// The access point's PSK key exchange on the simulated air against the supplicant's key
// handlers: the station's side of these tests hands every EAPOL frame it hears to the RSN
// or WPA key handler, sends what the handler answers as data frames, and installs the keys
// the handler hands over in a FrameKeys of its own, so data then flows under the keys the
// two sides agreed.
#include <gtest/gtest.h>

#include "ksSupp/keys/key_handshake_fixture.h"
#include "sim/air/medium.h"
#include "sim/air/psk_key_exchange.h"
#include "sim/air/test_radio.h"

namespace simair {
namespace {

using namespace std::chrono_literals;
using air::Cipher;
using air::KeyProtocol;

const MacAddress kAp{0x02, 0x00, 0x00, 0x00, 0x02, 0x01}, kSta{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x02},
    kWired{0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
const dot11::Bytes kSnapEapol{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x88, 0x8E};
const dot11::Bytes kSnapIpv4{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00};
constexpr std::uint32_t kPairwiseKeyIndex = 0xE0000000u;

struct Network {
  const char* name;
  Security security;
  KeyProtocol protocol;  // the element the station chooses
  Cipher pairwise, group;
};

void PrintTo(const Network& network, std::ostream* os) { *os << network.name; }

dot11::Bytes Append(dot11::Bytes a, std::span<const std::uint8_t> b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The station: a radio, the key handler of its protocol, and its keys.
struct Station {
  explicit Station(KeyProtocol protocol) : rsn(protocol == KeyProtocol::Rsn) {}
  bool rsn;
  keys_test::RecordingServices services;
  RsnKeyHandler rsnHandler{services};
  WpaKeyHandler wpaHandler{services};
  FrameKeys keys{{}, 0, KeyRole::Supplicant};
  std::size_t installedSeen = 0, heardSeen = 0, sentSeen = 0;
  std::vector<dot11::Bytes> eapolHeard;
  std::vector<dot11::Bytes> dataHeard;  // bodies of the other data frames, opened
  std::vector<std::uint16_t> deauthentications;
  std::vector<std::uint16_t> associationStatuses;

  KeyHandler& handler() { return rsn ? static_cast<KeyHandler&>(rsnHandler) : wpaHandler; }
  bool Deliver(const dot11::Bytes& eapol) {
    return rsn ? keys_test::Deliver(rsnHandler, eapol) : keys_test::Deliver(wpaHandler, eapol);
  }
};

struct KeyExchangeOnAir : ::testing::TestWithParam<Network> {
  ndis::Scheduler scheduler;
  Medium medium{scheduler};
  TestRadio radio{kSta, 1};
  std::unique_ptr<AccessPoint> ap;
  std::unique_ptr<DistributionPort> port;
  std::unique_ptr<PskKeyExchange> exchange;
  std::unique_ptr<Station> sta;
  dot11::Bytes stationElement;
  std::uint16_t sequence = 0;

  void SetUp() override {
    const Network& network = GetParam();
    AccessPointConfig config;
    config.bssid = kAp;
    config.ssid = keys_test::kSsid;
    config.security = network.security;
    config.passphrase = Secret(keys_test::kPassphrase);
    ap = std::make_unique<AccessPoint>(scheduler, medium, config);
    port = std::make_unique<DistributionPort>(*ap);
    exchange = std::make_unique<PskKeyExchange>(scheduler, *ap, *port);
    medium.join(radio);
    ap->start();
    stationElement = air::BuildElement(network.protocol, network.pairwise, network.group);
  }
  void TearDown() override {
    exchange.reset();
    port.reset();
  }

  // Open-system authentication and association with the station's element; the handler is
  // set up as the host does at association.
  void Associate() {
    sta = std::make_unique<Station>(GetParam().protocol);
    sta->heardSeen = radio.heard.size();
    KeyHandler& handler = sta->handler();
    sta->services.handler = &handler;
    sta->services.psk = keys_test::StationPsk();
    handler.Reset();
    handler.SetAddresses(kAp.data(), kSta.data());
    const dot11::Bytes beacon =
        air::BuildElement(GetParam().protocol, GetParam().protocol == KeyProtocol::Rsn ? Cipher::Ccmp : Cipher::Tkip,
                          GetParam().group);
    handler.SetAuthenticatorIes(beacon.data(), static_cast<std::uint32_t>(beacon.size()));
    handler.SetSupplicantIes(stationElement.data(), static_cast<std::uint32_t>(stationElement.size()));
    Transmit(Management(dot11::subtype::Authentication, {0, 0, 1, 0, 0, 0}));
    dot11::Bytes request{0x11, 0x00, 0x0A, 0x00, 0, static_cast<std::uint8_t>(keys_test::kSsid.size())};
    request.insert(request.end(), keys_test::kSsid.begin(), keys_test::kSsid.end());
    Transmit(Management(dot11::subtype::AssociationRequest, Append(request, stationElement)));
  }
  dot11::Bytes Management(std::uint8_t sub, const dot11::Bytes& body) {
    dot11::FrameWriter w;
    w.header(dot11::FrameType::Management, sub, 0, kAp, kSta, kAp, sequence++);
    w.raw(body);
    return w.take();
  }
  void Transmit(dot11::Bytes frame) {
    medium.transmit(radio, {std::move(frame), 1, 2});
    Pump(5ms);
  }
  // A data frame of the station toward the wired side, sealed once it has a pairwise key.
  void SendData(const dot11::Bytes& body, bool seal) {
    dot11::FrameWriter w;
    w.header(dot11::FrameType::Data, dot11::subtype::Data, dot11::flag::ToDs, kAp, kSta, kWired, sequence++);
    w.raw(body);
    auto frame = seal ? sta->keys.seal(kAp, w.take()) : std::optional<dot11::Bytes>(w.take());
    ASSERT_TRUE(frame.has_value());
    medium.transmit(radio, {std::move(*frame), 1, 2});
  }

  // Runs the air for `duration`, the station answering what it hears as it goes.
  void Pump(ndis::Micros duration) {
    const ndis::Micros end = scheduler.now() + duration;
    while (true) {
      scheduler.runFor(1ms);
      if (sta) Hear();
      if (scheduler.now() >= end) break;
    }
  }
  void Hear() {
    while (sta->heardSeen < radio.heard.size()) {
      const dot11::Bytes frame = radio.heard[sta->heardSeen++].frame.bytes;
      const dot11::FrameView view(frame);
      if (view.is(dot11::FrameType::Management, dot11::subtype::Deauthentication) && frame.size() >= 26)
        sta->deauthentications.push_back(static_cast<std::uint16_t>(frame[24] | frame[25] << 8));
      if (view.is(dot11::FrameType::Management, dot11::subtype::AssociationResponse) && frame.size() >= 28)
        sta->associationStatuses.push_back(static_cast<std::uint16_t>(frame[26] | frame[27] << 8));
      if (view.is(dot11::FrameType::Data, dot11::subtype::Data)) HearData(frame);
    }
  }
  void HearData(const dot11::Bytes& frame) {
    dot11::Bytes body(frame.begin() + 24, frame.end());
    if ((frame[1] & dot11::flag::Protected) != 0) {
      Refusal why = Refusal::None;
      auto opened = sta->keys.open(kAp, frame, why);
      ASSERT_TRUE(opened.has_value()) << RefusalName(why);
      body.assign(opened->frame.begin() + 24, opened->frame.end());
      MacAddress source;
      std::copy_n(frame.begin() + 16, 6, source.begin());
      ASSERT_TRUE(sta->keys.finishMsdu(kAp, opened->cipher, kSta, source, 0, body));
    }
    if (body.size() < 8 || !std::equal(kSnapEapol.begin(), kSnapEapol.end(), body.begin())) {
      sta->dataHeard.push_back(body);
      return;
    }
    const dot11::Bytes eapol(body.begin() + 8, body.end());
    sta->eapolHeard.push_back(eapol);
    const bool keyBefore = sta->keys.keyGeneration(kAp) != 0;
    sta->Deliver(eapol);
    SendAnswers(keyBefore);
    InstallKeys();
  }
  // What the handler asked to send goes out, sealed when a pairwise key was in force before.
  void SendAnswers(bool seal) {
    for (; sta->sentSeen < sta->services.sent.size(); ++sta->sentSeen)
      SendData(Append(kSnapEapol, sta->services.sent[sta->sentSeen]), seal);
  }
  void InstallKeys() {
    for (; sta->installedSeen < sta->services.installed.size(); ++sta->installedSeen) {
      const auto& key = sta->services.installed[sta->installedSeen];
      if (key.index == kPairwiseKeyIndex)
        sta->keys.setPairwise(kAp, key.key.size() == 32 ? DataCipher::Tkip : DataCipher::Ccmp, key.key);
    }
  }
  // The handshake of an association, run to its end.
  void Connect() {
    Associate();
    Pump(50ms);
    ASSERT_TRUE(exchange->keysInForce(kSta));
    ASSERT_TRUE(sta->handler().HandshakeComplete());
  }
  void ExpectDataBothWays(std::uint8_t marker) {
    SendData(Append(kSnapIpv4, dot11::Bytes{marker, 1, 2}), true);
    Pump(5ms);
    auto out = port->take();
    ASSERT_TRUE(out.has_value()) << "refused " << port->refused();
    EXPECT_EQ(out->payload, (dot11::Bytes{marker, 1, 2}));
    sta->dataHeard.clear();
    ASSERT_EQ(port->deliver({kSta, kWired, 0x0800, {marker, 3, 4}}), AccessPoint::DataOutcome::Sent);
    Pump(5ms);
    ASSERT_EQ(sta->dataHeard.size(), 1u);
    EXPECT_EQ(sta->dataHeard[0], Append(kSnapIpv4, dot11::Bytes{marker, 3, 4}));
  }
};

TEST_P(KeyExchangeOnAir, HandshakeAgreesOnKeysThatCarryData) {
  Connect();
  air::PskAuthenticator* authenticator = exchange->authenticator(kSta);
  ASSERT_NE(authenticator, nullptr);
  ASSERT_GE(sta->services.installed.size(), 2u);
  const auto& pairwise = sta->services.installed[0];
  EXPECT_EQ(pairwise.index, kPairwiseKeyIndex);
  EXPECT_EQ(pairwise.key, authenticator->TemporalKey());
  EXPECT_EQ(sta->services.installed[1].key, authenticator->Gtk());
  if (GetParam().protocol == KeyProtocol::Rsn) {
    // Message 1 names the PMKSA: its Key Data is the PMKID KDE.
    const air::Bytes pmkid = air::Pmkid(keys_test::AccessPointPsk(), kAp.data(), kSta.data());
    const dot11::Bytes& message1 = sta->eapolHeard.at(0);
    const dot11::Bytes kde = Append({0xDD, 0x14, 0x00, 0x0F, 0xAC, 0x04}, pmkid);
    ASSERT_GE(message1.size(), 99u + kde.size());
    EXPECT_EQ(dot11::Bytes(message1.begin() + 99, message1.begin() + 99 + static_cast<std::ptrdiff_t>(kde.size())), kde);
  }
  ExpectDataBothWays(1);
}

TEST_P(KeyExchangeOnAir, LostMessagesAreSentAgainAndSilenceEndsTheAssociation) {
  // The first message 1 is lost: the next, a second later, completes the handshake.
  medium.dropNext(1, FrameMatch{dot11::FrameType::Data, std::nullopt, kAp, kSta});
  Associate();
  Pump(500ms);
  EXPECT_FALSE(exchange->keysInForce(kSta));
  Pump(700ms);
  EXPECT_TRUE(exchange->keysInForce(kSta));
  EXPECT_EQ(exchange->counters().retransmissions, 1u);
  ExpectDataBothWays(2);

  // A station that never answers is deauthenticated after the fourth message 1.
  radio.on = false;
  sta->heardSeen = radio.heard.size();
  ASSERT_TRUE(exchange->rekeyPairwise(kSta));
  Pump(3500ms);
  EXPECT_TRUE(ap->associated(kSta));
  Pump(1000ms);
  EXPECT_FALSE(ap->associated(kSta));
  EXPECT_EQ(exchange->counters().timeouts, 1u);
  EXPECT_FALSE(exchange->keysInForce(kSta));
}

TEST_P(KeyExchangeOnAir, RekeysReplaceTheKeysInForce) {
  Connect();
  const air::Bytes firstTk = exchange->authenticator(kSta)->TemporalKey();
  const std::size_t installed = sta->services.installed.size();
  exchange->rekeyGroup();
  Pump(20ms);
  ASSERT_EQ(sta->services.installed.size(), installed + 1);
  EXPECT_EQ(sta->services.installed.back().key, exchange->authenticator(kSta)->Gtk());
  ExpectDataBothWays(3);

  ASSERT_TRUE(exchange->rekeyPairwise(kSta));
  Pump(50ms);
  ASSERT_TRUE(exchange->keysInForce(kSta));
  EXPECT_NE(exchange->authenticator(kSta)->TemporalKey(), firstTk);
  EXPECT_EQ(sta->keys.keyGeneration(kAp), 2u);
  ExpectDataBothWays(4);
}

TEST_P(KeyExchangeOnAir, TwoMichaelFailureReportsWithinAMinuteStartTheCountermeasures) {
  Connect();
  const auto report = [this] {
    if (sta->rsn) sta->rsnHandler.RsnAuthIndication(4, kAp.data());
    else sta->wpaHandler.WpaAuthIndication(4, kAp.data());
    SendAnswers(true);
    Pump(5ms);
  };
  report();
  Pump(61s);  // the first report has aged out of the window
  report();
  EXPECT_EQ(exchange->counters().micFailureReports, 2u);
  EXPECT_TRUE(sta->deauthentications.empty());
  Pump(30s);
  report();
  EXPECT_EQ(sta->deauthentications, (std::vector<std::uint16_t>{14}));
  EXPECT_FALSE(ap->associated(kSta));
  EXPECT_TRUE(exchange->countermeasuresActive());

  // Associations are refused for 60 s, then taken again.
  Associate();
  EXPECT_EQ(sta->associationStatuses, (std::vector<std::uint16_t>{1}));
  Pump(60s);
  Connect();
  ExpectDataBothWays(5);
}

INSTANTIATE_TEST_SUITE_P(Networks, KeyExchangeOnAir,
                         ::testing::Values(Network{"Wpa2Ccmp", Security::Wpa2, KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp},
                                           Network{"WpaTkip", Security::Wpa, KeyProtocol::Wpa, Cipher::Tkip, Cipher::Tkip},
                                           Network{"MixedChoosingRsn", Security::WpaWpa2, KeyProtocol::Rsn, Cipher::Ccmp,
                                                   Cipher::Tkip}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace simair
