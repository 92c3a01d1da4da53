#include "platform/cryptoapi/key_usage.h"

#include <gtest/gtest.h>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/last_error.h"
#include "platform/cryptoapi/test_certificates.h"

namespace capi {
namespace {

using testing::MakeCertificate;

TEST(KeyUsage, FirstByteOrNoExtension) {
  struct Case {
    const char* keyUsage;
    bool present;
    std::uint8_t firstByte;
  };
  const Case cases[] = {
      {nullptr, false, 0},
      {"digitalSignature", true, 0x80},
      {"keyEncipherment", true, 0x20},
      {"digitalSignature,keyEncipherment,decipherOnly", true, 0xA0},
  };
  for (const Case& c : cases) {
    const auto made = MakeCertificate("k", {.keyUsage = c.keyUsage});
    std::uint8_t usage[2] = {0xEE, 0xEE};
    SetLastError(12345);
    EXPECT_EQ(CertGetIntendedKeyUsage(X509_ASN_ENCODING, made.x509.get(), usage, 2), c.present)
        << (c.keyUsage ? c.keyUsage : "none");
    if (c.present) {
      EXPECT_EQ(usage[0], c.firstByte);
      EXPECT_EQ(usage[1], 0);
    } else {
      EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    }
  }
}

TEST(KeyUsage, ExtendedUsagesInTheirOrder) {
  struct Case {
    const char* extendedKeyUsage;
    std::vector<std::string> identifiers;
    std::uint32_t lastError;
  };
  const Case cases[] = {
      {nullptr, {}, CRYPT_E_NOT_FOUND},
      {"clientAuth", {"1.3.6.1.5.5.7.3.2"}, ERROR_SUCCESS},
      {"serverAuth,1.3.6.1.4.1.311.10.3.3,clientAuth", {"1.3.6.1.5.5.7.3.1", "1.3.6.1.4.1.311.10.3.3", "1.3.6.1.5.5.7.3.2"}, ERROR_SUCCESS},
  };
  for (const Case& c : cases) {
    const auto made = MakeCertificate("e", {.extendedKeyUsage = c.extendedKeyUsage});
    PCCERT_CONTEXT context = CertCreateCertificateContext(X509_ASN_ENCODING, made.der.data(),
                                                          static_cast<std::uint32_t>(made.der.size()));
    std::vector<std::string> identifiers = {"stale"};
    EXPECT_TRUE(CertGetEnhancedKeyUsage(context, 0, identifiers));
    EXPECT_EQ(GetLastError(), c.lastError);
    EXPECT_EQ(identifiers, c.identifiers);
    CertFreeCertificateContext(context);
  }
}

}  // namespace
}  // namespace capi
