#pragma once
// A station on the simulated air whose keys come from the supplicant's key handlers, at an
// access point with its data plane and PSK key exchange: the station hands every EAPOL
// frame it hears to the RSN or WPA key handler, sends what the handler answers as data
// frames, and keeps the keys the handler hands over in a FrameKeys of its own, so data then
// flows under the keys the two sides agreed.
#include <gtest/gtest.h>

#include "ksSupp/keys/key_handshake_fixture.h"
#include "sim/air/medium.h"
#include "sim/air/pcap_recorder.h"
#include "sim/air/psk_key_exchange.h"
#include "sim/air/test_radio.h"

namespace simair::testing {

using namespace std::chrono_literals;
using air::Cipher;
using air::KeyProtocol;

inline const MacAddress kAp{0x02, 0x00, 0x00, 0x00, 0x02, 0x01}, kSta{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x02},
    kWired{0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
inline const dot11::Bytes kSnapEapol{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x88, 0x8E};
inline const dot11::Bytes kSnapIpv4{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00};
inline constexpr std::uint32_t kPairwiseKeyIndex = 0xE0000000u;

struct Network {
  const char* name;
  Security security;
  KeyProtocol protocol;  // the element the station chooses
  Cipher pairwise, group;
};

inline void PrintTo(const Network& network, std::ostream* os) { *os << network.name; }

inline dot11::Bytes Append(dot11::Bytes a, std::span<const std::uint8_t> b) {
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

struct SupplicantOnAir {
  Network network{};
  ndis::Scheduler scheduler;
  Medium medium{scheduler};
  TestRadio radio{kSta, 1};
  std::unique_ptr<AccessPoint> ap;
  std::unique_ptr<DistributionPort> port;
  std::unique_ptr<PskKeyExchange> exchange;
  std::unique_ptr<Station> sta;
  dot11::Bytes stationElement;
  std::uint16_t sequence = 0;
  ndis::Micros groupRekeyInterval{0}, pairwiseRekeyInterval{0};  // the access point's, set before Start

  // The access point of `n`, recorded in `recorder` when one is given (it must outlive this).
  void Start(const Network& n, PcapRecorder* recorder = nullptr) {
    network = n;
    if (recorder != nullptr) medium.setRecorder(recorder, kSta);
    AccessPointConfig config;
    config.bssid = kAp;
    config.ssid = keys_test::kSsid;
    config.security = network.security;
    config.passphrase = Secret(keys_test::kPassphrase);
    config.groupRekeyInterval = groupRekeyInterval;
    config.pairwiseRekeyInterval = pairwiseRekeyInterval;
    ap = std::make_unique<AccessPoint>(scheduler, medium, config);
    port = std::make_unique<DistributionPort>(*ap);
    exchange = std::make_unique<PskKeyExchange>(scheduler, *ap, *port);
    medium.join(radio);
    ap->start();
    stationElement = air::BuildElement(network.protocol, network.pairwise, network.group);
  }
  ~SupplicantOnAir() {
    exchange.reset();
    port.reset();
    ap.reset();
  }

  // Open-system authentication and association with the station's element; the handler is
  // set up as the host does at association.
  void Associate() {
    sta = std::make_unique<Station>(network.protocol);
    sta->heardSeen = radio.heard.size();
    KeyHandler& handler = sta->handler();
    sta->services.handler = &handler;
    sta->services.psk = keys_test::StationPsk();
    handler.Reset();
    handler.SetAddresses(kAp.data(), kSta.data());
    const dot11::Bytes beacon =
        air::BuildElement(network.protocol, network.protocol == KeyProtocol::Rsn ? Cipher::Ccmp : Cipher::Tkip,
                          network.group);
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

}  // namespace simair::testing
