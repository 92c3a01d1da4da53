#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>
#include <string>

#include "inc/ksCertUtility.h"
#include "ksLib_OSSL/eap_tls_test_server.h"
#include "ksLib_OSSL/openssl_eap_tls_peer.h"
#include "ksSupp/api_context.h"
#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/private_key.h"
#include "platform/cryptoapi/scoped_cert_root.h"

namespace {

using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;
using tls_testing::Bytes;
using tls_testing::EapTlsTestServer;

const tls_testing::TestPki& Certs() { return tls_testing::Pki(); }

void AddToStore(capi::StoreLocation location, const char* store, const TestCertificate& cert,
                bool withKey) {
  capi::PCCERT_CONTEXT context = capi::CertCreateCertificateContext(
      capi::X509_ASN_ENCODING, cert.der.data(), static_cast<std::uint32_t>(cert.der.size()));
  ASSERT_NE(context, nullptr);
  if (withKey) {
    const Bytes key = cert.Pkcs8();
    ASSERT_TRUE(capi::CertSetPrivateKey(context, key.data(), static_cast<std::uint32_t>(key.size())));
  }
  capi::HCERTSTORE opened = capi::CertOpenSystemStore(location, store);
  ASSERT_NE(opened, nullptr);
  ASSERT_TRUE(capi::CertAddCertificateContextToStore(opened, context, capi::CERT_STORE_ADD_ALWAYS,
                                                     nullptr));
  capi::CertCloseStore(opened, 0);
  capi::CertFreeCertificateContext(context);
}

std::array<std::uint8_t, 20> HashOf(const TestCertificate& cert) {
  std::array<std::uint8_t, 20> hash{};
  unsigned int length = 0;
  X509_digest(cert.x509.get(), EVP_sha1(), hash.data(), &length);
  return hash;
}

std::uint32_t Trust(void*, const DerCertificate*, std::uint32_t) { return 0; }

// Signs as the method host does when its owner leaves it to the library: through the
// certificate's private-key transform, the key staying in the store.
int SignInStore(void* argument, char, std::uint32_t, const std::uint8_t* digest,
                std::uint32_t digestLength, std::uint32_t, std::uint32_t, std::uint8_t* out,
                std::uint32_t capacity, std::uint32_t* outLength) {
  auto* certificate = static_cast<ksCert*>(argument);
  VARIANT_BOOL done = VARIANT_FALSE;
  if (certificate == nullptr) return -1;
  return certificate->ApplyTransformEx(KS_CERT_TRANSFORM_RSA_SIGN, digest, digestLength, out,
                                       capacity, nullptr, outLength, &done) == S_OK &&
                 done == VARIANT_TRUE
             ? 0
             : -1;
}

class UserTlsCredential : public ::testing::Test {
 protected:
  void SetUp() override {
    ksCertUtility* utility = nullptr;
    dcfCreateInstance<KsCertLib>(&utility);
    context_ = ApiContext::Create(utility);
    ASSERT_NE(context_, nullptr);
  }
  void TearDown() override { context_->Release(); }

  // Whether a server that asks for a client certificate from the user's CA accepts the
  // credential's context (it must offer the certificate and sign with its key).
  static bool ServerAcceptsUs(IdentityTlsCredential& credential, bool askForCertificate) {
    OpenSslEapTlsPeer* peer = nullptr;
    if (credential.context->CreatePeer(&peer) != 0) return false;
    peer->EnableEapType("TLS");
    peer->SetExternalSigner(SignInStore, credential.certificate.Get());
    peer->CreateConnection();
    peer->SetChainVerifyHook(Trust, nullptr);
    EapTlsTestServer server(Certs().server,
                            {.trustedClientIssuer = askForCertificate ? &Certs().ca : nullptr,
                             .requireClientCertificate = askForCertificate});
    const auto conversation = tls_testing::Converse(server, [&](const Bytes& request) -> std::optional<Bytes> {
      if (peer->ProcessRequest(request.data(), static_cast<std::uint32_t>(request.size())) != 0) {
        return std::nullopt;
      }
      Bytes response(1400);
      std::uint32_t length = 0;
      if (peer->GetResponse(response.data(), 1400, &length) != 0) return std::nullopt;
      response.resize(length);
      return response;
    });
    peer->Release();
    return conversation.verdict == EapTlsTestServer::Verdict::kSuccess;
  }

