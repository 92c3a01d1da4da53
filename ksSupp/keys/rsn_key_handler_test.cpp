#include "ksSupp/keys/rsn_key_handler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <string>

#include "ksSupp/keys/key_derivation.h"
#include "ksSupp/keys/null_key_handler_services.h"
#include "ksSupp/keys/key_test_support.h"
#include "ksSupp/keys/key_trace.h"
#include "sim/air/authenticator.h"

namespace {

using air::Cipher;
using air::Misbehaviour;

std::vector<std::string>* g_traceLines = nullptr;
void CaptureTrace(int, int, const char* text, const uint8_t*, uint32_t) {
  if (g_traceLines != nullptr) g_traceLines->push_back(text);
}

struct InstalledKey {
  uint32_t suite;
  Bytes key;
  uint32_t index;
  Bytes bssid;
  uint32_t rscLow, rscHigh;
};

// The link engine as the key handler sees it: records what the handler asks for, and
// sets the PSK as the PMK when message 1 arrives.
struct RecordingServices : NullKeyHandlerServices {
  KeyHandler* handler = nullptr;
  Bytes psk;
  std::vector<Bytes> sent;
  std::vector<InstalledKey> installed;
  std::vector<uint32_t> failures;
  int reauthentications = 0;

  void TransmitEapolKey(const uint8_t* frame, uint32_t length) override { sent.emplace_back(frame, frame + length); }
  void InstallKey(uint32_t suite, const uint8_t* key, uint32_t length, uint32_t index,
                  const uint8_t* bssid, uint32_t rscLow, uint32_t rscHigh) override {
    installed.push_back({suite, Bytes(key, key + length), index, Bytes(bssid, bssid + 6), rscLow, rscHigh});
  }
  void InstallWepKey(const uint8_t*, uint32_t, uint32_t) override { ADD_FAILURE(); }
  void RemoveKey(uint32_t, const uint8_t*) override { ADD_FAILURE(); }
  void Reauthenticate() override { ++reauthentications; }
  void ReportKeyFailure(uint32_t reason) override { failures.push_back(reason); }
  void PairwiseMessage1Received() override {
    if (!psk.empty()) handler->SetPmk(psk.data(), static_cast<uint32_t>(psk.size()));
  }
};

const air::MacAddress kLowAddress = {0x00, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
const air::MacAddress kHighAddress = {0x02, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
const std::string kPassphrase = "correct horse battery", kSsid = "zelnet";

class RsnHandshake : public testing::Test {
 protected:
  void SetUp() override {
    g_traceLines = &trace_;
    SetKeyTraceSink(CaptureTrace);
    SetKeyTraceLevel(4);
  }
  void TearDown() override {
    SetKeyTraceSink(nullptr);
    SetKeyTraceLevel(0);
    g_traceLines = nullptr;
  }

  air::AuthenticatorConfig Config(Cipher pairwise = Cipher::Ccmp, Cipher group = Cipher::Ccmp) {
    air::AuthenticatorConfig c;
    c.pairwise = pairwise;
    c.group = group;
    c.authenticatorAddress = kHighAddress;
    c.supplicantAddress = kLowAddress;
    c.pmk = air::PskFromPassphrase(kPassphrase, kSsid);  // OpenSSL's PBKDF2
    c.supplicantElement = air::BuildElement(air::KeyProtocol::Rsn, pairwise, group);
    c.groupRsc = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00, 0x00};
    return c;
  }

  // The access point with its configuration; the station's handler at association.
  void Associate(air::AuthenticatorConfig config, Bytes stationElement = {}) {
    if (stationElement.empty()) stationElement = config.supplicantElement;
    ap_.emplace(config);
    services_.handler = &handler_;
    services_.psk.resize(kPskLength);
    PassphraseToPsk(kPassphrase.data(), static_cast<uint32_t>(kPassphrase.size()),
                    reinterpret_cast<const uint8_t*>(kSsid.data()), static_cast<uint32_t>(kSsid.size()),
                    services_.psk.data());
    handler_.Reset();
    handler_.SetAddresses(config.authenticatorAddress.data(), config.supplicantAddress.data());
    const Bytes& beacon = ap_->Config().authenticatorElement;
    handler_.SetAuthenticatorIes(beacon.data(), static_cast<uint32_t>(beacon.size()));
    handler_.SetSupplicantIes(stationElement.data(), static_cast<uint32_t>(stationElement.size()));
  }

  // Hands the frame to the station and every answer to the access point, and so on until
  // neither side has anything more to say.
  void Exchange(const Bytes& first) {
    std::deque<Bytes> toStation{first};
    while (!toStation.empty()) {
      const Bytes frame = toStation.front();
      toStation.pop_front();
      delivered_.push_back(frame);
      const size_t before = services_.sent.size();
      handler_.rsn_receive_key(frame.data(), static_cast<uint32_t>(frame.size()));
      for (size_t i = before; i < services_.sent.size(); ++i)
        if (std::optional<Bytes> answer = ap_->Receive(services_.sent[i])) toStation.push_back(*answer);
    }
  }

  void CompleteHandshake() {
    Exchange(ap_->StartHandshake());
    ASSERT_TRUE(ap_->PairwiseComplete()) << ap_->LastError();
    ASSERT_TRUE(handler_.HandshakeComplete());
  }

  bool Traced(const std::string& line) const {
    return std::find(trace_.begin(), trace_.end(), line) != trace_.end();
  }

  void ExpectGroupKey(const InstalledKey& k) const {
    EXPECT_EQ(k.suite, 0x000FAC00u | static_cast<uint32_t>(ap_->Config().group));
    EXPECT_EQ(k.key, ap_->Gtk());
    EXPECT_EQ(k.index, 0x20000000u | ap_->GtkIndex());
    EXPECT_EQ(k.rscLow, 0x04030201u);
    EXPECT_EQ(k.rscHigh, 0x00000605u);
  }

  std::optional<air::PskAuthenticator> ap_;
  RecordingServices services_;
  RsnKeyHandler handler_{services_};
  std::vector<std::string> trace_;
  std::vector<Bytes> delivered_;
};

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
  EXPECT_EQ(pairwise.suite, 0x000FAC00u | static_cast<uint32_t>(GetParam().pairwise));
  EXPECT_EQ(pairwise.key, ap_->TemporalKey());
  EXPECT_EQ(pairwise.index, 0xE0000000u);
  EXPECT_EQ(pairwise.bssid, Bytes(GetParam().aa.begin(), GetParam().aa.end()));
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
    SCOPED_TRACE(attack.trace);
    Associate(Config());
    services_.installed.clear();
    services_.failures.clear();
    trace_.clear();
    if (attack.duringRekey) {
      CompleteHandshake();
      services_.installed.clear();
      const size_t sent = services_.sent.size();
      ap_->Misbehave(attack.misbehaviour);
      Bytes group1 = ap_->StartGroupRekey();
      Exchange(group1);
      EXPECT_FALSE(ap_->GroupComplete());
      EXPECT_EQ(services_.sent.size(), sent) << "no acknowledgement";
    } else {
      Bytes message1 = ap_->StartHandshake();
      ap_->Misbehave(attack.misbehaviour);
      Exchange(message1);
      EXPECT_FALSE(ap_->PairwiseComplete());
      EXPECT_FALSE(handler_.HandshakeComplete());
    }
    EXPECT_TRUE(services_.installed.empty());
    EXPECT_TRUE(Traced(attack.trace));
    EXPECT_EQ(services_.failures, attack.failures);
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

TEST_F(RsnHandshake, ReplayedOrRepeatedKeyMessagesInstallNothingTwice) {
  Associate(Config());
  CompleteHandshake();
  const Bytes message3 = delivered_[1];
  Exchange(message3);  // a replay: its counter is behind
  EXPECT_TRUE(Traced("EAPOL-Key message discarded: replay counter too low\n"));

  Exchange(ap_->StartGroupRekey(/*newKey=*/false));  // the same GTK again, fresh counter
  EXPECT_TRUE(ap_->GroupComplete()) << "acknowledged";
  EXPECT_TRUE(Traced("Group key already installed: not installed again\n"));
  const Bytes group = delivered_.back();
  Exchange(group);
  EXPECT_EQ(services_.installed.size(), 2u);

  Exchange(ap_->StartGroupRekey());  // a new key is installed
  EXPECT_EQ(services_.installed.size(), 3u);
}

TEST_F(RsnHandshake, TheHighestReplayCounterIsTheLast) {
  air::AuthenticatorConfig config = Config();
  config.firstReplayCounter = UINT64_MAX - 1;  // message 3 carries 2^64 - 1
  Associate(config);
  CompleteHandshake();
  EXPECT_EQ(handler_.ReplayCounter(), UINT64_MAX);
  services_.installed.clear();
  trace_.clear();
  Exchange(ap_->StartGroupRekey());  // the authenticator's counter wrapped to 0
  EXPECT_TRUE(Traced("EAPOL-Key message discarded: replay counter too low\n"));
  EXPECT_TRUE(services_.installed.empty());
}

TEST_F(RsnHandshake, RefusesAPairwiseKeyLengthThatDoesNotFitTheCipher) {
  air::AuthenticatorConfig config = Config(Cipher::Tkip, Cipher::Ccmp);
  config.supplicantElement.clear();
  Associate(config, air::BuildElement(air::KeyProtocol::Rsn, Cipher::Ccmp, Cipher::Ccmp));
  Exchange(ap_->StartHandshake());  // TKIP's 32-byte key length for a CCMP station
  EXPECT_TRUE(Traced("EAPOL-Key handshake message 3 discarded: message 3 key length is invalid\n"));
  EXPECT_TRUE(services_.installed.empty());
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

// The host's authentication events become EAPOL-Key requests the authenticator accepts.
TEST_F(RsnHandshake, AuthIndicationsIssueSignedRequests) {
  struct Case {
    uint32_t flags;
    std::optional<uint16_t> keyInformation;
    const char* trace;
  };
  const Case cases[] = {
      {0x0E, 0x0F02, "Group key error\n"},  // group MIC failure: not reported as pairwise
      {0x06, 0x0F0A, "Pairwise key error\n"},
      {0x02, 0x090A, "Key update\n"},
      {0x10, std::nullopt, "Unknown RSN auth request\n"},
  };
  Associate(Config());
  CompleteHandshake();
  for (const Case& c : cases) {
    trace_.clear();
    const size_t requests = ap_->Requests().size();
    const size_t sent = services_.sent.size();
    handler_.RsnAuthIndication(c.flags, kHighAddress.data());
    EXPECT_TRUE(Traced(c.trace)) << c.flags;
    if (!c.keyInformation) {
      EXPECT_EQ(services_.sent.size(), sent);
      continue;
    }
    ASSERT_EQ(services_.sent.size(), sent + 1);
    EXPECT_FALSE(ap_->Receive(services_.sent.back()));
    ASSERT_EQ(ap_->Requests().size(), requests + 1) << ap_->LastError();
    EXPECT_EQ(ap_->Requests().back(), *c.keyInformation);
  }
  handler_.RsnAuthIndication(0x01, kHighAddress.data());
  EXPECT_EQ(services_.reauthentications, 1);
}

}  // namespace
