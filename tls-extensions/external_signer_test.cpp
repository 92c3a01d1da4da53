#include "tls-extensions/external_signer.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <openssl/err.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include "platform/cryptoapi/test_certificates.h"
#include "tls-extensions/test_handshake.h"

namespace {

using capi::testing::CertificateOptions;
using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;

struct CtxFree {
  void operator()(SSL_CTX* c) const { SSL_CTX_free(c); }
};
struct SslFree {
  void operator()(SSL* s) const { SSL_free(s); }
};
using Context = std::unique_ptr<SSL_CTX, CtxFree>;
using Connection = std::unique_ptr<SSL, SslFree>;

// Stands in for the certificate store: signs with the user's key, which the client's TLS
// context never holds, and records what it was given.
struct StoreSigner {
  EVP_PKEY* key = nullptr;
  bool refuse = false;
  int calls = 0;
  std::vector<std::uint8_t> input;
  std::uint32_t keySize = 0;

  static int Sign(void* argument, const std::uint8_t* input, std::uint32_t inputLength,
                  std::uint32_t keySize, std::uint8_t* out, std::uint32_t capacity,
                  std::uint32_t* outLength) {
    auto& self = *static_cast<StoreSigner*>(argument);
    ++self.calls;
    self.input.assign(input, input + inputLength);
    self.keySize = keySize;
    if (self.refuse) return 1;
    // PKCS #1 type 1 padding over the bytes as given, as the store's transform does.
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_pkey(nullptr, self.key, nullptr);
    std::size_t length = capacity;
    const bool made = context != nullptr && EVP_PKEY_sign_init(context) == 1 &&
                      EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1 &&
                      EVP_PKEY_sign(context, out, &length, input, inputLength) == 1;
    EVP_PKEY_CTX_free(context);
    *outLength = static_cast<std::uint32_t>(length);
    return made ? 0 : 1;
  }
};

int AcceptAny(int, X509_STORE_CTX*) { return 1; }

int g_alertSent = 0;  // the last alert description the client sent
void RecordAlert(const SSL*, int where, int value) {
  if ((where & SSL_CB_WRITE_ALERT) != 0) g_alertSent = value & 0xFF;
}

class ExternalSigner : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ca_ = new TestCertificate(MakeCertificate("ca.example", {.isCa = true, .rsa = true, .rsaBits = 2048}));
    user_ = new TestCertificate(
        MakeCertificate("user.example", {.issuer = ca_, .serial = 2, .rsa = true, .rsaBits = 2048}));
  }
  static void TearDownTestSuite() {
    delete user_;
    delete ca_;
  }

  // A server that requires a client certificate, and a client context (in the engine's
  // library context) holding the user's certificate but not its key; one version.
  void Start(int version) {
    server_.reset(SSL_CTX_new(TLS_server_method()));
    client_.reset(SSL_CTX_new_ex(TlsEngineLibraryContext(), nullptr, TLS_client_method()));
    ASSERT_TRUE(server_ && client_);
    for (SSL_CTX* context : {server_.get(), client_.get()}) {
      SSL_CTX_set_security_level(context, 0);  // TLS 1.0 signs with MD5 and SHA-1
      SSL_CTX_set_min_proto_version(context, version);
      SSL_CTX_set_max_proto_version(context, version);
    }
    ASSERT_EQ(SSL_CTX_use_certificate(server_.get(), ca_->x509.get()), 1);
    ASSERT_EQ(SSL_CTX_use_PrivateKey(server_.get(), ca_->key.get()), 1);
    SSL_CTX_set_verify(server_.get(), SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, AcceptAny);
    ASSERT_EQ(SSL_CTX_use_certificate(client_.get(), user_->x509.get()), 1);
    clientSsl_.reset(SSL_new(client_.get()));
    serverSsl_.reset(SSL_new(server_.get()));
    signer_.key = user_->key.get();
  }

  bool Handshake() { return tlsext_testing::RunHandshake(clientSsl_.get(), serverSsl_.get()); }

  // The user's certificate as the server received it.
  bool ServerSawTheUser() {
    X509* peer = SSL_get1_peer_certificate(serverSsl_.get());
    const bool same = peer != nullptr && X509_cmp(peer, user_->x509.get()) == 0;
    X509_free(peer);
    return same;
  }

  static TestCertificate* ca_;
  static TestCertificate* user_;
  Context server_;
  Context client_;
  Connection clientSsl_;
  Connection serverSsl_;
  StoreSigner signer_;
};

