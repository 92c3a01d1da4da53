// The supplicant PAE driven as the link engine drives it, on a manual tick count, with a
// recording owner and a real identity and EAP runner.
#include "ksSupp/eapol/supplicant_pae.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstring>
#include <string>
#include <vector>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eapol/recording_pae_owner.h"
#include "ksSupp/fake_cert_library.h"
#include "ksSupp/identity.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Eap(std::uint8_t code, std::uint8_t id, const Bytes& rest = {}) {
  const auto length = static_cast<std::uint16_t>(4 + rest.size());
  Bytes packet = {code, id, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
  packet.insert(packet.end(), rest.begin(), rest.end());
  return packet;
}
Bytes Request(std::uint8_t id, std::uint8_t type, const Bytes& data = {}) {
  Bytes rest = {type};
  rest.insert(rest.end(), data.begin(), data.end());
  return Eap(1, id, rest);
}
Bytes Text(const std::string& text) { return {text.begin(), text.end()}; }
Bytes Eapol(const Bytes& packet, std::uint8_t version = 2, std::uint8_t type = 0) {
  const auto length = static_cast<std::uint16_t>(packet.size());
  Bytes frame = {version, type, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
  frame.insert(frame.end(), packet.begin(), packet.end());
  return frame;
}
Bytes Md5Request(std::uint8_t id, const Bytes& challenge) {
  Bytes data = {static_cast<std::uint8_t>(challenge.size())};
  data.insert(data.end(), challenge.begin(), challenge.end());
  return Request(id, 4, data);
}
// MD5(id | password | challenge) from OpenSSL.
Bytes Md5Value(std::uint8_t id, const std::string& password, const Bytes& challenge) {
  Bytes input = {id};
  input.insert(input.end(), password.begin(), password.end());
  input.insert(input.end(), challenge.begin(), challenge.end());
  Bytes digest(16);
  unsigned size = 0;
  EXPECT_EQ(EVP_Digest(input.data(), input.size(), digest.data(), &size, EVP_md5(), nullptr), 1);
  return digest;
}
// The EAP packet inside a frame we sent.
Bytes EapOf(const Bytes& frame) { return Bytes(frame.begin() + 4, frame.end()); }

const Bytes kChallenge = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

class SupplicantPaeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    utility_.AddRef();
    context_ = ApiContext::Create(&utility_);
    identity_ = Identity::Create(context_);
    identity_->SetUserName("alice", 5);
    identity_->SetPassword("secret", 6);
    const std::uint32_t md5[] = {4};
    identity_->SetEapTypes(md5, 1);
    pae_.SetIdentity(identity_);
  }
  void TearDown() override {
    pae_.ReleaseMethod();
    pae_.SetIdentity(nullptr);
    identity_->Release();
    context_->Release();
    EXPECT_TRUE(utility_.Balanced());
  }
  // Port up as the link brings it up from idle; the PAE then waits the first-start delay.
  void PortUp() {
    pae_.SetInitialize(true);
    pae_.SetPortActive(true);
    pae_.SetInitialize(false);
  }
  // Runs the clock forward to `until` (ms after the start), stepping at every timeout.
  void RunUntil(std::uint32_t until) {
    while (clock_.Now() < until) {
      clock_.Advance(std::min(driver_.NextTimeout(), until - clock_.Now()));
      driver_.Step();
    }
  }
  std::vector<std::uint32_t> StartTimes(std::uint32_t until) {
    std::vector<std::uint32_t> times;
    std::size_t seen = owner_.frames.size();
    while (clock_.Now() < until) {
      clock_.Advance(std::min(driver_.NextTimeout(), until - clock_.Now()));
      driver_.Step();
      for (; seen < owner_.frames.size(); ++seen) {
        if (owner_.frames[seen][1] == kEapolStart) times.push_back(clock_.Now());
      }
    }
    return times;
  }
  // Identity then MD5 with the right password, up to the response.
  void RunMd5UpToSuccess() {
    PortUp();
    driver_.Receive(Eapol(Request(1, 1)));
    driver_.Receive(Eapol(Md5Request(2, kChallenge)));
  }

  plat::ManualTickCount clock_{0};
  fake_cert::Utility utility_;
  ApiContext* context_ = nullptr;
  Identity* identity_ = nullptr;
  RecordingPaeOwner owner_;
  SupplicantPae pae_{owner_};
  PaeDriver driver_{pae_};
};

