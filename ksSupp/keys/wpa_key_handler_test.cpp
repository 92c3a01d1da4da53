#include "ksSupp/keys/wpa_key_handler.h"

#include "ksSupp/keys/key_handshake_fixture.h"

namespace {

using namespace keys_test;

class WpaHandshake : public HandshakeFixture<WpaKeyHandler> {};

struct WpaSuite {
  Cipher pairwise, group;
  air::MacAddress aa, spa;
  uint8_t groupKeyIndex;
  bool transmit;  // Install bit of the group message
};

class WpaHandshakeSuites : public WpaHandshake, public testing::WithParamInterface<WpaSuite> {};

// The pairwise key comes with message 3's Key RSC, the group key in a handshake of its own
// with its index in Key Information; both sides end with the same keys, and a rekey brings
// a new group key.
TEST_P(WpaHandshakeSuites, BothSidesEndWithTheSameKeysAndRekey) {
  const WpaSuite& suite = GetParam();
  air::AuthenticatorConfig config = Config(suite.pairwise, suite.group);
  config.authenticatorAddress = suite.aa;
  config.supplicantAddress = suite.spa;
  config.groupKeyIndex = suite.groupKeyIndex;
  config.groupKeyTransmit = suite.transmit;
  config.pairwiseRsc = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x00};
  config.eapolVersion = 1;
  Associate(config);
  CompleteHandshake();

  EXPECT_TRUE(ap_->GroupComplete()) << ap_->LastError();
  EXPECT_EQ(Bytes(handler_.InstalledPtk().begin(), handler_.InstalledPtk().end()), ap_->Ptk());
  EXPECT_EQ(services_.sent[0][0], 1) << "answers keep the access point's EAPOL version";
  EXPECT_EQ(services_.sent[0][4], 254);
  ASSERT_EQ(services_.installed.size(), 2u);
  ExpectPairwiseKey(services_.installed[0]);
  EXPECT_EQ(services_.installed[0].rscLow, 0x44332211u);
  EXPECT_EQ(services_.installed[0].rscHigh, 0x00776655u);
  ExpectGroupKey(services_.installed[1]);
  EXPECT_EQ(services_.installed[1].index & 3, suite.groupKeyIndex);

