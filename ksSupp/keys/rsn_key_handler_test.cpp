#include "ksSupp/keys/rsn_key_handler.h"

#include <functional>

#include "ksSupp/keys/key_handshake_fixture.h"

namespace {

using namespace keys_test;

class RsnHandshake : public HandshakeFixture<RsnKeyHandler> {};

struct Pairing {
  Cipher pairwise, group;
  air::MacAddress aa, spa;
};

class RsnHandshakeSuites : public RsnHandshake, public testing::WithParamInterface<Pairing> {};

TEST_P(RsnHandshakeSuites, BothSidesEndWithTheSameKeysAndRekey) {
  air::AuthenticatorConfig config = Config(GetParam().pairwise, GetParam().group);
  config.authenticatorAddress = GetParam().aa;
  config.supplicantAddress = GetParam().spa;
  Associate(config);
  EXPECT_FALSE(handler_.HandshakeComplete());
  CompleteHandshake();

  EXPECT_TRUE(ap_->GroupComplete());
  EXPECT_EQ(Bytes(handler_.InstalledPtk().begin(), handler_.InstalledPtk().end()), ap_->Ptk());
  ASSERT_EQ(services_.installed.size(), 2u);
  const InstalledKey& pairwise = services_.installed[0];
  ExpectPairwiseKey(pairwise);
  EXPECT_EQ(pairwise.rscLow | pairwise.rscHigh, 0u);
  ExpectGroupKey(services_.installed[1]);

  Exchange(ap_->StartGroupRekey());
  EXPECT_TRUE(ap_->GroupComplete()) << ap_->LastError();
  ASSERT_EQ(services_.installed.size(), 3u);
  ExpectGroupKey(services_.installed[2]);
  EXPECT_NE(services_.installed[2].key, services_.installed[1].key);
  EXPECT_TRUE(services_.failures.empty());
  EXPECT_TRUE(Traced("Authenticator IE has been validated\n"));
}

INSTANTIATE_TEST_SUITE_P(Suites, RsnHandshakeSuites,
                         testing::Values(Pairing{Cipher::Ccmp, Cipher::Ccmp, kHighAddress, kLowAddress},
                                         Pairing{Cipher::Ccmp, Cipher::Tkip, kLowAddress, kHighAddress},
                                         Pairing{Cipher::Tkip, Cipher::Tkip, kHighAddress, kLowAddress},
                                         Pairing{Cipher::Ccmp, Cipher::Wep104, kLowAddress, kHighAddress}));

// Each attack is refused with its trace line, installs nothing and reports what the host
// must hear of.
TEST_F(RsnHandshake, RefusesEveryAttackAndInstallsNothing) {
  struct Attack {
    Misbehaviour misbehaviour;
    bool duringRekey;
    const char* trace;
    std::vector<uint32_t> failures;
  };
  const Attack attacks[] = {
      {Misbehaviour::ChangeANonce, false, "EAPOL-Key handshake message 3 discarded: ANonce differs from message 1\n", {}},
      {Misbehaviour::BadMic, false, "EAPOL-Key handshake message 3 discarded: invalid MIC\n", {}},
      {Misbehaviour::ModifiedElement, false, "EAPOL-Key handshake message 3 discarded: authenticator IE does not match\n", {2}},
      {Misbehaviour::OversizedKeyDataLength, false, "EAPOL-Key message discarded: shorter than required by key data length\n", {}},
      {Misbehaviour::ZeroLengthGtk, false, "EAPOL-Key handshake message 3 discarded: error parsing GTK\n", {3}},
      {Misbehaviour::UnencryptedGtk, false, "EAPOL-Key handshake message 3 discarded: unencrypted GTK\n", {3}},
      {Misbehaviour::BadMic, true, "EAPOL-Key group key message discarded: invalid MIC\n", {}},
      {Misbehaviour::StaleReplayCounter, true, "EAPOL-Key message discarded: replay counter too low\n", {}},
      {Misbehaviour::OversizedKeyDataLength, true, "EAPOL-Key message discarded: shorter than required by key data length\n", {}},
      {Misbehaviour::ZeroLengthGtk, true, "EAPOL-Key group key message 1 discarded: error parsing GTK\n", {3}},
      {Misbehaviour::UnencryptedGtk, true, "EAPOL-Key group key message 1 discarded: unencrypted GTK\n", {3}},
  };
  for (const Attack& attack : attacks) {
    Associate(Config());
    ExpectAttackRefused(attack.misbehaviour, attack.duringRekey, attack.trace, attack.failures);
  }
}

TEST_F(RsnHandshake, AnANonceChangeLeavesThePtkForTheGenuineRetransmission) {
  Associate(Config());
  Bytes message1 = ap_->StartHandshake();
  ap_->Misbehave(Misbehaviour::ChangeANonce);
  Exchange(message1);
  EXPECT_TRUE(services_.installed.empty());
  Exchange(ap_->Retransmit());
  EXPECT_TRUE(ap_->PairwiseComplete()) << ap_->LastError();
  EXPECT_EQ(services_.installed.size(), 2u);
}

TEST_F(RsnHandshake, ALostMessage4IsSentAgainWithoutReinstallingKeys) {
  Associate(Config());
  Bytes message1 = ap_->StartHandshake();
  ap_->Misbehave(Misbehaviour::DropMessage4);
  Exchange(message1);
  EXPECT_FALSE(ap_->PairwiseComplete());
  ASSERT_EQ(services_.installed.size(), 2u);
  const size_t sent = services_.sent.size();

  Exchange(ap_->Retransmit());  // message 3 again, with the next replay counter
  EXPECT_EQ(services_.sent.size(), sent + 1) << "message 4 again";
  EXPECT_TRUE(ap_->PairwiseComplete()) << ap_->LastError();
  EXPECT_EQ(services_.installed.size(), 2u) << "neither the PTK nor the GTK installed twice";
  EXPECT_TRUE(Traced("Pairwise key already installed: not installed again\n"));
}

TEST_F(RsnHandshake, ARepeatedMessage1KeepsTheSNonce) {
  Associate(Config());
  Bytes message1 = ap_->StartHandshake();
  handler_.rsn_receive_key(message1.data(), static_cast<uint32_t>(message1.size()));
  const Bytes again = ap_->Retransmit();
  Exchange(again);
  ASSERT_GE(services_.sent.size(), 2u);
  EXPECT_EQ(Bytes(services_.sent[0].begin() + 17, services_.sent[0].begin() + 49),
            Bytes(services_.sent[1].begin() + 17, services_.sent[1].begin() + 49));
  EXPECT_TRUE(ap_->PairwiseComplete()) << ap_->LastError();
}

TEST_F(RsnHandshake, RefusesMessagesOutOfOrder) {
  Associate(Config());
  services_.psk.clear();
  Exchange(ap_->StartHandshake());
  EXPECT_TRUE(Traced("EAPOL-Key handshake message 1 discarded: no pre-shared key\n"));
  EXPECT_TRUE(services_.sent.empty());

  // A station that saw neither message 1 nor message 3 of the handshake.
  Associate(Config());
  const Bytes message1 = ap_->StartHandshake();
  handler_.rsn_receive_key(message1.data(), static_cast<uint32_t>(message1.size()));
  const Bytes message3 = *ap_->Receive(services_.sent.back());
  RsnKeyHandler fresh(services_);
  EXPECT_FALSE(fresh.rsn_receive_key(message3.data(), static_cast<uint32_t>(message3.size())));
  EXPECT_TRUE(Traced("EAPOL-Key handshake message 3 discarded: message 1 never received\n"));
  Exchange(message3);
  const Bytes group = ap_->StartGroupRekey();
  EXPECT_FALSE(fresh.rsn_receive_key(group.data(), static_cast<uint32_t>(group.size())));
  EXPECT_TRUE(Traced("EAPOL-Key group key message discarded: PTK not negotiated\n"));
  EXPECT_TRUE(services_.failures.empty());
}

TEST_F(RsnHandshake, CommonChecksRefuseMalformedFrames) {
  Associate(Config());
  const Bytes message1 = ap_->StartHandshake();
  struct Case {
    const char* trace;
    std::function<void(Bytes&)> damage;
  };
  const Case cases[] = {
      {"EAPOL-Key message discarded: too short to include key descriptor prefix\n", [](Bytes& f) { f.resize(4); }},
      {"EAPOL-Key message discarded: descriptor type not RSN\n", [](Bytes& f) { f[4] = 254; }},
      {"EAPOL-Key message discarded: too short\n", [](Bytes& f) { f.resize(98); }},
      {"EAPOL-Key message discarded: key length out of range (257)\n", [](Bytes& f) { f[7] = 1; f[8] = 1; }},
      {"EAPOL-Key message discarded: unknown version (3)\n", [](Bytes& f) { f[6] = (f[6] & 0xF8) | 3; }},
  };
  for (const Case& c : cases) {
    Bytes frame = message1;
    c.damage(frame);
    trace_.clear();
    EXPECT_FALSE(handler_.rsn_receive_key(frame.data(), static_cast<uint32_t>(frame.size())));
    EXPECT_TRUE(Traced(c.trace)) << c.trace;
  }
  EXPECT_TRUE(services_.sent.empty());
}

TEST_F(RsnHandshake, AuthIndicationsIssueSignedRequests) {
  Associate(Config());
  ExpectSignedRequests({{0x0E, 0x0F02, "Group key error\n"},  // group MIC failure: not reported as pairwise
                        {0x06, 0x0F0A, "Pairwise key error\n"},
                        {0x02, 0x090A, "Key update\n"},
                        {0x10, std::nullopt, "Unknown RSN auth request\n"}},
                       [this](uint32_t flags) { handler_.RsnAuthIndication(flags, kHighAddress.data()); });
  EXPECT_EQ(services_.sent.back()[0], 2) << "EAPOL version 2";
  handler_.RsnAuthIndication(0x01, kHighAddress.data());
  EXPECT_EQ(services_.reauthentications, 1);
}

// 802.1X: the PMK of the EAP authentication is cached once message 3 proved it, and a
// reassociation that names it by PMKID runs the 4-way handshake without EAP.
TEST_F(RsnHandshake, EapKeysAreCachedAndNamedOnReassociation) {
  const Bytes eapPmk(32, 0x6B);
  air::AuthenticatorConfig config = Config();
  config.pmk = eapPmk;
  config.pmkidInMessage1 = true;
  config.supplicantElement = air::BuildElement(KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp, air::Akm::Ieee8021X);
  config.authenticatorElement = config.supplicantElement;
  Associate(config, {}, /*psk=*/false);
  handler_.SetPmk(eapPmk.data(), 32);  // EAP succeeded
  EXPECT_TRUE(handler_.Pmk().Empty()) << "pending until the handshake proves it";
  CompleteHandshake();
  EXPECT_EQ(services_.cachedHandshakes, 1);
  ASSERT_EQ(handler_.Pmksa().Count(), 1u);
  EXPECT_EQ(Bytes(handler_.InstalledPtk().begin(), handler_.InstalledPtk().end()), ap_->Ptk());

  Associate(config, {}, /*psk=*/false);  // reassociation: no EAP this time
  services_.installed.clear();
  CompleteHandshake();
  EXPECT_EQ(services_.cacheHits, 2);
  EXPECT_EQ(services_.installed.size(), 2u);

  config.pmk = Bytes(32, 0x7C);  // an access point whose PMKSA we never had
  Associate(config, {}, /*psk=*/false);
  const size_t sent = services_.sent.size(), maps = services_.pmkidMaps.size();
  Exchange(ap_->StartHandshake());
  EXPECT_TRUE(Traced("EAPOL-Key handshake message 1 discarded: PMKID not found in cache\n"));
  EXPECT_EQ(services_.sent.size(), sent);
  EXPECT_EQ(services_.pmkidMaps.size(), maps + 1);
}

TEST_F(RsnHandshake, WithoutAPmkidMessage1UsesTheFreshPmk) {
  const Bytes eapPmk(32, 0x6B);
  air::AuthenticatorConfig config = Config();
  config.pmk = eapPmk;
  config.supplicantElement = air::BuildElement(KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp, air::Akm::Ieee8021X);
  Associate(config, {}, /*psk=*/false);
  Exchange(ap_->StartHandshake());
  EXPECT_TRUE(Traced("EAPOL-Key handshake message 1 discarded: no PMK or PMKID for lookup\n"));

  handler_.SetPmk(eapPmk.data(), 32);
  CompleteHandshake();
  EXPECT_TRUE(Traced("No PMKID found in handshake message 1\n"));
  EXPECT_EQ(services_.cacheHits, 0);
  EXPECT_EQ(handler_.Pmksa().Count(), 1u);
}

}  // namespace
