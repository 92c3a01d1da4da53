#include "ksCert/ksCertImpl.h"

#include <gtest/gtest.h>

#include "ksCert/BstrTokenizer.h"
#include "ksCert/KsCertLib.h"
#include "ksCert/test_support.h"
#include "platform/cryptoapi/test_certificates.h"

namespace {

using capi::testing::MakeCertificate;
using kscert_test::Ref;

// The certificate of a fresh array holding only it.
Ref<ksCert> CertOf(ksCertUtility* root, const capi::testing::TestCertificate& made) {
  const ksCertBlob blob{made.der.data(), static_cast<std::uint32_t>(made.der.size())};
  Ref<ksCertArray> array;
  EXPECT_EQ(root->CreateCertArray(&blob, 1, array.Out()), S_OK);
  Ref<ksCert> cert;
  EXPECT_EQ(array->get_Cert(0, cert.Out()), S_OK);
  return cert;
}

TEST(CertUsage, KeyUsageAndExtendedKeyUsageMustBothAllowIt) {
  Ref<ksCertUtility> root;
  dcfCreateInstance<KsCertLib>(root.Out());
  struct Case {
    const char* name;
    const char* keyUsage;
    const char* extendedKeyUsage;
    VARIANT_BOOL server, client, any, three;
  };
  constexpr VARIANT_BOOL T = VARIANT_TRUE, F = VARIANT_FALSE;
  const Case cases[] = {
      {"no extensions", nullptr, nullptr, T, T, T, F},
      {"client usage only, key usage for both", "digitalSignature,keyEncipherment", "clientAuth", F, T, T, F},
      {"key encipherment only", "keyEncipherment", nullptr, T, F, T, F},
      {"signature only", "digitalSignature", nullptr, T, T, T, F},
      {"server usage", nullptr, "serverAuth", T, F, T, F},
      {"server-gated cryptography", "keyEncipherment", "1.3.6.1.4.1.311.10.3.3", T, F, T, F},
      {"other usage only", nullptr, "emailProtection", F, F, T, F},
      {"key agreement only", "keyAgreement", "serverAuth,clientAuth", F, F, T, F},
  };
  for (const Case& c : cases) {
    Ref<ksCert> cert = CertOf(root.Get(), MakeCertificate("u", {.extendedKeyUsage = c.extendedKeyUsage, .keyUsage = c.keyUsage}));
    const std::pair<std::int32_t, VARIANT_BOOL> asked[] = {{0, c.server}, {1, c.client}, {2, c.any}, {3, c.three}};
    for (const auto& [usage, expected] : asked) {
      VARIANT_BOOL valid = 7;
      EXPECT_EQ(cert->CheckUsage(usage, &valid), S_OK);
      EXPECT_EQ(valid, expected) << c.name << ", usage " << usage;
    }
  }
  Ref<ksCert> cert = CertOf(root.Get(), MakeCertificate("u"));
  EXPECT_EQ(cert->CheckUsage(0, nullptr), E_POINTER);
}

TEST(CertUsage, UsageTextAndKeyUsageBits) {
  const auto made = MakeCertificate("u", {.extendedKeyUsage = "serverAuth,clientAuth", .keyUsage = "digitalSignature"});
  ksCertImpl impl;
  impl.SetContext(capi::CertCreateCertificateContext(capi::X509_ASN_ENCODING, made.der.data(),
                                                     static_cast<std::uint32_t>(made.der.size())));
  std::u16string text;
  ASSERT_TRUE(impl.EnhancedKeyUsageText(text));
  EXPECT_EQ(text, u"1.3.6.1.5.5.7.3.1, 1.3.6.1.5.5.7.3.2");
  std::int32_t usage = 0;
  EXPECT_TRUE(impl.DoGetKeyUsage(&usage));
  EXPECT_EQ(usage, 0x80);
  EXPECT_THROW(impl.DoGetKeyUsage(nullptr), dcfTargetDoesNotExistException);

  const auto plain = MakeCertificate("plain");
  impl.SetContext(capi::CertCreateCertificateContext(capi::X509_ASN_ENCODING, plain.der.data(),
                                                     static_cast<std::uint32_t>(plain.der.size())));
  ASSERT_TRUE(impl.EnhancedKeyUsageText(text));
  EXPECT_EQ(text, kEnhancedKeyUsageAll);
  EXPECT_TRUE(impl.DoGetKeyUsage(&usage));
  EXPECT_EQ(usage, -1);
}

TEST(CertUsage, TokensAreRunsBetweenDelimiters) {
  BstrTokenizer tokens(u" ,a, bc,,d ", u", ");
  std::vector<std::u16string> all;
  for (std::u16string_view token = tokens.Next(); !token.empty(); token = tokens.Next()) all.emplace_back(token);
  EXPECT_EQ(all, (std::vector<std::u16string>{u"a", u"bc", u"d"}));
  BstrTokenizer none(u", ,", u", ");
  EXPECT_TRUE(none.Next().empty());
}

}  // namespace