  Exchange(ap_->StartGroupRekey());
  EXPECT_TRUE(ap_->GroupComplete()) << ap_->LastError();
  ASSERT_EQ(services_.installed.size(), 3u);
  ExpectGroupKey(services_.installed[2]);
  EXPECT_NE(services_.installed[2].key, services_.installed[1].key);
  EXPECT_TRUE(services_.failures.empty());
  EXPECT_TRUE(Traced("Authenticator IE has been validated\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Suites, WpaHandshakeSuites,
    testing::Values(WpaSuite{Cipher::Tkip, Cipher::Tkip, kHighAddress, kLowAddress, 1, false},
                    WpaSuite{Cipher::Tkip, Cipher::Wep40, kLowAddress, kHighAddress, 2, true},
                    WpaSuite{Cipher::Ccmp, Cipher::Ccmp, kLowAddress, kHighAddress, 2, true},
                    WpaSuite{Cipher::Ccmp, Cipher::Tkip, kHighAddress, kLowAddress, 1, false},
                    WpaSuite{Cipher::Ccmp, Cipher::Wep104, kHighAddress, kLowAddress, 3, false}));

// Each attack is refused with its trace line, installs nothing and reports what the host
// must hear of.
TEST_F(WpaHandshake, RefusesEveryAttackAndInstallsNothing) {
  struct Attack {
    Misbehaviour misbehaviour;
    Cipher pairwise;
    bool duringRekey;
    const char* trace;
    std::vector<uint32_t> failures;
  };
  const Attack attacks[] = {
      {Misbehaviour::ChangeANonce, Cipher::Tkip, false, "EAPOL-Key pairwise key message 3 discarded: ANonce differs from message 1\n", {}},
      {Misbehaviour::BadMic, Cipher::Tkip, false, "EAPOL-Key pairwise key message 3 discarded: invalid MIC\n", {}},
      {Misbehaviour::BadMic, Cipher::Ccmp, false, "EAPOL-Key pairwise key message 3 discarded: invalid MIC\n", {}},
      {Misbehaviour::ModifiedElement, Cipher::Tkip, false, "EAPOL-Key pairwise key message 3 discarded: authenticator IE does not match\n", {2}},
      {Misbehaviour::OversizedKeyDataLength, Cipher::Tkip, false, "EAPOL-Key message discarded: shorter than required by key data length\n", {}},
      {Misbehaviour::BadMic, Cipher::Tkip, true, "EAPOL-Key group key message discarded: invalid MIC\n", {}},
      {Misbehaviour::StaleReplayCounter, Cipher::Tkip, true, "EAPOL-Key message discarded: replay counter too low\n", {}},
      {Misbehaviour::OversizedKeyDataLength, Cipher::Ccmp, true, "EAPOL-Key message discarded: shorter than required by key data length\n", {}},
      {Misbehaviour::ZeroLengthGtk, Cipher::Tkip, true, "EAPOL-Key group key message discarded: group key length is invalid\n", {3}},
      {Misbehaviour::ZeroLengthGtk, Cipher::Ccmp, true, "EAPOL-Key group key message discarded: group key length is invalid\n", {3}},
      // A clear 16-byte key holds no AES-wrapped key of 16 bytes.
      {Misbehaviour::UnencryptedGtk, Cipher::Ccmp, true, "EAPOL-Key group key message discarded: error decrypting group key\n", {4}},
  };
  for (const Attack& attack : attacks) {
    Associate(Config(attack.pairwise, Cipher::Ccmp));
    ExpectAttackRefused(attack.misbehaviour, attack.duringRekey, attack.trace, attack.failures);
  }
}

TEST_F(WpaHandshake, TheSignedElementMustBeTheWholeKeyData) {
  air::AuthenticatorConfig config = Config(Cipher::Tkip, Cipher::Tkip);
  // The beacon's run ends in a stray byte that is no element; message 3 signs both.
  config.authenticatorElement = air::BuildElement(KeyProtocol::Wpa, Cipher::Tkip, Cipher::Tkip);
  config.authenticatorElement.push_back(0x00);
  Associate(config);
  Exchange(ap_->StartHandshake());
  EXPECT_TRUE(Traced("EAPOL-Key pairwise key message 3 discarded: authenticator IE does not match\n"));
  EXPECT_TRUE(services_.installed.empty());
  EXPECT_EQ(services_.failures, std::vector<uint32_t>{2});
}

TEST_F(WpaHandshake, ALostMessage4IsSentAgainWithoutReinstallingKeys) {
  Associate(Config(Cipher::Tkip, Cipher::Tkip));
  Bytes message1 = ap_->StartHandshake();
  ap_->Misbehave(Misbehaviour::DropMessage4);
  Exchange(message1);
  EXPECT_FALSE(ap_->PairwiseComplete());
  ASSERT_EQ(services_.installed.size(), 1u);

  Exchange(ap_->Retransmit());  // message 3 again: message 4, then the group handshake
  EXPECT_TRUE(ap_->PairwiseComplete()) << ap_->LastError();
  EXPECT_TRUE(ap_->GroupComplete()) << ap_->LastError();
  ASSERT_EQ(services_.installed.size(), 2u) << "the PTK once, then the group key";
  ExpectGroupKey(services_.installed[1]);
  EXPECT_TRUE(Traced("Pairwise key already installed: not installed again\n"));
}

TEST_F(WpaHandshake, RefusesMessagesOutOfOrderOrOfAnotherKind) {
  Associate(Config(Cipher::Tkip, Cipher::Tkip), {}, /*psk=*/false);
  const Bytes message1 = ap_->StartHandshake();
  Exchange(message1);
  EXPECT_TRUE(Traced("EAPOL-Key pairwise key message 1 discarded: no PMK\n"));
  EXPECT_TRUE(services_.sent.empty());
  Bytes rsnFrame = message1;
  rsnFrame[4] = 2;
  EXPECT_FALSE(Deliver(handler_, rsnFrame));
  EXPECT_TRUE(Traced("EAPOL-Key message discarded: descriptor type not WPA\n"));

  // A station that saw neither message 1 nor message 3 of the handshake.
  Associate(Config(Cipher::Tkip, Cipher::Tkip));
  Deliver(handler_, ap_->StartHandshake());
  const Bytes message3 = *ap_->Receive(services_.sent.back());
  WpaKeyHandler fresh(services_);
  EXPECT_FALSE(fresh.wpa_receive_key(message3.data(), static_cast<uint32_t>(message3.size())));
  EXPECT_TRUE(Traced("EAPOL-Key pairwise key message 3 discarded: message 1 never received\n"));
  const Bytes message4 = (Deliver(handler_, message3), services_.sent.back());
  const Bytes group = *ap_->Receive(message4);
  EXPECT_FALSE(fresh.wpa_receive_key(group.data(), static_cast<uint32_t>(group.size())));
  EXPECT_TRUE(Traced("EAPOL-Key group key message discarded: PTK not negotiated\n"));
  EXPECT_TRUE(services_.failures.empty());
}

// The host's authentication events become WPA EAPOL-Key requests the authenticator accepts.
TEST_F(WpaHandshake, AuthIndicationsIssueSignedRequests) {
  Associate(Config(Cipher::Tkip, Cipher::Tkip));
  const size_t before = services_.sent.size();
  ExpectSignedRequests({{0x0E, 0x0F01, "Group key error\n"},
                        {0x06, 0x0F09, "Pairwise key error\n"},
                        {0x02, 0x0909, "Key update\n"},
                        {0x10, std::nullopt, "Unknown WPA auth request\n"}},
                       [this](uint32_t flags) { handler_.WpaAuthIndication(flags, kHighAddress.data()); });
  ASSERT_GT(services_.sent.size(), before);
  EXPECT_EQ(services_.sent.back()[0], 1) << "EAPOL version 1";
  EXPECT_EQ(services_.sent.back()[4], 254);
  EXPECT_TRUE(Traced("Received WPA auth indication, flags = 00000010, authenticator address: 021B2C3D4E5F\n"));
}

}  // namespace
