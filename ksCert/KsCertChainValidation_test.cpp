#include "ksCert/KsCertChainValidation.h"

#include <gtest/gtest.h>

#include "ksCert/KsCertChain.h"
#include "ksCert/KsCertLib.h"
#include "ksCert/test_support.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/crl_store.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"

namespace {

using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;
using kscert_test::Bstr;
using kscert_test::Ref;
using kscert_test::Sha1;

// The current user's engine, with a root in the user's ROOT store; the intermediates come
// with the chain, as a TLS server sends them.
class CertChainValidation : public ::testing::Test {
protected:
  void SetUp() override {
    dcfCreateInstance<KsCertLib>(root_.Out());
    Bstr location(u"Current User");
    ASSERT_EQ(root_->CreateCertChainEngine(location, engine_.Out()), S_OK);
    Bstr rootStore(u"Root");
    Ref<ksCertStore> store;
    ASSERT_EQ(root_->OpenCertStore(rootStore, nullptr, location, store.Out()), S_OK);
    VARIANT_BOOL added = VARIANT_FALSE;
    ASSERT_EQ(store->AddEncodedCert(ca_.der.data(), static_cast<std::uint32_t>(ca_.der.size()), kCertFormatDer, &added), S_OK);
  }

  // The chain of end and the further certificates, for a usage; null when none was built.
  Ref<ksCertChain> Chain(const TestCertificate& end, std::vector<const TestCertificate*> further,
                         std::int32_t usage = kCertUsageAny, ksCertChainEngine* engine = nullptr) {
    Ref<ksCertChainValidation> validation;
    EXPECT_EQ((engine != nullptr ? engine : engine_.Get())->CreateValidation(validation.Out()), S_OK);
    VARIANT_BOOL accepted = VARIANT_FALSE;
    EXPECT_EQ(validation->SetEndCert(end.der.data(), static_cast<std::uint32_t>(end.der.size()), &accepted), S_OK);
    EXPECT_EQ(accepted, VARIANT_TRUE);
    for (const TestCertificate* certificate : further) {
      EXPECT_EQ(validation->AddCert(certificate->der.data(), static_cast<std::uint32_t>(certificate->der.size()), &accepted), S_OK);
    }
    Ref<ksCertChain> chain;
    EXPECT_EQ(validation->CreateChain(usage, chain.Out()), S_OK);
    return chain;
  }

  static std::int32_t TrustOf(const Ref<ksCertChain>& chain) {
    std::int32_t flags = -1;
    EXPECT_EQ(chain->get_Trust(&flags), S_OK);
    return flags;
  }

