#include "tls-extensions/engine_hooks.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <openssl/err.h>

#include "platform/cryptoapi/test_certificates.h"
#include "tls-extensions/test_handshake.h"

namespace {

using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;

struct CtxFree {
  void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
};
struct SslFree {
  void operator()(SSL* s) const { SSL_free(s); }
};

// A client and a server joined by a BIO pair; the server's certificate is self-signed, so
// OpenSSL's own verification refuses it.
class HandshakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    serverCert_ = MakeCertificate("server.example");
    server_.reset(SSL_CTX_new(TLS_server_method()));
    client_.reset(SSL_CTX_new(TLS_client_method()));
    ASSERT_TRUE(server_ && client_);
    ASSERT_EQ(SSL_CTX_use_certificate(server_.get(), serverCert_.x509.get()), 1);
    ASSERT_EQ(SSL_CTX_use_PrivateKey(server_.get(), serverCert_.key.get()), 1);
    SSL_CTX_set_max_proto_version(client_.get(), TLS1_2_VERSION);
    SSL_CTX_set_verify(client_.get(), SSL_VERIFY_PEER, nullptr);
    ASSERT_TRUE(TlsInstallEngineHooks(client_.get()));
  }

  // Runs the handshake to its end; true when both sides finished.
  bool Handshake() {
    serverSsl_.reset(SSL_new(server_.get()));
    return tlsext_testing::RunHandshake(clientSsl_.get(), serverSsl_.get());
  }

  void NewClient() { clientSsl_.reset(SSL_new(client_.get())); }

  TestCertificate serverCert_;
  std::unique_ptr<SSL_CTX, CtxFree> server_;
  std::unique_ptr<SSL_CTX, CtxFree> client_;
  std::unique_ptr<SSL, SslFree> clientSsl_;
  std::unique_ptr<SSL, SslFree> serverSsl_;
};

struct HookRecord {
  int calls = 0;
  int verdict = 1;
  int error = X509_V_OK;
  std::vector<std::uint8_t> firstDer;
};

int RecordingHook(X509_STORE_CTX* store, void* argument) {
  auto* record = static_cast<HookRecord*>(argument);
  ++record->calls;
  STACK_OF(X509)* chain = X509_STORE_CTX_get0_untrusted(store);
  if (chain != nullptr && sk_X509_num(chain) > 0) {
    unsigned char* der = nullptr;
    const int length = i2d_X509(sk_X509_value(chain, 0), &der);
    if (length > 0) record->firstDer.assign(der, der + length);
    OPENSSL_free(der);
  }
  X509_STORE_CTX_set_error(store, record->error);
  return record->verdict;
}

TEST_F(HandshakeTest, WithoutHookOpenSslJudgesTheChain) {
  NewClient();
  EXPECT_FALSE(Handshake());
  EXPECT_EQ(SSL_get_verify_result(clientSsl_.get()), X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT);
  ERR_clear_error();
}

// The hook sees the chain the server sent and its verdict is the connection's.
TEST_F(HandshakeTest, HookJudgesTheChainInsteadOfOpenSsl) {
  struct Case {
    int verdict;
    int error;
    bool completes;
  };
  for (const Case& c : {Case{1, X509_V_OK, true}, Case{0, X509_V_ERR_CERT_REVOKED, false},
                        Case{0, X509_V_ERR_CERT_UNTRUSTED, false}}) {
    SCOPED_TRACE(c.error);
    NewClient();
    HookRecord record;
    record.verdict = c.verdict;
    record.error = c.error;
    ASSERT_TRUE(TlsSetChainVerifyHook(clientSsl_.get(), RecordingHook, &record));
    EXPECT_EQ(Handshake(), c.completes);
    EXPECT_EQ(record.calls, 1);
    EXPECT_EQ(record.firstDer, serverCert_.der);
    EXPECT_EQ(SSL_get_verify_result(clientSsl_.get()), c.error);
    ERR_clear_error();
  }
}

// The post-verify hook has the last word on a chain the chain-verify hook accepted, and is
// not asked about one it refused.
TEST_F(HandshakeTest, PostVerifyHookJudgesAnAcceptedChain) {
  struct Case {
    int chainVerdict;
    int postVerdict;
    int postError;
    bool completes;
    int postCalls;
    int verifyResult;
  };
  for (const Case& c : {Case{1, 1, X509_V_OK, true, 1, X509_V_OK},
                        Case{1, 0, X509_V_ERR_CERT_REJECTED, false, 1, X509_V_ERR_CERT_REJECTED},
                        Case{0, 1, X509_V_OK, false, 0, X509_V_ERR_CERT_UNTRUSTED}}) {
    SCOPED_TRACE(::testing::Message() << c.chainVerdict << c.postVerdict);
    NewClient();
    HookRecord chain;
    chain.verdict = c.chainVerdict;
    chain.error = c.chainVerdict > 0 ? X509_V_OK : X509_V_ERR_CERT_UNTRUSTED;
    HookRecord post;
    post.verdict = c.postVerdict;
    post.error = c.postError;
    ASSERT_TRUE(TlsSetChainVerifyHook(clientSsl_.get(), RecordingHook, &chain));
    ASSERT_TRUE(TlsSetPostVerifyHook(clientSsl_.get(), RecordingHook, &post));
    EXPECT_EQ(Handshake(), c.completes);
    EXPECT_EQ(post.calls, c.postCalls);
    EXPECT_EQ(SSL_get_verify_result(clientSsl_.get()), c.verifyResult);
    ERR_clear_error();
  }
}

TEST_F(HandshakeTest, ClearedHookGivesTheChainBackToOpenSsl) {
  NewClient();
  HookRecord record;
  ASSERT_TRUE(TlsSetChainVerifyHook(clientSsl_.get(), RecordingHook, &record));
  ASSERT_TRUE(TlsSetChainVerifyHook(clientSsl_.get(), nullptr, nullptr));
  EXPECT_FALSE(Handshake());
  EXPECT_EQ(record.calls, 0);
  ERR_clear_error();
}

// Every handshake message, from the ClientHello on, in order, with its 4-byte header: the
// transcript parses as a run of messages starting with ClientHello and ending with the
// server's Finished.
TEST_F(HandshakeTest, TranscriptHoldsEveryHandshakeMessageInOrder) {
  NewClient();
  HookRecord record;
  ASSERT_TRUE(TlsSetChainVerifyHook(clientSsl_.get(), RecordingHook, &record));
  std::size_t length = 1;
  EXPECT_EQ(TlsHandshakeTranscript(clientSsl_.get(), &length), nullptr);
  EXPECT_EQ(length, 0u);
  ASSERT_TRUE(Handshake());

  const std::uint8_t* transcript = TlsHandshakeTranscript(clientSsl_.get(), &length);
  ASSERT_NE(transcript, nullptr);
  std::vector<int> types;
  std::size_t at = 0;
  while (at + 4 <= length) {
    types.push_back(transcript[at]);
    at += 4 + (std::size_t{transcript[at + 1]} << 16 | std::size_t{transcript[at + 2]} << 8 |
               transcript[at + 3]);
  }
  EXPECT_EQ(at, length);
  // ClientHello, ServerHello, Certificate, ServerKeyExchange, ServerHelloDone,
  // ClientKeyExchange, Finished (ours), NewSessionTicket, Finished (the server's).
  EXPECT_EQ(types, (std::vector<int>{1, 2, 11, 12, 14, 16, 20, 4, 20}));
}

}  // namespace
