// The access point's PSK key exchange on the simulated air against the supplicant's key
// handlers (supplicant_on_air.h): keys agreed and carrying data, lost and unanswered
// messages, rekeys, and the countermeasures after Michael MIC failure reports.
#include "sim/air/with_supplicant/supplicant_on_air.h"

namespace simair::testing {
namespace {

struct KeyExchangeOnAir : ::testing::TestWithParam<Network>, SupplicantOnAir {
  void SetUp() override { Start(GetParam()); }
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
  Pump(150ms);  // the handshake, and the 100 ms before data goes under the new key
  ASSERT_TRUE(exchange->keysInForce(kSta));
  EXPECT_NE(exchange->authenticator(kSta)->TemporalKey(), firstTk);
  EXPECT_EQ(sta->keys.keyGeneration(kAp), 2u);
  ExpectDataBothWays(4);
}

// The station puts its new pairwise key in force as it sends message 4, the access point as
// message 4 comes in, and the station's host installs it a little later: a frame sealed under
// either key in between could be lost. Frames for the station during the rekey wait, and go
// under the new key once it has settled.
TEST_P(KeyExchangeOnAir, FramesDuringAPairwiseRekeyWaitForTheNewKey) {
  Connect();
  const std::uint32_t accessPointKey = port->keys().keyGeneration(kSta);
  ASSERT_TRUE(exchange->rekeyPairwise(kSta));
  for (int ms = 0; ms < 50 && sta->keys.keyGeneration(kAp) < 2; ++ms) {
    scheduler.runFor(1ms);
    Hear();
  }
  ASSERT_EQ(sta->keys.keyGeneration(kAp), 2u);
  ASSERT_EQ(port->keys().keyGeneration(kSta), accessPointKey) << "message 4 is still on its way";
  sta->dataHeard.clear();
  EXPECT_EQ(port->deliver({kSta, kWired, 0x0800, {9, 3, 4}}), AccessPoint::DataOutcome::Buffered);
  EXPECT_EQ(port->held(kSta), 1u);
  Pump(10ms);
  EXPECT_NE(port->keys().keyGeneration(kSta), accessPointKey);  // message 4 came in
  EXPECT_EQ(port->held(kSta), 1u);
  Pump(100ms);
  EXPECT_EQ(port->held(kSta), 0u);
  ASSERT_EQ(sta->dataHeard.size(), 1u);
  EXPECT_EQ(sta->dataHeard[0], Append(kSnapIpv4, dot11::Bytes{9, 3, 4}));
  ExpectDataBothWays(5);

  // A station that leaves during a rekey leaves nothing waiting.
  ASSERT_TRUE(exchange->rekeyPairwise(kSta));
  EXPECT_EQ(port->deliver({kSta, kWired, 0x0800, {9, 5, 6}}), AccessPoint::DataOutcome::Buffered);
  ASSERT_TRUE(ap->deauthenticate(kSta, 3));
  EXPECT_EQ(port->held(kSta), 0u);
}

// The access point's rekey intervals: a new group key every second, a new pairwise key 2.5 s
// after the last came into force; the station follows each and data keeps flowing.
struct KeyExchangeOnAirRekeying : KeyExchangeOnAir {
  void SetUp() override {
    groupRekeyInterval = 1s;
    pairwiseRekeyInterval = 2500ms;
    Start(GetParam());
  }
};

TEST_P(KeyExchangeOnAirRekeying, TheIntervalsRekeyOnTheirOwn) {
  Connect();
  const bool wpa = GetParam().protocol == KeyProtocol::Wpa;
  const std::uint64_t firstGroupHandshakes = exchange->counters().groupHandshakes;  // WPA's first
  const air::Bytes firstTk = exchange->authenticator(kSta)->TemporalKey();
  Pump(4900ms);  // group rekeys at 1 to 4 s, a pairwise one at 2.5 s (WPA's group handshake after it)
  const KeyExchangeCounters& counters = exchange->counters();
  EXPECT_EQ(counters.handshakes, 2u);
  EXPECT_EQ(counters.groupHandshakes - firstGroupHandshakes, wpa ? 5u : 4u);
  EXPECT_EQ(counters.refusedFrames, 0u);
  EXPECT_EQ(counters.retransmissions, 0u);
  EXPECT_NE(exchange->authenticator(kSta)->TemporalKey(), firstTk);
  EXPECT_EQ(sta->keys.keyGeneration(kAp), 2u);
  EXPECT_EQ(sta->services.installed.back().key, exchange->authenticator(kSta)->Gtk());
  ExpectDataBothWays(6);
}

// A rekey never cuts a handshake short: the pairwise rekey that falls due while a group
// handshake waits for its retransmission starts once that handshake is done.
TEST_P(KeyExchangeOnAirRekeying, ARekeyDueDuringAHandshakeWaitsForItsEnd) {
  Connect();
  Pump(900ms);
  // The station's first two answers to the group rekey at 1 s are lost: group message 1 goes
  // again at 2 s and 3 s, and the pairwise rekey falls due in between, 2.5 s after the first keys.
  medium.dropNext(2, FrameMatch{dot11::FrameType::Data, std::nullopt, kSta, kAp});
  Pump(1800ms);
  const KeyExchangeCounters& counters = exchange->counters();
  EXPECT_EQ(counters.retransmissions, 1u);
  EXPECT_EQ(counters.handshakes, 1u);
  Pump(500ms);
  EXPECT_EQ(counters.retransmissions, 2u);
  EXPECT_EQ(counters.handshakes, 2u);
  EXPECT_EQ(counters.timeouts, 0u);
  EXPECT_EQ(counters.refusedFrames, 0u);
  ExpectDataBothWays(7);
}

INSTANTIATE_TEST_SUITE_P(Networks, KeyExchangeOnAirRekeying,
                         ::testing::Values(Network{"Wpa2Ccmp", Security::Wpa2, KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp},
                                           Network{"WpaTkip", Security::Wpa, KeyProtocol::Wpa, Cipher::Tkip, Cipher::Tkip}),
                         [](const auto& info) { return std::string(info.param.name); });

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
}  // namespace simair::testing