  capi::testing::ScopedCertRoot certRoot_;
  TestCertificate ca_ = MakeCertificate("Root CA", {.notBeforeDays = -10, .notAfterDays = 3650, .isCa = true});
  TestCertificate intermediate_ = MakeCertificate("Issuing CA", {.notBeforeDays = -5, .notAfterDays = 365, .issuer = &ca_, .isCa = true});
  Ref<ksCertUtility> root_;
  Ref<ksCertChainEngine> engine_;
};

TEST_F(CertChainValidation, TrustFlagsOfTheChain) {
  const TestCertificate server = MakeCertificate("server", {.issuer = &intermediate_, .extendedKeyUsage = "serverAuth"});
  const TestCertificate client = MakeCertificate("client", {.issuer = &intermediate_, .extendedKeyUsage = "clientAuth"});
  const TestCertificate expired = MakeCertificate("expired", {.notBeforeDays = -30, .notAfterDays = -1, .issuer = &intermediate_});
  const TestCertificate futureCa = MakeCertificate("Future CA", {.notBeforeDays = 2, .notAfterDays = 30, .issuer = &ca_, .isCa = true});
  const TestCertificate underFuture = MakeCertificate("under future", {.notBeforeDays = -1, .issuer = &futureCa});
  const TestCertificate expiredUnderFuture =
      MakeCertificate("expired under future", {.notBeforeDays = -30, .notAfterDays = -1, .issuer = &futureCa});
  const TestCertificate stranger = MakeCertificate("self-signed stranger");

  struct Case {
    const char* name;
    const TestCertificate* end;
    std::vector<const TestCertificate*> further;
    std::int32_t usage;
    std::int32_t trust;
  };
  const Case cases[] = {
      {"trusted, for the server", &server, {&intermediate_}, kCertUsageServerAuth, 0},
      {"intermediate not sent", &server, {}, kCertUsageAny, 0x10000},
      {"untrusted self-signed", &stranger, {}, kCertUsageAny, 0x20},
      {"client certificate for the server", &client, {&intermediate_}, kCertUsageServerAuth, 0x10},
      {"client certificate, for the client", &client, {&intermediate_}, kCertUsageClientAuth, 0},
      {"client certificate, no usage asked", &client, {&intermediate_}, kCertUsageAny, 0},
      {"end certificate expired", &expired, {&intermediate_}, kCertUsageAny, 0x9},
      {"intermediate not yet valid", &underFuture, {&futureCa}, kCertUsageAny, 0x10000008},
      {"expired under not yet valid", &expiredUnderFuture, {&futureCa}, kCertUsageAny, 0x9},
  };
  for (const Case& c : cases) {
    Ref<ksCertChain> chain = Chain(*c.end, c.further, c.usage);
    ASSERT_TRUE(chain) << c.name;
    EXPECT_EQ(TrustOf(chain), c.trust) << c.name;
  }
}

TEST_F(CertChainValidation, ElementsInOrderWithTheirHashesAndTrust) {
  const TestCertificate server = MakeCertificate("server", {.issuer = &intermediate_});
  Ref<ksCertChain> chain = Chain(server, {&intermediate_});
  ASSERT_TRUE(chain);
  std::int32_t count = 0;
  ASSERT_EQ(chain->get_NumCerts(&count), S_OK);
  ASSERT_EQ(count, 3);
  const TestCertificate* expected[] = {&server, &intermediate_, &ca_};
  for (std::int32_t i = 0; i < count; ++i) {
    std::vector<std::uint8_t> hash(20);
    std::uint32_t length = 0;
    EXPECT_EQ(chain->get_CertHash(i, hash.data(), 20, &length), S_OK);
    EXPECT_EQ(hash, Sha1(expected[i]->der)) << i;
    Ref<ksCert> cert;
    ASSERT_EQ(chain->get_Cert(i, cert.Out()), S_OK);
    EXPECT_EQ(cert->get_Hash(hash.data(), 20, &length), S_OK);
    EXPECT_EQ(hash, Sha1(expected[i]->der)) << i;
    std::int32_t trust = -1;
    EXPECT_EQ(chain->get_CertTrust(i, &trust), S_OK);
    EXPECT_EQ(trust, 0);
  }

  // Outside the chain.
  Ref<ksCert> none;
  EXPECT_EQ(chain->get_Cert(count, none.Out()), S_FALSE);
  EXPECT_FALSE(none);
  for (std::int32_t outside : {-1, count}) {
    std::int32_t trust = 0;
    EXPECT_EQ(chain->get_CertTrust(outside, &trust), S_FALSE);
    EXPECT_EQ(trust, 64);
    std::vector<std::uint8_t> buffer(24, 0xEE);
    std::uint32_t length = 99;
    EXPECT_EQ(chain->get_CertHash(outside, buffer.data(), 24, &length), S_FALSE);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(24, 0));
  }
  // A short buffer learns the size and is left alone.
  std::vector<std::uint8_t> shortBuffer(10, 0xEE);
  std::uint32_t length = 0;
  EXPECT_EQ(chain->get_CertHash(0, shortBuffer.data(), 10, &length), S_OK);
  EXPECT_EQ(length, 20u);
  EXPECT_EQ(shortBuffer, std::vector<std::uint8_t>(10, 0xEE));

  // The chain answers for ksCertArray with its own main interface.
  void* array = nullptr;
  ASSERT_EQ(chain->QueryInterface(IID_ksCertArray, &array), S_OK);
  EXPECT_EQ(array, static_cast<void*>(chain.Get()));
  static_cast<IUnknown*>(array)->Release();
}

TEST_F(CertChainValidation, ElementTrustOfAnExpiredEndCertificate) {
  const TestCertificate expired = MakeCertificate("expired", {.notBeforeDays = -30, .notAfterDays = -1, .issuer = &intermediate_});
  Ref<ksCertChain> chain = Chain(expired, {&intermediate_});
  std::int32_t trust = 0;
  EXPECT_EQ(chain->get_CertTrust(0, &trust), S_OK);
  EXPECT_EQ(trust, 0x9);
  EXPECT_EQ(chain->get_CertTrust(1, &trust), S_OK);
  EXPECT_EQ(trust, 0);
}

TEST_F(CertChainValidation, RefusedCertificatesAndNoEndCertificate) {
  Ref<ksCertChainValidation> validation;
  ASSERT_EQ(engine_->CreateValidation(validation.Out()), S_OK);
  Ref<ksCertChain> chain;
  EXPECT_EQ(validation->CreateChain(kCertUsageAny, chain.Out()), S_FALSE);
  EXPECT_FALSE(chain);
  const std::vector<std::uint8_t> junk = {0x30, 0x03, 0x02, 0x01, 0x01};
  VARIANT_BOOL accepted = VARIANT_TRUE;
  EXPECT_EQ(validation->SetEndCert(junk.data(), 5, &accepted), S_FALSE);
  EXPECT_EQ(accepted, VARIANT_FALSE);
  EXPECT_EQ(validation->SetEndCert(nullptr, 5, &accepted), S_FALSE);
  EXPECT_EQ(validation->AddCert(junk.data(), 5, &accepted), S_FALSE);
  EXPECT_EQ(validation->SetEndCert(junk.data(), 5, nullptr), E_POINTER);
  EXPECT_EQ(validation->CreateChain(kCertUsageAny, chain.Out()), S_FALSE);
  EXPECT_EQ(validation->CreateChain(kCertUsageAny, static_cast<ksCertChain**>(nullptr)), E_POINTER);
}

