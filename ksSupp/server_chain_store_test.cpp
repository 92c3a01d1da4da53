// The server's chain judged through the current user's certificate stores (the chain engine
// the context makes for "Current User"), with revocation checking on: only a chain that
// ends in the user's trusted roots, is valid now, is meant for servers and is not revoked is
// trusted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <ksstk.h>
#include <openssl/evp.h>

#include "ksCert/KsCertLib.h"
#include "ksSupp/api_context.h"
#include "ksSupp/trace.h"
#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/crl_store.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"

namespace {

using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;

constexpr long kRevokedSerial = 66;

std::vector<std::string> g_traces;
void KSSTK_CALL CollectTrace(int32_t, int32_t, const char* text, const uint8_t*, uint32_t) {
  g_traces.emplace_back(text);
}

void AddToStore(const char* store, const TestCertificate& cert) {
  capi::PCCERT_CONTEXT context = capi::CertCreateCertificateContext(
      capi::X509_ASN_ENCODING, cert.der.data(), static_cast<std::uint32_t>(cert.der.size()));
  ASSERT_NE(context, nullptr);
  capi::HCERTSTORE opened = capi::CertOpenSystemStore(capi::StoreLocation::CurrentUser, store);
  ASSERT_NE(opened, nullptr);
  ASSERT_TRUE(capi::CertAddCertificateContextToStore(opened, context, capi::CERT_STORE_ADD_ALWAYS,
                                                     nullptr));
  capi::CertCloseStore(opened, 0);
  capi::CertFreeCertificateContext(context);
}

void AddCrlToStore(const std::vector<std::uint8_t>& crl) {
  capi::HCERTSTORE store = capi::CertOpenSystemStore(capi::StoreLocation::CurrentUser, "CA");
  ASSERT_NE(store, nullptr);
  ASSERT_TRUE(capi::CertAddEncodedCrlToStore(store, crl.data(), static_cast<std::uint32_t>(crl.size())));
  capi::CertCloseStore(store, 0);
}

class ServerChainInTheStore : public ::testing::Test {
 protected:
  void SetUp() override {
    AddToStore("ROOT", ca_);
    AddCrlToStore(capi::testing::MakeCrl(ca_, {kRevokedSerial}));

    ksCertUtility* utility = nullptr;
    dcfCreateInstance<KsCertLib>(&utility);
    context_ = ApiContext::Create(utility);
    ASSERT_NE(context_, nullptr);
    ksCertChainEngine3* revocation = nullptr;
    ASSERT_EQ(context_->ChainEngine()->QueryInterface(IID_ksCertChainEngine3,
                                                      reinterpret_cast<void**>(&revocation)),
              S_OK);
    EXPECT_EQ(revocation->put_CheckRevocation(VARIANT_TRUE), S_OK);
    revocation->Release();
  }
  void TearDown() override {
    if (context_ != nullptr) context_->Release();
  }

  // The verdict on the chain the server sent; *first the built chain's end certificate.
  std::int32_t Verdict(const std::vector<const TestCertificate*>& sent,
                       std::vector<std::uint8_t>* first = nullptr) {
    std::vector<DerCertificate> list;
    for (const TestCertificate* cert : sent) {
      list.push_back({cert->der.data(), static_cast<std::uint32_t>(cert->der.size())});
    }
    CertList* certs = context_->CreateCertList(list.data(), static_cast<std::uint32_t>(list.size()));
    CertList* chain = nullptr;
    const std::int32_t verdict = context_->ValidateServerChain(*certs, &chain);
    if (chain != nullptr && first != nullptr && chain->Count() > 0) {
      const dcfByteArray& der = chain->At(0).Bytes();
      first->assign(der.begin(), der.end());
    }
    if (chain != nullptr) chain->Release();
    certs->Release();
    return verdict;
  }