TEST_F(SupplicantPaeTest, AuthenticatesWithMd5) {
  RunMd5UpToSuccess();
  ASSERT_EQ(owner_.frames.size(), 2u);
  EXPECT_EQ(owner_.frames[0], Eapol(Eap(2, 1, Text("\x01" "alice"))));
  Bytes md5Answer = {4, 16};
  const Bytes value = Md5Value(2, "secret", kChallenge);
  md5Answer.insert(md5Answer.end(), value.begin(), value.end());
  EXPECT_EQ(owner_.frames[1], Eapol(Eap(2, 2, md5Answer)));
  EXPECT_EQ(owner_.keysInvalidated, 1u);
  EXPECT_EQ(pae_.state(), SupplicantPae::kAuthenticating);

  driver_.Receive(Eapol(Eap(3, 2)));
  EXPECT_EQ(pae_.state(), SupplicantPae::kAuthenticated);
  EXPECT_TRUE(pae_.Authorized());
  EXPECT_EQ(owner_.masterKeys, 1u);
  const RecordedReport& last = owner_.reports.back();
  EXPECT_EQ(last.state, 7u);
  EXPECT_TRUE(last.authorized);
  EXPECT_EQ(last.methodNames, "EAP-MD5Challenge");
  EXPECT_TRUE(EapStatusIsComplete(last.status));
  EXPECT_EQ(last.cipherSuite, 0xFFFFFFFFu);
  // Reported states, each once, in order.
  std::vector<std::uint32_t> states;
  for (const RecordedReport& r : owner_.reports) states.push_back(r.state);
  EXPECT_EQ(states, (std::vector<std::uint32_t>{2, 4, 5, 6, 7}));
  std::uint32_t type = 0;
  ASSERT_TRUE(pae_.GetEapType(type));
  EXPECT_EQ(type, 4u);
  std::uint8_t keys[64];
  bool isShort = true;
  EXPECT_FALSE(pae_.GetMethodKeys(keys, isShort));  // MD5 derives none
}

TEST_F(SupplicantPaeTest, RetransmittedRequestGetsTheSameResponseAgain) {
  owner_.passwords.clear();
  identity_->SetPassword(nullptr, 0);  // the password is asked of the host
  owner_.passwords = {"secret", "other"};
  RunMd5UpToSuccess();
  ASSERT_EQ(owner_.frames.size(), 2u);
  const Bytes first = owner_.frames[1];
  // The same request again: the same answer, without asking for the password again.
  driver_.Receive(Eapol(Md5Request(2, kChallenge)));
  ASSERT_EQ(owner_.frames.size(), 3u);
  EXPECT_EQ(owner_.frames[2], first);
  EXPECT_EQ(owner_.passwordRequests, 1u);
  // Same identifier, other bytes: a new request, processed (and failing in MD5's view is not
  // the point: it is answered from the new challenge).
  Bytes other = kChallenge;
  other[0] ^= 0xFF;
  driver_.Receive(Eapol(Md5Request(2, other)));
  EXPECT_EQ(owner_.passwordRequests, 2u);
}

TEST_F(SupplicantPaeTest, NoAuthenticatorTimeline) {
  for (bool authenticatedAfterMaxStart : {false, true}) {
    SCOPED_TRACE(authenticatedAfterMaxStart);
    clock_.Set(0);
    owner_ = RecordingPaeOwner();
    PaeConstants constants;
    constants.authenticatedAfterMaxStart = authenticatedAfterMaxStart;
    pae_.SetConstants(constants);
    PaeDriver driver(pae_);
    pae_.SetPortActive(false);
    PortUp();
    std::vector<std::uint32_t> starts;
    std::size_t seen = 0;
    while (clock_.Now() < 130000) {
      clock_.Advance(std::min(driver.NextTimeout(), 130000 - clock_.Now()));
      driver.Step();
      for (; seen < owner_.frames.size(); ++seen) starts.push_back(clock_.Now());
    }
    if (authenticatedAfterMaxStart) {
      EXPECT_EQ(starts, (std::vector<std::uint32_t>{2000, 32000, 62000}));
      EXPECT_EQ(pae_.state(), SupplicantPae::kAuthenticated);
      EXPECT_TRUE(pae_.Authorized());
      EXPECT_TRUE(owner_.reports.back().noAuthenticator);
      EXPECT_EQ(owner_.noAuthenticator, 0u);
    } else {
      EXPECT_EQ(starts, (std::vector<std::uint32_t>{2000, 32000, 62000, 122000}));
      EXPECT_EQ(pae_.state(), SupplicantPae::kConnecting);
      EXPECT_EQ(owner_.noAuthenticator, 1u);
    }
    for (const auto& frame : owner_.frames) EXPECT_EQ(frame, Bytes({1, 1, 0, 0}));
  }
}