  // The certificate with the hash from the current user's "my" store, as an object.
  dcfComPtr<ksCert> UserCertificateObject(const std::uint8_t* hash) {
    plat::BSTR name = plat::SysAllocString(u"my");
    plat::BSTR location = plat::SysAllocString(kCertLocationCurrentUser);
    ksCertStore* store = nullptr;
    context_->CertUtility()->OpenCertStore(name, nullptr, location, &store);
    plat::SysFreeString(name);
    plat::SysFreeString(location);
    dcfComPtr<ksCert> found;
    if (store == nullptr) return found;
    ksCert* cert = nullptr;
    store->GetCertByHash(hash, 20, &cert);
    found.Attach(cert);
    store->Release();
    return found;
  }

  capi::testing::ScopedCertRoot root_;
  ApiContext* context_ = nullptr;
};

// The credential of each kind of identity, and what a server asking for the user's
// certificate makes of it.
TEST_F(UserTlsCredential, BuiltFromTheUsersStore) {
  AddToStore(capi::StoreLocation::CurrentUser, "ROOT", Certs().ca, false);
  AddToStore(capi::StoreLocation::CurrentUser, "MY", Certs().client, true);
  const TestCertificate keyless = MakeCertificate("bob", {.issuer = &Certs().ca, .serial = 9, .rsa = true});
  AddToStore(capi::StoreLocation::CurrentUser, "MY", keyless, false);
  context_->InitializeTls();

  const auto user = HashOf(Certs().client);
  const auto bob = HashOf(keyless);
  struct Case {
    const char* name;
    std::uint32_t location;
    const std::uint8_t* hash;
    bool asObject;  // the certificate given as an object rather than found by its hash
    std::uint32_t status;
    bool accepted;  // by a server that asks for the user's certificate when there is one
  };
  // The key never enters the context: the store signs, so a certificate whose key is not
  // there gives a credential the server refuses at CertificateVerify.
  const Case cases[] = {
      {"the user's certificate with its key", 1, user.data(), false, 0, true},
      {"the user's certificate as an object", 0, user.data(), true, 0, true},
      {"no certificate", 0, nullptr, false, 0, true},
      {"not in the machine's store", 2, user.data(), false, 0xC000, false},
      {"a certificate without its key", 1, bob.data(), false, 0, false},
      {"an unknown location", 3, user.data(), false, 0xC000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dcfComPtr<ksCert> object;
    if (c.asObject) object = UserCertificateObject(c.hash);
    IdentityTlsCredential* credential =
        context_->CreateTlsContext(c.location, c.asObject ? nullptr : c.hash, object.Get());
    ASSERT_NE(credential, nullptr);
    EXPECT_EQ(credential->status, c.status);
    EXPECT_EQ(credential->hasHash, c.hash != nullptr);
    if (c.hash != nullptr) {
      EXPECT_EQ(std::memcmp(credential->hash, c.hash, 20), 0);
    }
    if (c.status == 0) {
      ASSERT_TRUE(credential->context);
      EXPECT_FALSE(credential->context->CipherList().empty());
      EXPECT_EQ(ServerAcceptsUs(*credential, c.hash != nullptr), c.accepted);
    } else {
      EXPECT_FALSE(credential->context);
    }
    credential->Release();
  }
}

TEST_F(UserTlsCredential, NoContextBeforeTheTlsConfiguration) {
  IdentityTlsCredential* credential = context_->CreateTlsContext(0, nullptr);
  EXPECT_EQ(credential->status, 0x7000u);
  EXPECT_FALSE(credential->context);
  credential->Release();
}

}  // namespace
