#include "ksSupp/eap/eap_ttls.h"

#include <gtest/gtest.h>

#include <string>

#include "ksLib_OSSL/eap_tls_test_server.h"
#include "ksSupp/eap/chap_response.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/ms_chap.h"
#include "ksSupp/eap/ttls_avp.h"
#include "ksSupp/eap/tunnel_method_driver.h"

namespace {

using tls_testing::Bytes;
using tls_testing::TunnelTestServer;

constexpr std::uint8_t kTtls = 21;
constexpr char kPassword[] = "ttls secret";

// The AVPs of a list by code, for the assertions (vendor-specific ones keyed code + 1000).
std::map<std::uint32_t, Bytes> AvpsOf(const Bytes& list) {
  std::map<std::uint32_t, Bytes> found;
  AvpReader reader(list.data(), static_cast<std::uint32_t>(list.size()));
  Avp avp;
  while (reader.Next(avp)) {
    EXPECT_TRUE(avp.Mandatory()) << avp.code;
    found[avp.code + (avp.vendor != 0 ? 1000 : 0)] = Bytes(avp.data, avp.data + avp.dataLength);
  }
  EXPECT_FALSE(reader.malformed());
  return found;
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

class EapTtlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_ = tls_testing::MakePlainClientContext();
    ASSERT_NE(context_, nullptr);
    host_.tlsContext = context_;
    host_.userName = "bob";
    host_.windowsUserName = "bob";
    host_.password = kPassword;
    host_.ntHash.emplace();
    ASSERT_TRUE(NtPasswordHashOfUtf8(kPassword, host_.ntHash->data()));
    host_.lmHash.emplace();
    LmPasswordHash(kPassword, host_.lmHash->data());
    const std::uint32_t md5 = 4;
    host_.ttlsTypes.types.Append(&md5, 1);
  }
  void TearDown() override {
    method_.reset();
    context_->Release();
  }

  // Runs the handshake with the selector; the AVPs we sent with our last handshake answer.
  Bytes Open(std::uint32_t selector) {
    host_.ttlsInnerProtocol = selector;
    method_ = std::make_unique<EapTtls>(&host_);
    EXPECT_EQ(method_->Initialize(), 0u);
    Bytes last;
    EXPECT_TRUE(tls_testing::Handshake(server_, *method_, last, &status_)) << std::hex << status_;
    return server_.Received({});
  }

  // Sends AVPs through the tunnel; what came back (nullopt: refused).
  std::optional<Bytes> Send(const AvpWriter& avps) {
    const Bytes inner(avps.Data(), avps.Data() + avps.Length());
    const std::optional<Bytes> response =
        tls_testing::Answer(*method_, server_.Tunnel(inner), &status_);
    if (!response) return std::nullopt;
    return server_.Received(*response);
  }

  Bytes Challenge(std::size_t length) { return server_.ExportKey("ttls challenge", length); }

  TlsContext* context_ = nullptr;
  FakeEapMethodHost host_;
  TunnelTestServer server_{tls_testing::Pki().server, kTtls};
  std::unique_ptr<EapTtls> method_;
  std::uint32_t status_ = 0;
};

TEST_F(EapTtlsTest, PapSendsNameAndPasswordAndKeysAreTheServers) {
  const auto avps = AvpsOf(Open(1));
  EXPECT_EQ(avps.at(1), Text("bob"));
  EXPECT_EQ(avps.at(2), Text(kPassword));
  EXPECT_TRUE(EapStatusIsComplete(method_->VerifyCompletion()));
  EXPECT_STREQ(method_->GetName(), "EAP-TTLS [PAP]");
  std::uint8_t keys[kEapKeyBlockSize];
  ASSERT_TRUE(method_->GetKeys(keys));
  EXPECT_EQ(Bytes(keys, keys + kEapKeyBlockSize), server_.ExportKey("ttls keying material", 64));
}

TEST_F(EapTtlsTest, ChapAnswersTheDerivedChallenge) {
  const auto avps = AvpsOf(Open(2));
  const Bytes challenge = Challenge(17);
  EXPECT_EQ(avps.at(60), Bytes(challenge.begin(), challenge.begin() + 16));
  Bytes expected(17);
  expected[0] = challenge[16];
  ChapResponse(challenge[16], kPassword, challenge.data(), 16, expected.data() + 1);
  EXPECT_EQ(avps.at(3), expected);
}