TestCertificate* ExternalSigner::ca_ = nullptr;
TestCertificate* ExternalSigner::user_ = nullptr;

// TLS 1.0 and 1.1 hand the signer the 36-byte MD5 and SHA-1 handshake hash; TLS 1.2 the
// DigestInfo of the digest, which parses whole. The server checks the signature.
TEST_F(ExternalSigner, SignsTheCertificateVerifyOutsideTheEngine) {
  for (const int version : {TLS1_VERSION, TLS1_1_VERSION, TLS1_2_VERSION}) {
    SCOPED_TRACE(version);
    Start(version);
    ASSERT_TRUE(TlsUseExternalSigner(clientSsl_.get(), StoreSigner::Sign, &signer_));
    ASSERT_TRUE(Handshake());
    EXPECT_TRUE(ServerSawTheUser());
    EXPECT_EQ(signer_.calls, 1);
    EXPECT_EQ(signer_.keySize, 256u);
    if (version == TLS1_2_VERSION) {
      const unsigned char* cursor = signer_.input.data();
      X509_SIG* info = d2i_X509_SIG(nullptr, &cursor, static_cast<long>(signer_.input.size()));
      ASSERT_NE(info, nullptr);
      EXPECT_EQ(cursor, signer_.input.data() + signer_.input.size());
      X509_SIG_free(info);
    } else {
      EXPECT_EQ(signer_.input.size(), 36u);
    }
    signer_ = StoreSigner{};
  }
}

// A refusing signer fails the handshake with internal_error (80; the older engine sent
// handshake_failure, 40); the server never authenticates us.
TEST_F(ExternalSigner, RefusalFailsTheHandshake) {
  Start(TLS1_2_VERSION);
  signer_.refuse = true;
  ASSERT_TRUE(TlsUseExternalSigner(clientSsl_.get(), StoreSigner::Sign, &signer_));
  g_alertSent = 0;
  SSL_set_info_callback(clientSsl_.get(), RecordAlert);
  EXPECT_FALSE(Handshake());
  EXPECT_EQ(signer_.calls, 1);
  EXPECT_EQ(g_alertSent, SSL_AD_INTERNAL_ERROR);
  EXPECT_NE(SSL_get_state(serverSsl_.get()), TLS_ST_OK);
  ERR_clear_error();
}

// The placeholder is only for a certificate whose key the engine does not have.
TEST_F(ExternalSigner, NotInstalledWhereItDoesNotApply) {
  Start(TLS1_2_VERSION);
  EXPECT_FALSE(TlsUseExternalSigner(clientSsl_.get(), nullptr, &signer_)) << "no signer";
  Connection keyed(SSL_new(client_.get()));
  ASSERT_EQ(SSL_use_PrivateKey(keyed.get(), user_->key.get()), 1);
  EXPECT_FALSE(TlsUseExternalSigner(keyed.get(), StoreSigner::Sign, &signer_)) << "key present";
  Context bare(SSL_CTX_new_ex(TlsEngineLibraryContext(), nullptr, TLS_client_method()));
  Connection certificateless(SSL_new(bare.get()));
  EXPECT_FALSE(TlsUseExternalSigner(certificateless.get(), StoreSigner::Sign, &signer_))
      << "no certificate";
  Context ec(SSL_CTX_new_ex(TlsEngineLibraryContext(), nullptr, TLS_client_method()));
  const TestCertificate ecUser = MakeCertificate("ec.example");
  ASSERT_EQ(SSL_CTX_use_certificate(ec.get(), ecUser.x509.get()), 1);
  Connection ecConnection(SSL_new(ec.get()));
  EXPECT_FALSE(TlsUseExternalSigner(ecConnection.get(), StoreSigner::Sign, &signer_))
      << "not an RSA key";
  EXPECT_EQ(signer_.calls, 0);
}

}  // namespace