  capi::testing::ScopedCertRoot root_;
  const TestCertificate ca_ = MakeCertificate("Store CA", {.isCa = true});
  ApiContext* context_ = nullptr;
};

TEST_F(ServerChainInTheStore, OnlyAGoodServerChainIsTrusted) {
  const TestCertificate strangerCa = MakeCertificate("Stranger CA", {.isCa = true, .serial = 7});
  struct Case {
    const char* name;
    TestCertificate server;
    const TestCertificate* sentIssuer;
    std::int32_t verdict;
  };
  const auto server = [&](long serial, capi::testing::CertificateOptions options) {
    options.issuer = options.issuer != nullptr ? options.issuer : &ca_;
    options.serial = serial;
    if (options.extendedKeyUsage == nullptr) options.extendedKeyUsage = "serverAuth";
    return MakeCertificate("radius.example", options);
  };
  const Case cases[] = {
      {"trusted", server(2, {}), nullptr, KSSTK_CHAIN_TRUSTED},
      {"untrusted root", server(3, {.issuer = &strangerCa}), &strangerCa,
       KSSTK_CHAIN_UNTRUSTED_ROOT},
      {"expired", server(4, {.notBeforeDays = -10, .notAfterDays = -1}), nullptr,
       KSSTK_CHAIN_EXPIRED},
      {"not yet valid", server(5, {.notBeforeDays = 2, .notAfterDays = 30}), nullptr,
       KSSTK_CHAIN_NOT_YET_VALID},
      {"for clients only", server(6, {.extendedKeyUsage = "clientAuth"}), nullptr,
       KSSTK_CHAIN_WRONG_USAGE},
      {"revoked", server(kRevokedSerial, {}), nullptr, KSSTK_CHAIN_REVOKED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<const TestCertificate*> sent = {&c.server};
    if (c.sentIssuer != nullptr) sent.push_back(c.sentIssuer);
    std::vector<std::uint8_t> first;
    EXPECT_EQ(Verdict(sent, &first), c.verdict);
    EXPECT_EQ(first, c.server.der) << "the built chain starts with the server's certificate";
  }
}

// Without a revocation list of the issuer, revocation checking cannot vouch for the server.
TEST_F(ServerChainInTheStore, UnknownRevocationStatusIsNotTrusted) {
  const TestCertificate intermediate =
      MakeCertificate("Intermediate CA", {.issuer = &ca_, .isCa = true, .serial = 8});
  const TestCertificate server = MakeCertificate(
      "radius.example", {.issuer = &intermediate, .serial = 9, .extendedKeyUsage = "serverAuth"});
  EXPECT_EQ(Verdict({&server, &intermediate}), KSSTK_CHAIN_REVOCATION_UNKNOWN);
}

// A server certificate that the trusted CA signed with MD5 or SHA-1 is refused as a bad
// signature, and the trace names it and the algorithm.
TEST_F(ServerChainInTheStore, ServerCertificatesSignedWithWeakDigestsAreRefused) {
  const TestCertificate rsaCa = MakeCertificate("Store RSA CA", {.isCa = true, .serial = 10, .rsa = true});
  AddToStore("ROOT", rsaCa);
  AddCrlToStore(capi::testing::MakeCrl(rsaCa, {}));
  g_traces.clear();
  SetTraceLevel(1);
  SetTraceCallbackA(CollectTrace);
  const struct {
    const EVP_MD* digest;
    std::int32_t verdict;
    const char* algorithm;
  } cases[] = {
      {EVP_sha256(), KSSTK_CHAIN_TRUSTED, nullptr},
      {EVP_sha1(), KSSTK_CHAIN_BAD_SIGNATURE, "sha1WithRSAEncryption"},
      {EVP_md5(), KSSTK_CHAIN_BAD_SIGNATURE, "md5WithRSAEncryption"},
  };
  long serial = 11;
  for (const auto& c : cases) {
    SCOPED_TRACE(EVP_MD_get0_name(c.digest));
    g_traces.clear();
    const TestCertificate server = MakeCertificate(
        "weak.example", {.issuer = &rsaCa, .serial = serial++, .extendedKeyUsage = "serverAuth", .digest = c.digest});
    EXPECT_EQ(Verdict({&server}), c.verdict);
    if (c.algorithm == nullptr) {
      EXPECT_TRUE(g_traces.empty()) << ::testing::PrintToString(g_traces);
    } else {
      ASSERT_EQ(g_traces.size(), 1u);
      EXPECT_NE(g_traces[0].find("Server certificate 0 refused: signature not valid or made with too weak a digest"),
                std::string::npos) << g_traces[0];
      EXPECT_NE(g_traces[0].find("CN=weak.example"), std::string::npos) << g_traces[0];
      EXPECT_NE(g_traces[0].find(c.algorithm), std::string::npos) << g_traces[0];
    }
  }
  SetTraceCallbackA(nullptr);
  SetTraceLevel(0);
}

}  // namespace