TEST_F(CertChainValidation, ALaterEndCertificateTakesThePlaceOfTheFirst) {
  const TestCertificate first = MakeCertificate("first", {.issuer = &intermediate_});
  const TestCertificate second = MakeCertificate("second", {.issuer = &intermediate_});
  Ref<ksCertChainValidation> validation;
  ASSERT_EQ(engine_->CreateValidation(validation.Out()), S_OK);
  VARIANT_BOOL accepted = VARIANT_FALSE;
  for (const TestCertificate* end : {&first, &second}) {
    ASSERT_EQ(validation->SetEndCert(end->der.data(), static_cast<std::uint32_t>(end->der.size()), &accepted), S_OK);
  }
  Ref<ksCertChain> chain;
  ASSERT_EQ(validation->CreateChain(kCertUsageAny, chain.Out()), S_OK);
  std::vector<std::uint8_t> hash(20);
  std::uint32_t length = 0;
  ASSERT_EQ(chain->get_CertHash(0, hash.data(), 20, &length), S_OK);
  EXPECT_EQ(hash, Sha1(second.der));  // and the first one's context is not leaked (ASan)
}

TEST_F(CertChainValidation, RevocationCheckingComesFromTheEngine) {
  const TestCertificate server = MakeCertificate("server", {.issuer = &intermediate_});
  Ref<ksCertChainEngine3> revocation;
  ASSERT_EQ(engine_->QueryInterface(IID_ksCertChainEngine3, reinterpret_cast<void**>(revocation.Out())), S_OK);
  ASSERT_EQ(revocation->put_CheckRevocation(VARIANT_TRUE), S_OK);
  // No revocation list can be had here: the status is unknown.
  EXPECT_EQ(TrustOf(Chain(server, {&intermediate_})), 0x40);
  ASSERT_EQ(revocation->put_CheckRevocation(1), S_OK);
  EXPECT_EQ(TrustOf(Chain(server, {&intermediate_})), 0);
}

TEST_F(CertChainValidation, RevocationListsInTheUsersCaStoreDecide) {
  const TestCertificate good = MakeCertificate("good", {.issuer = &intermediate_, .serial = 31});
  const TestCertificate revoked = MakeCertificate("revoked", {.issuer = &intermediate_, .serial = 32});
  capi::HCERTSTORE ca = capi::CertOpenSystemStore(capi::StoreLocation::CurrentUser, "CA");
  for (const auto& list : {capi::testing::MakeCrl(ca_, {}), capi::testing::MakeCrl(intermediate_, {32})}) {
    ASSERT_TRUE(capi::CertAddEncodedCrlToStore(ca, list.data(), static_cast<std::uint32_t>(list.size())));
  }
  capi::CertCloseStore(ca, 0);
  Ref<ksCertChainEngine3> revocation;
  ASSERT_EQ(engine_->QueryInterface(IID_ksCertChainEngine3, reinterpret_cast<void**>(revocation.Out())), S_OK);
  for (VARIANT_BOOL check : {VARIANT_TRUE, VARIANT_FALSE}) {
    ASSERT_EQ(revocation->put_CheckRevocation(check), S_OK);
    EXPECT_EQ(TrustOf(Chain(good, {&intermediate_})), 0) << check;  // every issuer has its list
    EXPECT_EQ(TrustOf(Chain(revoked, {&intermediate_})), 0x4) << check;
  }
}

TEST_F(CertChainValidation, OwnEngineTrustsOnlyItsRootStore) {
  const TestCertificate server = MakeCertificate("server", {.issuer = &intermediate_});
  Bstr other(u"own");
  Ref<ksCertChainEngine> own;
  ASSERT_EQ(root_->CreateCertChainEngine(other, own.Out()), S_OK);
  Ref<ksCertStore> emptyRoots;
  Bstr name(u"Other Roots");
  Bstr location(u"Current User");
  ASSERT_EQ(root_->OpenCertStore(name, nullptr, location, emptyRoots.Out()), S_OK);
  ASSERT_EQ(own->put_RootStore(emptyRoots.Get()), S_OK);
  EXPECT_EQ(TrustOf(Chain(server, {&intermediate_, &ca_}, kCertUsageAny, own.Get())), 0x20);
}

TEST_F(CertChainValidation, CertificatesKeepTheirChainAlive) {
  const TestCertificate server = MakeCertificate("server", {.issuer = &intermediate_});
  Ref<ksCert> cert;
  const std::uint32_t before = KsCertObjectCount();
  {
    Ref<ksCertChain> chain = Chain(server, {&intermediate_});
    ASSERT_EQ(chain->get_Cert(1, cert.Out()), S_OK);
  }
  engine_.Reset();
  root_.Reset();
  // The certificate holds the chain, the chain its validation, the validation its engine and
  // the engine the root.
  std::vector<std::uint8_t> hash(20);
  std::uint32_t length = 0;
  EXPECT_EQ(cert->get_Hash(hash.data(), 20, &length), S_OK);
  EXPECT_EQ(hash, Sha1(intermediate_.der));
  cert.Reset();
  EXPECT_LT(KsCertObjectCount(), before);
}

}  // namespace
