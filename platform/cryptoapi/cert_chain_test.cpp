#include "platform/cryptoapi/cert_chain.h"

#include <gtest/gtest.h>
#include <openssl/err.h>

#include <memory>
#include <vector>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/chain_engine.h"
#include "platform/cryptoapi/crl_store.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"
#include "platform/win32/file_time.h"

namespace capi {
namespace {

using testing::CertificateOptions;
using testing::MakeCertificate;
using testing::TestCertificate;

constexpr std::uint64_t kDay = 86400ull * 10'000'000;

PCCERT_CONTEXT ContextOf(const TestCertificate& certificate) {
  return CertCreateCertificateContext(X509_ASN_ENCODING, certificate.der.data(),
                                      static_cast<std::uint32_t>(certificate.der.size()));
}

void AddTo(HCERTSTORE store, const TestCertificate& certificate) {
  PCCERT_CONTEXT context = ContextOf(certificate);
  ASSERT_TRUE(CertAddCertificateContextToStore(store, context, CERT_STORE_ADD_ALWAYS, nullptr));
  CertFreeCertificateContext(context);
}

const char* const kServerUsages[] = {"1.3.6.1.5.5.7.3.1", "1.3.6.1.4.1.311.10.3.3", "2.16.840.1.113730.4.1"};

// A root, an intermediate under it and a server certificate under that, and an engine that
// trusts only the root store it is given.
class Chain : public ::testing::Test {
protected:
  TestCertificate root_ = MakeCertificate("Root", {.notBeforeDays = -10, .notAfterDays = 3650, .isCa = true});
  TestCertificate intermediate_ =
      MakeCertificate("Intermediate", {.notBeforeDays = -5, .notAfterDays = 365, .issuer = &root_, .isCa = true});

  struct Built {
    std::vector<std::uint32_t> elementErrors;
    std::uint32_t chainErrors;
    std::vector<std::uint32_t> lengths;  // DER length of each element
  };

