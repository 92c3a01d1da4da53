#include "platform/cryptoapi/cert_context.h"

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <cstring>
#include <vector>

#include "platform/cryptoapi/last_error.h"
#include "platform/cryptoapi/test_certificates.h"

namespace capi {
namespace {

std::vector<std::uint8_t> Sha1Of(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> digest(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha1(), nullptr);
  digest.resize(length);
  return digest;
}

struct ContextFree {
  void operator()(PCCERT_CONTEXT context) const { CertFreeCertificateContext(context); }
};
using ContextHolder = std::unique_ptr<const CertContext, ContextFree>;

TEST(CertContext, DecodesOneCertificateAndKeepsItsBytes) {
  const auto made = testing::MakeCertificate("alice");
  ContextHolder context(CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING,
                                                     made.der.data(), static_cast<std::uint32_t>(made.der.size())));
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(context->encodingType, X509_ASN_ENCODING);
  EXPECT_EQ(std::vector<std::uint8_t>(context->encoded, context->encoded + context->encodedLength), made.der);
  EXPECT_EQ(X509_cmp(context->info, made.x509.get()), 0);
  EXPECT_EQ(context->store, nullptr);
}

TEST(CertContext, RefusesWhatIsNotExactlyOneCertificate) {
  const auto made = testing::MakeCertificate("bob");
  std::vector<std::uint8_t> trailing = made.der;
  trailing.push_back(0);
  std::vector<std::uint8_t> truncated(made.der.begin(), made.der.end() - 1);
  std::vector<std::uint8_t> garbage = {0x30, 0x03, 0x02, 0x01, 0x05};
  // A length field far beyond the bytes given.
  std::vector<std::uint8_t> longHeader = {0x30, 0x84, 0x7F, 0xFF, 0xFF, 0xFF, 0x30};
  struct Case {
    const char* name;
    const std::uint8_t* bytes;
    std::uint32_t length;
  };
  const Case cases[] = {
      {"null", nullptr, 10},
      {"empty", made.der.data(), 0},
      {"trailing byte", trailing.data(), static_cast<std::uint32_t>(trailing.size())},
      {"truncated", truncated.data(), static_cast<std::uint32_t>(truncated.size())},
      {"not a certificate", garbage.data(), static_cast<std::uint32_t>(garbage.size())},
      {"length beyond the bytes", longHeader.data(), static_cast<std::uint32_t>(longHeader.size())},
      {"too long", made.der.data(), kMaxCertificateBytes + 1},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(CertCreateCertificateContext(X509_ASN_ENCODING, c.bytes, c.length), nullptr) << c.name;
    EXPECT_EQ(GetLastError(), CRYPT_E_ASN1_BADTAG) << c.name;
    // The parser's complaints stay out of the thread's OpenSSL error queue.
    EXPECT_EQ(ERR_peek_error(), 0u) << c.name;
  }
  EXPECT_EQ(CertCreateCertificateContext(PKCS_7_ASN_ENCODING, made.der.data(),
                                         static_cast<std::uint32_t>(made.der.size())),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CertContext, HashPropertiesFollowTheSizeRules) {
  const auto made = testing::MakeCertificate("carol");
  ContextHolder context(CertCreateCertificateContext(X509_ASN_ENCODING, made.der.data(),
                                                     static_cast<std::uint32_t>(made.der.size())));
  ASSERT_NE(context, nullptr);

  std::uint32_t size = 0;
  ASSERT_TRUE(CertGetCertificateContextProperty(context.get(), CERT_SHA1_HASH_PROP_ID, nullptr, &size));
  EXPECT_EQ(size, 20u);

  std::vector<std::uint8_t> hash(19, 0xAA);
  size = 19;
  EXPECT_FALSE(CertGetCertificateContextProperty(context.get(), CERT_SHA1_HASH_PROP_ID, hash.data(), &size));
  EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
  EXPECT_EQ(size, 20u);
  EXPECT_EQ(hash, std::vector<std::uint8_t>(19, 0xAA));

  hash.assign(32, 0);
  size = 32;
  ASSERT_TRUE(CertGetCertificateContextProperty(context.get(), CERT_SHA1_HASH_PROP_ID, hash.data(), &size));
  hash.resize(size);
  EXPECT_EQ(hash, Sha1Of(made.der));

  std::vector<std::uint8_t> md5(16);
  size = 16;
  ASSERT_TRUE(CertGetCertificateContextProperty(context.get(), CERT_MD5_HASH_PROP_ID, md5.data(), &size));
  std::vector<std::uint8_t> expected(16);
  unsigned int length = 0;
  EVP_Digest(made.der.data(), made.der.size(), expected.data(), &length, EVP_md5(), nullptr);
  EXPECT_EQ(md5, expected);

  size = 100;
  EXPECT_FALSE(CertGetCertificateContextProperty(context.get(), CERT_FRIENDLY_NAME_PROP_ID, nullptr, &size));
  EXPECT_EQ(GetLastError(), CRYPT_E_NOT_FOUND);
}

TEST(CertContext, FriendlyNameIsSetRemovedAndReadWithItsNul) {
  const auto made = testing::MakeCertificate("dave");
  ContextHolder context(CertCreateCertificateContext(X509_ASN_ENCODING, made.der.data(),
                                                     static_cast<std::uint32_t>(made.der.size())));
  const std::u16string name = u"Dave's key \u00e9";
  ASSERT_TRUE(CertSetCertificateContextProperty(context.get(), CERT_FRIENDLY_NAME_PROP_ID, name.c_str(),
                                                static_cast<std::uint32_t>(name.size() * 2)));
  std::uint32_t size = 0;
  ASSERT_TRUE(CertGetCertificateContextProperty(context.get(), CERT_FRIENDLY_NAME_PROP_ID, nullptr, &size));
  ASSERT_EQ(size, (name.size() + 1) * 2);
  std::u16string read(name.size() + 1, u'x');
  ASSERT_TRUE(CertGetCertificateContextProperty(context.get(), CERT_FRIENDLY_NAME_PROP_ID, read.data(), &size));
  EXPECT_EQ(read, name + u'\0');

  ASSERT_TRUE(CertSetCertificateContextProperty(context.get(), CERT_FRIENDLY_NAME_PROP_ID, nullptr, 0));
  EXPECT_FALSE(CertGetCertificateContextProperty(context.get(), CERT_FRIENDLY_NAME_PROP_ID, nullptr, &size));
  // The hash is not the caller's to set.
  EXPECT_FALSE(CertSetCertificateContextProperty(context.get(), CERT_SHA1_HASH_PROP_ID, name.c_str(), 2));
}

TEST(CertContext, DuplicatesShareTheContextUntilTheLastFree) {
  const auto made = testing::MakeCertificate("erin");
  PCCERT_CONTEXT context = CertCreateCertificateContext(X509_ASN_ENCODING, made.der.data(),
                                                        static_cast<std::uint32_t>(made.der.size()));
  PCCERT_CONTEXT copy = CertDuplicateCertificateContext(context);
  EXPECT_EQ(copy, context);
  CertFreeCertificateContext(context);
  // Still alive through the copy (ASan reports a use after free otherwise).
  EXPECT_EQ(copy->encodedLength, made.der.size());
  CertFreeCertificateContext(copy);
  EXPECT_EQ(CertDuplicateCertificateContext(nullptr), nullptr);
  EXPECT_TRUE(CertFreeCertificateContext(nullptr));
}

}  // namespace
}  // namespace capi