TEST_F(SupplicantPaeTest, SuccessBeforeIdentityIsIgnoredAndFailureHolds) {
  PortUp();
  driver_.Receive(Eapol(Eap(3, 9)));
  EXPECT_EQ(pae_.state(), SupplicantPae::kConnecting);
  EXPECT_FALSE(pae_.Authorized());

  driver_.Receive(Eapol(Eap(4, 9)));
  EXPECT_EQ(pae_.state(), SupplicantPae::kHeld);
  EXPECT_EQ(owner_.reports.back().status, kEapNoCredential);
  EXPECT_TRUE(owner_.failures.empty());  // no method ran
  // HELD lasts heldPeriod, then the PAE starts over at once.
  const std::size_t before = owner_.frames.size();
  RunUntil(clock_.Now() + 59999);
  EXPECT_EQ(pae_.state(), SupplicantPae::kHeld);
  RunUntil(clock_.Now() + 1);
  EXPECT_EQ(pae_.state(), SupplicantPae::kConnecting);
  ASSERT_EQ(owner_.frames.size(), before + 1);
  EXPECT_EQ(owner_.LastFrameType(), kEapolStart);
}

TEST_F(SupplicantPaeTest, FailureAfterTheMethodReportsTheRejection) {
  RunMd5UpToSuccess();
  driver_.Receive(Eapol(Eap(4, 2)));
  EXPECT_EQ(pae_.state(), SupplicantPae::kHeld);
  EXPECT_FALSE(pae_.Authorized());
  ASSERT_EQ(owner_.failures.size(), 1u);
  EXPECT_EQ(owner_.failures[0], kEapRejected);
  const RecordedReport& held = owner_.reports.back();
  EXPECT_EQ(held.state, 3u);
  EXPECT_EQ(held.status, kEapRejected);
  EXPECT_EQ(held.methodNames, "EAP-MD5Challenge");
  // A new identity request during HELD starts the next authentication at once.
  driver_.Receive(Eapol(Request(3, 1)));
  EXPECT_EQ(pae_.state(), SupplicantPae::kAcquired);
  EXPECT_EQ(owner_.keysInvalidated, 2u);
}

TEST_F(SupplicantPaeTest, SuccessWithoutCompletedMethodIsAFailure) {
  PortUp();
  driver_.Receive(Eapol(Request(1, 1)));
  driver_.Receive(Eapol(Eap(3, 1)));
  EXPECT_EQ(pae_.state(), SupplicantPae::kHeld);
  EXPECT_FALSE(pae_.Authorized());
  EXPECT_EQ(owner_.masterKeys, 0u);
  for (const RecordedReport& r : owner_.reports) EXPECT_FALSE(r.authorized);
  EXPECT_EQ(owner_.failures, std::vector<std::uint32_t>{kEapRejected});
}

TEST_F(SupplicantPaeTest, WithoutIdentityNothingIsAnsweredAndThePortHolds) {
  pae_.SetIdentity(nullptr);
  PortUp();
  driver_.Receive(Eapol(Request(1, 1)));
  EXPECT_EQ(pae_.state(), SupplicantPae::kHeld);
  EXPECT_TRUE(owner_.frames.empty());
  EXPECT_EQ(owner_.reports.back().status, kEapNoCredential);
}