  Built Build(const TestCertificate& end, bool trustRoot, bool supplyIntermediate, bool supplyRoot = false,
              const CertChainPara& para = {}, std::uint32_t flags = 0,
              std::uint64_t when = plat::FileTimeNow(), const std::vector<std::vector<std::uint8_t>>& crls = {}) {
    HCERTSTORE roots = CertOpenMemoryStore();
    HCERTSTORE extra = CertOpenMemoryStore();
    for (const auto& crl : crls) {
      EXPECT_TRUE(CertAddEncodedCrlToStore(extra, crl.data(), static_cast<std::uint32_t>(crl.size())));
    }
    if (trustRoot) AddTo(roots, root_);
    if (supplyIntermediate) AddTo(extra, intermediate_);
    if (supplyRoot) AddTo(extra, root_);
    CertChainEngineConfig config;
    config.restrictedRoot = roots;
    config.restrictedOther = CertOpenMemoryStore();
    HCERTCHAINENGINE engine = nullptr;
    EXPECT_TRUE(CertCreateCertificateChainEngine(config, &engine));
    CertCloseStore(config.restrictedOther, 0);
    CertCloseStore(roots, 0);

    PCCERT_CONTEXT context = ContextOf(end);
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    EXPECT_TRUE(CertGetCertificateChain(engine, context, when, extra, para, flags, &chain));
    Built built{};
    if (chain != nullptr) {
      EXPECT_EQ(chain->chainCount, 1u);
      const CertSimpleChain& simple = chain->chains[0];
      for (std::uint32_t i = 0; i < simple.elementCount; ++i) {
        built.elementErrors.push_back(simple.elements[i].trustStatus.errorStatus);
        built.lengths.push_back(simple.elements[i].certificate->encodedLength);
      }
      built.chainErrors = simple.trustStatus.errorStatus;
      EXPECT_EQ(chain->trustStatus.errorStatus, simple.trustStatus.errorStatus);
    }
    CertFreeCertificateChain(chain);
    CertFreeCertificateContext(context);
    CertCloseStore(extra, 0);
    CertFreeCertificateChainEngine(engine);
    return built;
  }
};

TEST_F(Chain, TrustStatusOfEachElement) {
  const TestCertificate server = MakeCertificate("server", {.issuer = &intermediate_, .extendedKeyUsage = "serverAuth"});
  const TestCertificate expired =
      MakeCertificate("expired", {.notBeforeDays = -30, .notAfterDays = -1, .issuer = &intermediate_});
  const TestCertificate client = MakeCertificate("client", {.issuer = &intermediate_, .extendedKeyUsage = "clientAuth"});
  TestCertificate impostor = MakeCertificate("Intermediate", {.isCa = true});  // same name, other key
  const TestCertificate forged = MakeCertificate("forged", {.issuer = &impostor});
  const CertChainPara serverUse{USAGE_MATCH_TYPE_OR, 3, kServerUsages};

  struct Case {
    const char* name;
    const TestCertificate* end;
    bool trustRoot, supplyIntermediate, supplyRoot;
    CertChainPara para;
    std::uint32_t flags;
    std::vector<std::uint32_t> elementErrors;
  };
  const Case cases[] = {
      {"trusted", &server, true, true, false, serverUse, 0, {0, 0, 0}},
      {"root not trusted, but sent", &server, false, true, true, {}, 0, {0, 0, CERT_TRUST_IS_UNTRUSTED_ROOT}},
      {"root nowhere", &server, false, true, false, {}, 0, {0, CERT_TRUST_IS_PARTIAL_CHAIN}},
      {"intermediate missing", &server, true, false, false, {}, 0, {CERT_TRUST_IS_PARTIAL_CHAIN}},
      {"expired end certificate", &expired, true, true, false, {}, 0, {CERT_TRUST_IS_NOT_TIME_VALID, 0, 0}},
      {"client certificate for server use", &client, true, true, false, serverUse, 0,
       {CERT_TRUST_IS_NOT_VALID_FOR_USAGE, 0, 0}},
      {"no usage asked", &client, true, true, false, {}, 0, {0, 0, 0}},
      {"signed by another key", &forged, true, true, false, {}, 0, {CERT_TRUST_IS_NOT_SIGNATURE_VALID, 0, 0}},
      {"revocation asked, no list to be had", &server, true, true, false, {}, CERT_CHAIN_REVOCATION_CHECK_CHAIN,
       {CERT_TRUST_REVOCATION_STATUS_UNKNOWN, CERT_TRUST_REVOCATION_STATUS_UNKNOWN, 0}},
  };
  for (const Case& c : cases) {
    Built built = Build(*c.end, c.trustRoot, c.supplyIntermediate, c.supplyRoot, c.para, c.flags);
    EXPECT_EQ(built.elementErrors, c.elementErrors) << c.name;
    std::uint32_t all = 0;
    for (std::uint32_t bits : c.elementErrors) all |= bits;
    EXPECT_EQ(built.chainErrors, all) << c.name;
    EXPECT_EQ(ERR_peek_error(), 0u) << c.name;  // nothing left in the thread's OpenSSL queue
  }
  EXPECT_EQ(Build(server, true, true).lengths,
            (std::vector<std::uint32_t>{static_cast<std::uint32_t>(server.der.size()),
                                        static_cast<std::uint32_t>(intermediate_.der.size()),
                                        static_cast<std::uint32_t>(root_.der.size())}));
}

// MD5 is refused wherever it signs, SHA-1 everywhere but in the trusted root's own signature.
TEST_F(Chain, WeakSignatureDigestsAreRefused) {
  const struct {
    const char* name;
    const EVP_MD* root;  // the root's self-signature
    const EVP_MD* intermediate;
    const EVP_MD* server;
    std::vector<std::uint32_t> elementErrors;
  } cases[] = {
      {"SHA-256 throughout", EVP_sha256(), EVP_sha256(), EVP_sha256(), {0, 0, 0}},
      {"server signed with MD5", EVP_sha256(), EVP_sha256(), EVP_md5(), {CERT_TRUST_IS_NOT_SIGNATURE_VALID, 0, 0}},
      {"server signed with SHA-1", EVP_sha256(), EVP_sha256(), EVP_sha1(), {CERT_TRUST_IS_NOT_SIGNATURE_VALID, 0, 0}},
      {"intermediate signed with SHA-1", EVP_sha256(), EVP_sha1(), EVP_sha256(),
       {0, CERT_TRUST_IS_NOT_SIGNATURE_VALID, 0}},
      {"root signs itself with SHA-1", EVP_sha1(), EVP_sha256(), EVP_sha256(), {0, 0, 0}},
      {"root signs itself with MD5", EVP_md5(), EVP_sha256(), EVP_sha256(), {0, 0, CERT_TRUST_IS_NOT_SIGNATURE_VALID}},
  };
  for (const auto& c : cases) {
    root_ = MakeCertificate("Root", {.isCa = true, .rsa = true, .digest = c.root});
    intermediate_ =
        MakeCertificate("Intermediate", {.issuer = &root_, .isCa = true, .rsa = true, .digest = c.intermediate});
    const TestCertificate server = MakeCertificate("server", {.issuer = &intermediate_, .digest = c.server});
    EXPECT_EQ(Build(server, true, true).elementErrors, c.elementErrors) << c.name;
    EXPECT_EQ(ERR_peek_error(), 0u) << c.name;
  }
}

TEST_F(Chain, RevocationListsOfTheStoresAreConsulted) {
  const TestCertificate good = MakeCertificate("good", {.issuer = &intermediate_, .serial = 21});
  const TestCertificate revoked = MakeCertificate("revoked", {.issuer = &intermediate_, .serial = 22});
  const std::vector<std::uint8_t> rootList = testing::MakeCrl(root_, {});
  const std::vector<std::uint8_t> issuingList = testing::MakeCrl(intermediate_, {22});
  const std::vector<std::uint8_t> staleList = testing::MakeCrl(intermediate_, {}, -1);
  constexpr std::uint32_t kAsked = CERT_CHAIN_REVOCATION_CHECK_CHAIN;
  constexpr std::uint32_t kUnknown = CERT_TRUST_REVOCATION_STATUS_UNKNOWN;
  const struct {
    const char* name;
    const TestCertificate* end;
    std::uint32_t flags;
    std::vector<std::vector<std::uint8_t>> crls;
    std::vector<std::uint32_t> elementErrors;
  } cases[] = {
      {"asked, every issuer has its list", &good, kAsked, {rootList, issuingList}, {0, 0, 0}},
      {"asked, the certificate is revoked", &revoked, kAsked, {rootList, issuingList}, {CERT_TRUST_IS_REVOKED, 0, 0}},
      {"not asked, a list at hand still revokes", &revoked, 0, {issuingList}, {CERT_TRUST_IS_REVOKED, 0, 0}},
      {"not asked, no list", &revoked, 0, {}, {0, 0, 0}},
      {"asked, the intermediate's issuer has no list", &good, kAsked, {issuingList}, {0, kUnknown, 0}},
      {"asked, the list is out of date", &good, kAsked, {rootList, staleList}, {kUnknown, 0, 0}},
      {"not asked, the list is out of date", &good, 0, {staleList}, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    Built built = Build(*c.end, true, true, false, {}, c.flags, plat::FileTimeNow(), c.crls);
    EXPECT_EQ(built.elementErrors, c.elementErrors) << c.name;
    EXPECT_EQ(ERR_peek_error(), 0u) << c.name;
  }
}

TEST_F(Chain, AnIssuerThatIsNoCaBreaksTheChain) {
  const TestCertificate notCa = MakeCertificate("NotCa", {.issuer = &root_});
  const TestCertificate under = MakeCertificate("under", {.issuer = &notCa});
  HCERTSTORE roots = CertOpenMemoryStore();
  AddTo(roots, root_);
  HCERTSTORE extra = CertOpenMemoryStore();
  AddTo(extra, notCa);
  CertChainEngineConfig config;
  config.restrictedRoot = roots;
  HCERTCHAINENGINE engine = nullptr;
  ASSERT_TRUE(CertCreateCertificateChainEngine(config, &engine));
  PCCERT_CONTEXT context = ContextOf(under);
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  ASSERT_TRUE(CertGetCertificateChain(engine, context, plat::FileTimeNow(), extra, {}, 0, &chain));
  EXPECT_NE(chain->trustStatus.errorStatus & CERT_TRUST_INVALID_BASIC_CONSTRAINTS, 0u);
  CertFreeCertificateChain(chain);
  CertFreeCertificateContext(context);
  CertFreeCertificateChainEngine(engine);
  CertCloseStore(extra, 0);
  CertCloseStore(roots, 0);
}

TEST_F(Chain, BuiltAtTheTimeAsked) {
  const TestCertificate server = MakeCertificate("server", {.notBeforeDays = 0, .notAfterDays = 10, .issuer = &intermediate_});
  const std::uint64_t now = plat::FileTimeNow();
  // Before the intermediate was valid (and the server certificate too): both are flagged.
  Built early = Build(server, true, true, false, {}, 0, now - 7 * kDay);
  EXPECT_EQ(early.elementErrors, (std::vector<std::uint32_t>{CERT_TRUST_IS_NOT_TIME_VALID, CERT_TRUST_IS_NOT_TIME_VALID, 0}));
  Built late = Build(server, true, true, false, {}, 0, now + 20 * kDay);
  EXPECT_EQ(late.elementErrors, (std::vector<std::uint32_t>{CERT_TRUST_IS_NOT_TIME_VALID, 0, 0}));

  EXPECT_EQ(CertVerifyTimeValidity(now - 7 * kDay, server.x509.get()), -1);
  EXPECT_EQ(CertVerifyTimeValidity(now, intermediate_.x509.get()), 0);
  EXPECT_EQ(CertVerifyTimeValidity(now + 20 * kDay, server.x509.get()), 1);
}

TEST_F(Chain, DefaultEnginesTrustTheirLocationsRootStores) {
  testing::ScopedCertRoot certRoot;
  const TestCertificate server = MakeCertificate("server", {.issuer = &intermediate_});
  PCCERT_CONTEXT context = ContextOf(server);
  auto errors = [&](StoreLocation location) {
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    EXPECT_TRUE(CertGetCertificateChain(CertDefaultChainEngine(location), context, plat::FileTimeNow(), nullptr, {}, 0, &chain));
    const std::uint32_t status = chain->trustStatus.errorStatus;
    CertFreeCertificateChain(chain);
    return status;
  };
  EXPECT_EQ(errors(StoreLocation::CurrentUser), CERT_TRUST_IS_PARTIAL_CHAIN);
  HCERTSTORE userCa = CertOpenSystemStore(StoreLocation::CurrentUser, "CA");
  AddTo(userCa, intermediate_);
  HCERTSTORE machineRoot = CertOpenSystemStore(StoreLocation::LocalMachine, "ROOT");
  AddTo(machineRoot, root_);
  // The user's engine also trusts the machine's roots; the machine's does not see the user's CA.
  EXPECT_EQ(errors(StoreLocation::CurrentUser), 0u);
  EXPECT_EQ(errors(StoreLocation::LocalMachine), CERT_TRUST_IS_PARTIAL_CHAIN);
  CertCloseStore(machineRoot, 0);
  CertCloseStore(userCa, 0);
  CertFreeCertificateContext(context);
}

}  // namespace
}  // namespace capi
