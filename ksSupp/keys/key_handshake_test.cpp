// What the WPA and the RSN handler do alike, each against the access point of its kind.
#include "ksSupp/keys/key_handshake_fixture.h"

namespace {

using namespace keys_test;

template <class Handler>
class Handshake : public HandshakeFixture<Handler> {};

using Handlers = testing::Types<RsnKeyHandler, WpaKeyHandler>;
TYPED_TEST_SUITE(Handshake, Handlers);

TYPED_TEST(Handshake, ReplayedOrRepeatedKeyMessagesInstallNothingTwice) {
  this->Associate(this->Config(Cipher::Ccmp, Cipher::Tkip));
  this->CompleteHandshake();
  const Bytes message3 = this->delivered_[1], group = this->delivered_.back();
  this->Exchange(message3);  // replays: their counters are behind
  this->Exchange(group);
  EXPECT_TRUE(this->Traced("EAPOL-Key message discarded: replay counter too low\n"));
  EXPECT_EQ(this->services_.installed.size(), 2u);

  this->Exchange(this->ap_->StartGroupRekey(/*newKey=*/false));  // the same key, fresh counter
  EXPECT_TRUE(this->ap_->GroupComplete()) << "acknowledged";
  EXPECT_TRUE(this->Traced("Group key already installed: not installed again\n"));
  EXPECT_EQ(this->services_.installed.size(), 2u);

  this->Exchange(this->ap_->StartGroupRekey());  // a new key is installed
  EXPECT_EQ(this->services_.installed.size(), 3u);
}

TYPED_TEST(Handshake, TheHighestReplayCounterIsTheLast) {
  air::AuthenticatorConfig config = this->Config();
  config.firstReplayCounter = UINT64_MAX - (this->kHandshakeFrames - 1);  // the last one: 2^64 - 1
  this->Associate(config);
  this->CompleteHandshake();
  EXPECT_EQ(this->handler_.ReplayCounter(), UINT64_MAX);
  this->services_.installed.clear();
  this->trace_.clear();
  this->Exchange(this->ap_->StartGroupRekey());  // the authenticator's counter wrapped to 0
  EXPECT_TRUE(this->Traced("EAPOL-Key message discarded: replay counter too low\n"));
  EXPECT_TRUE(this->services_.installed.empty());
}

TYPED_TEST(Handshake, RefusesAPairwiseKeyLengthThatDoesNotFitTheCipher) {
  air::AuthenticatorConfig config = this->Config(Cipher::Tkip, Cipher::Ccmp);
  config.supplicantElement.clear();
  this->Associate(config, air::BuildElement(this->kProtocol, Cipher::Ccmp, Cipher::Ccmp));
  this->Exchange(this->ap_->StartHandshake());  // TKIP's 32-byte key length for a CCMP station
  EXPECT_TRUE(this->Traced(std::string(this->kMessage3Refusal) + "message 3 key length is invalid\n"));
  EXPECT_TRUE(this->services_.installed.empty());
}

}  // namespace