// The LM response is sent as zeros: the flags say to use the NT response.
TEST_F(EapTtlsTest, MsChapSendsOnlyTheNtResponse) {
  const auto avps = AvpsOf(Open(3));
  const Bytes challenge = Challenge(9);
  EXPECT_EQ(avps.at(1011), Bytes(challenge.begin(), challenge.begin() + 8));
  const Bytes& response = avps.at(1001);
  ASSERT_EQ(response.size(), 50u);
  EXPECT_EQ(response[0], challenge[8]);
  EXPECT_EQ(response[1], 1);
  EXPECT_EQ(Bytes(response.begin() + 2, response.begin() + 26), Bytes(24, 0));
  Bytes nt(24);
  ChallengeResponse(challenge.data(), host_.ntHash->data(), nt.data());
  EXPECT_EQ(Bytes(response.begin() + 26, response.end()), nt);
}

// Phase 2 cannot be skipped: an EAP-Success before the inner conversation completed fails.
TEST_F(EapTtlsTest, SuccessBeforeTheInnerEapMethodFails) {
  const auto avps = AvpsOf(Open(6));
  EXPECT_EQ(avps.at(79), (Bytes{2, 0, 0, 8, 1, 'b', 'o', 'b'}));
  EXPECT_FALSE(EapStatusIsComplete(method_->VerifyCompletion()));
  EXPECT_EQ(method_->VerifyCompletion(), kEapSessionNoMethodRun);
  EXPECT_STREQ(method_->GetName(), "EAP-TTLS") << "no inner method has a name to show";
}

TEST_F(EapTtlsTest, InnerEapRunsItsMethodAndCompletesOnTheInnerSuccess) {
  Open(6);
  AvpWriter challenge;
  const Bytes md5 = {1, 7, 0, 22, 4, 16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  challenge.Append(79, 0, true, md5.data(), static_cast<std::uint32_t>(md5.size()));
  const std::optional<Bytes> answer = Send(challenge);
  ASSERT_TRUE(answer) << std::hex << status_;
  Bytes expected = {2, 7, 0, 22, 4, 16};
  expected.resize(22);
  ChapResponse(7, kPassword, md5.data() + 6, 16, expected.data() + 6);
  EXPECT_EQ(AvpsOf(*answer).at(79), expected);
  EXPECT_TRUE(EapStatusIsComplete(method_->VerifyCompletion()));
  EXPECT_STREQ(method_->GetName(), "EAP-TTLS [EAP-MD5Challenge]");
}

// A mandatory AVP nobody understands fails the method, even beside a verified Success.
TEST_F(EapTtlsTest, UnknownMandatoryAvpFailsTheMethod) {
  const auto avps = AvpsOf(Open(4));
  const Bytes challenge = Challenge(17);
  const Bytes& response = avps.at(1025);
  ASSERT_EQ(response.size(), 50u);
  std::uint8_t hashHash[16];
  PasswordHashHash(host_.ntHash->data(), hashHash);
  char proof[kAuthenticatorResponseSize];
  GenerateAuthenticatorResponse(hashHash, response.data() + 26, response.data() + 2,
                                challenge.data(), "bob", proof);
  AvpWriter success;
  Bytes value = {challenge[16]};
  value.insert(value.end(), proof, proof + sizeof proof);
  success.Append(26, 311, false, value.data(), static_cast<std::uint32_t>(value.size()));
  const std::uint8_t other[] = {1};
  success.Append(5, 9, true, other, sizeof other);
  EXPECT_FALSE(Send(success));
  EXPECT_EQ(status_, kEapBaseTtls | kEapUnexpected);
}

TEST_F(EapTtlsTest, MalformedAvpsFail) {
  Open(1);
  const std::uint8_t broken[] = {0, 0, 0, 18, 0, 0, 0, 40};
  const Bytes request = server_.Tunnel(Bytes(broken, broken + sizeof broken));
  EXPECT_FALSE(tls_testing::Answer(*method_, request, &status_));
  EXPECT_EQ(status_, kEapBaseTtls | kEapMalformed);
}

}  // namespace