TEST_F(SupplicantPaeTest, IdentityResponseNames) {
  const struct {
    std::vector<std::uint32_t> types;
    const char* ttlsIdentity;
    const char* expected;
  } cases[] = {
      {{21}, nullptr, "anonymous"},
      {{21}, "outer@example.com", "outer@example.com"},
      {{21, 4}, "outer@example.com", "alice"},
      {{4}, "outer@example.com", "alice"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    identity_->SetEapTypes(c.types.data(), static_cast<std::uint32_t>(c.types.size()));
    identity_->SetTtlsIdentity(c.ttlsIdentity, c.ttlsIdentity ? std::strlen(c.ttlsIdentity) : 0);
    owner_.frames.clear();
    pae_.SetPortActive(false);
    PortUp();
    driver_.Receive(Eapol(Request(7, 1)));
    ASSERT_EQ(owner_.frames.size(), 1u);
    EXPECT_EQ(EapOf(owner_.frames[0]), Eap(2, 7, Text(std::string("\x01") + c.expected)));
  }
  // A user name that no single response can carry is not sent.
  const std::string huge(2000, 'u');
  identity_->SetEapTypes(std::vector<std::uint32_t>{4}.data(), 1);
  identity_->SetUserName(huge.c_str(), static_cast<std::uint32_t>(huge.size()));
  owner_.frames.clear();
  pae_.SetPortActive(false);
  PortUp();
  driver_.Receive(Eapol(Request(8, 1)));
  EXPECT_TRUE(owner_.frames.empty());
  EXPECT_EQ(pae_.state(), SupplicantPae::kHeld);
}

TEST_F(SupplicantPaeTest, IdentityRequestTextAndItsValues) {
  PortUp();
  Bytes text = {0, 0};
  const Bytes body = Text("Hello\x01");
  text.insert(text.end(), body.begin(), body.end());
  text.push_back(0);
  const Bytes attributes = Text("networkid=net,,nasid=AP-7,portid=0,empty=,x\xC3");
  text.insert(text.end(), attributes.begin(), attributes.end());
  text.insert(text.end(), {0, 0});
  driver_.Receive(Eapol(Request(1, 1, text)));
  EXPECT_STREQ(pae_.IdentityRequestText(), "Hello..networkid=net,,nasid=AP-7,portid=0,empty=,x.");
  const struct {
    const char* key;
    const char* value;
  } lookups[] = {{"nasid", "AP-7"}, {"portid", "0"}, {"NASID", ""}, {"empty", ""},
                 {"missing", ""}, {"nas", ""}};
  for (const auto& l : lookups) EXPECT_STREQ(pae_.FindIdentityValue(l.key).CStr(), l.value) << l.key;
  EXPECT_EQ(owner_.reports.back().identityRequest, "(null)");  // reported from HELD/AUTHENTICATED only
}

TEST_F(SupplicantPaeTest, MalformedFramesAndPacketsChangeNothing) {
  PortUp();
  const struct {
    const char* what;
    Bytes frame;
    EapolReceived kind;
  } cases[] = {
      {"three bytes", {2, 0, 0}, EapolReceived::kDiscarded},
      {"body longer than the frame", {2, 0, 0, 9, 1, 1, 0, 5}, EapolReceived::kDiscarded},
      {"EAPOL-Start", {2, 1, 0, 0}, EapolReceived::kDiscarded},
      {"EAPOL-Logoff", {2, 2, 0, 0}, EapolReceived::kDiscarded},
      {"EAP shorter than its header", Eapol({1, 1, 0}), EapolReceived::kEapPacket},
      {"EAP length beyond the body", Eapol({1, 1, 0, 9, 1}), EapolReceived::kEapPacket},
      {"request without a type", Eapol({1, 1, 0, 4}), EapolReceived::kEapPacket},
      {"response without a type", Eapol({2, 1, 0, 4}), EapolReceived::kEapPacket},
      {"unknown code", Eapol({9, 1, 0, 4}), EapolReceived::kEapPacket},
      {"key frame", Eapol({1, 2, 3}, 2, 3), EapolReceived::kKey},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(driver_.Receive(c.frame), c.kind) << c.what;
    EXPECT_EQ(pae_.state(), SupplicantPae::kConnecting) << c.what;
  }
  EXPECT_TRUE(owner_.frames.empty());
  // Padding after the EAP packet inside the body is harmless.
  Bytes padded = Request(1, 1, Text("hi"));
  padded.insert(padded.end(), 10, 0);
  driver_.Receive(Eapol(padded));
  EXPECT_EQ(pae_.state(), SupplicantPae::kAcquired);
  EXPECT_STREQ(pae_.IdentityRequestText(), "hi");
}

TEST_F(SupplicantPaeTest, OurFramesFollowTheAuthenticatorsVersion) {
  const struct {
    std::uint8_t received;
    std::uint8_t sent;
  } cases[] = {{1, 1}, {2, 2}, {0, 0}, {3, 2}, {200, 2}};
  for (const auto& c : cases) {
    owner_.frames.clear();
    pae_.SetPortActive(false);
    PortUp();
    driver_.Receive(Eapol(Request(1, 1), c.received));
    ASSERT_EQ(owner_.frames.size(), 1u);
    EXPECT_EQ(owner_.frames[0][0], c.sent) << int(c.received);
  }
}

TEST_F(SupplicantPaeTest, DisablingThePortDisconnectsFromAnyState) {
  RunMd5UpToSuccess();
  driver_.Receive(Eapol(Eap(3, 2)));
  ASSERT_EQ(pae_.state(), SupplicantPae::kAuthenticated);
  EXPECT_EQ(pae_.PreviousId(), 2u);
  pae_.SetPortActive(false);
  EXPECT_EQ(pae_.state(), SupplicantPae::kDisconnected);
  EXPECT_FALSE(pae_.Authorized());
  EXPECT_EQ(pae_.PreviousId(), SupplicantPae::kNoPreviousId);
  std::uint32_t type = 0;
  EXPECT_FALSE(pae_.GetEapType(type));  // the method host is gone
  const RecordedReport& last = owner_.reports.back();
  EXPECT_EQ(last.state, 2u);
  EXPECT_FALSE(last.authorized);
  // Nothing changes while the port stays down: no further report.
  const std::size_t reports = owner_.reports.size();
  driver_.Receive(Eapol(Request(5, 1)));
  EXPECT_EQ(owner_.reports.size(), reports);
  EXPECT_EQ(pae_.state(), SupplicantPae::kDisconnected);
}

TEST_F(SupplicantPaeTest, ReauthenticationRestartsWithinASecond) {
  RunMd5UpToSuccess();
  driver_.Receive(Eapol(Eap(3, 2)));
  ASSERT_EQ(pae_.state(), SupplicantPae::kAuthenticated);
  const std::size_t before = owner_.frames.size();
  EXPECT_EQ(pae_.Reauthenticate(), 1000u);
  EXPECT_LE(driver_.NextTimeout(), 1000u);
  driver_.Step();
  EXPECT_EQ(pae_.state(), SupplicantPae::kConnecting);
  EXPECT_EQ(owner_.frames.size(), before + 1);  // EAPOL-Start right away
  EXPECT_EQ(owner_.LastFrameType(), kEapolStart);
}

TEST_F(SupplicantPaeTest, SilentAuthenticatorSendsThePortBackToConnecting) {
  RunMd5UpToSuccess();
  EXPECT_EQ(pae_.AuthWhile(), 30000u);
  RunUntil(clock_.Now() + 29999);
  EXPECT_EQ(pae_.state(), SupplicantPae::kAuthenticating);
  RunUntil(clock_.Now() + 1);
  EXPECT_EQ(pae_.state(), SupplicantPae::kConnecting);
  EXPECT_EQ(owner_.LastFrameType(), kEapolStart);
}

TEST_F(SupplicantPaeTest, SynthesizedSuccessOnlyWhileAuthenticating) {
  PortUp();
  EXPECT_FALSE(pae_.SynthesizeSuccess());
  EXPECT_EQ(pae_.state(), SupplicantPae::kConnecting);
  RunMd5UpToSuccess();
  EXPECT_TRUE(pae_.SynthesizeSuccess());
  EXPECT_EQ(pae_.state(), SupplicantPae::kAuthenticated);
}

TEST_F(SupplicantPaeTest, FastReconnectReportsItsLabel) {
  PortUp();
  pae_.FastReconnect("CCKM");
  EXPECT_EQ(pae_.state(), SupplicantPae::kAuthenticated);
  EXPECT_EQ(owner_.reports.back().methodNames, "CCKM");
  EXPECT_EQ(owner_.reports.back().status, kEapComplete);
  EXPECT_TRUE(owner_.reports.back().authorized);
}

TEST_F(SupplicantPaeTest, NotificationsAreCollectedForTheReport) {
  PortUp();
  driver_.Receive(Eapol(Request(1, 1)));
  driver_.Receive(Eapol(Request(2, 2, Text("first"))));
  driver_.Receive(Eapol(Request(3, 2, Text("second"))));
  ASSERT_EQ(owner_.frames.size(), 3u);
  EXPECT_EQ(EapOf(owner_.frames[2]), Eap(2, 3, {2}));
  driver_.Receive(Eapol(Eap(4, 3)));
  EXPECT_EQ(owner_.reports.back().notifications, "first\nsecond");
}

TEST_F(SupplicantPaeTest, TimersRunDownAndCompensate) {
  PortUp();
  EXPECT_EQ(pae_.StartWhen(), 2000u);
  EXPECT_EQ(driver_.NextTimeout(), 2000u);
  pae_.ElapseTime(500);
  EXPECT_EQ(pae_.StartWhen(), 1500u);
  pae_.ElapseTime(5000);
  EXPECT_EQ(pae_.StartWhen(), 0u);
  EXPECT_EQ(driver_.NextTimeout(), 60000u);
  pae_.CompensateTime(10);  // only a running authWhile gains
  EXPECT_EQ(pae_.AuthWhile(), 0u);
  driver_.Receive(Eapol(Request(1, 1)));
  pae_.CompensateTime(10);
  EXPECT_EQ(pae_.AuthWhile(), 30010u);
}

}  // namespace
