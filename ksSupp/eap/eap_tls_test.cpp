#include "ksSupp/eap/eap_tls.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "ksLib_OSSL/eap_tls_test_server.h"
#include "ksSupp/eap/eap_session.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap_type_list.h"

namespace {

using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;
using tls_testing::Bytes;
using tls_testing::EapTlsTestServer;

const tls_testing::TestPki& Certs() { return tls_testing::Pki(); }

class EapTlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    context_ = tls_testing::MakePlainClientContext();
    ASSERT_NE(context_, nullptr);
    host_.tlsContext = context_;
    allowed_.types.Append(&kTls, 1);
  }
  void TearDown() override { context_->Release(); }

  // One conversation through the runner, as the PAE drives it (1400-byte responses); the
  // runner's completion check runs on EAP-Success.
  tls_testing::Conversation Run(EapSession& session, EapTlsTestServer& server) {
    auto conversation = tls_testing::Converse(server, [&](const Bytes& request) -> std::optional<Bytes> {
      Bytes response(1400);
      std::uint32_t length = 0;
      lastStatus_ = session.ProcessRequest(request.data(), static_cast<std::uint32_t>(request.size()),
                                           response.data(), 1400, &length);
      if (lastStatus_ != 0) return std::nullopt;
      response.resize(length);
      return response;
    });
    if (conversation.verdict == EapTlsTestServer::Verdict::kSuccess) session.VerifyCompletion();
    return conversation;
  }

  static constexpr std::uint32_t kTls = 13;
  TlsContext* context_ = nullptr;
  FakeEapMethodHost host_;
  EapTypeList allowed_;
  std::uint32_t lastStatus_ = 0;
};

// The factory's EAP-TLS completes against a TLS server, offers the user's certificate,
// derives the server's 64-byte key, and after a success its session is resumed by the next
// authentication, whose name says so.
TEST_F(EapTlsTest, AuthenticatesDerivesTheServersKeyAndResumes) {
  EapTlsTestServer server(Certs().server);
  for (const char* name : {"EAP-TLS", "EAP-TLS (resumed)"}) {
    SCOPED_TRACE(name);
    EapSession session(&allowed_, &host_);
    const auto conversation = Run(session, server);
    ASSERT_EQ(conversation.verdict, EapTlsTestServer::Verdict::kSuccess) << std::hex << lastStatus_;
    EXPECT_EQ(session.status(), kEapComplete);
    EXPECT_STREQ(session.names(), name);
    EapMethod* method = session.method();
    ASSERT_NE(method, nullptr);
    EXPECT_TRUE(method->SupportsKeys());
    EXPECT_EQ(method->GetStatus(), 0u);
    std::uint8_t keys[kEapKeyBlockSize];
    ASSERT_TRUE(method->GetKeys(keys));
    EXPECT_EQ(Bytes(keys, keys + kEapKeyBlockSize), server.ExportKey("client EAP encryption", 64));
    std::uint16_t suite = 0;
    ASSERT_TRUE(method->GetCipherSuite(&suite));
    EXPECT_EQ(suite, SSL_CIPHER_get_protocol_id(SSL_get_current_cipher(server.ssl())));
    method->SetAuthenticationResult(true);
  }
  EXPECT_EQ(host_.tlsPeersAsked.size(), 2u);
  EXPECT_EQ(host_.tlsPeersAsked[0], (std::pair<std::uint32_t, bool>{13, true}));
  EXPECT_EQ(host_.chainsJudged, 1u) << "a resumed handshake shows no chain";
}

// How failures surface as status words.
TEST_F(EapTlsTest, FailuresBecomeStatusWords) {
  {
    SCOPED_TRACE("the server refuses us with handshake_failure");
    EapTlsTestServer server(Certs().server, {.trustedClientIssuer = &Certs().ca,
                                             .requireClientCertificate = true});
    EapSession session(&allowed_, &host_);
    EXPECT_TRUE(Run(session, server).weGaveUp);
    EXPECT_EQ(lastStatus_, 0x0200B328u);
  }
  {
    SCOPED_TRACE("we refuse the server's chain with bad_certificate");
    host_.chainVerdict = 6;
    EapTlsTestServer server(Certs().server);
    EapSession session(&allowed_, &host_);
    EXPECT_TRUE(Run(session, server).weGaveUp);
    EXPECT_EQ(lastStatus_, 0x0200B22Au);
    host_.chainVerdict = 0;
  }
  {
    SCOPED_TRACE("EAP-Success before the handshake finished");
    std::unique_ptr<EapMethod> method(createEapMethod(&host_, 13));
    ASSERT_EQ(method->Initialize(), 0u);
    EapTlsTestServer server(Certs().server);
    const Bytes start = server.Start();
    EXPECT_EQ(method->ReceiveEapRequest(start.data(), static_cast<std::uint32_t>(start.size())), 0u);
    EXPECT_EQ(method->VerifyCompletion(), 0x02004000u);
    std::uint8_t keys[kEapKeyBlockSize];
    EXPECT_FALSE(method->GetKeys(keys));
    EXPECT_STREQ(method->GetName(), "EAP-TLS");
  }
  {
    SCOPED_TRACE("a request the framing refuses, without TLS error or alert");
    std::unique_ptr<EapMethod> method(createEapMethod(&host_, 13));
    ASSERT_EQ(method->Initialize(), 0u);
    const Bytes response = {2, 1, 0, 6, 13, 0};
    EXPECT_EQ(method->ReceiveEapRequest(response.data(), 6), 0x0200B000u);
  }
}

// Without a usable TLS credential the method does not start; the credential's own status
// is reported with the method's base.
TEST_F(EapTlsTest, NoPeerWithoutCredential) {
  struct Case {
    TlsContext* context;
    std::uint32_t credentialStatus;
    std::uint32_t expected;
  };
  for (const Case& c : {Case{nullptr, 0, 0x02006000u}, Case{context_, 0x7000, 0x02007000u},
                        Case{context_, 0xC000, 0x0200C000u}}) {
    host_.tlsContext = c.context;
    host_.tlsCredentialStatus = c.credentialStatus;
    std::unique_ptr<EapMethod> method(createEapMethod(&host_, 13));
    ASSERT_TRUE(method);
    EXPECT_EQ(method->Initialize(), c.expected);
  }
  std::unique_ptr<EapMethod> hostless(createEapMethod(nullptr, 13));
  EXPECT_EQ(hostless->Initialize(), 0x02006000u);
}

}  // namespace
