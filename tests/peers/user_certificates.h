// Test support: the certificates of EAP-TLS conversations with hostapd (RSA keys of 2048
// bits, which hostapd's TLS library wants), the current user's stores filled with them,
// identities over them, and the keys hostapd logs with -K.
#pragma once

#include <gtest/gtest.h>
#include <ksstk.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <regex>
#include <string>
#include <vector>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/private_key.h"
#include "platform/cryptoapi/test_certificates.h"

#include "tests/peers/logged_key.h"

namespace peers {

using capi::testing::TestCertificate;

struct Certificates {
  TestCertificate ca = capi::testing::MakeCertificate("Link Test CA", {.isCa = true, .rsa = true, .rsaBits = 2048});
  TestCertificate server =
      capi::testing::MakeCertificate("hostapd.example", {.issuer = &ca, .serial = 2, .rsa = true, .rsaBits = 2048});
  TestCertificate client = capi::testing::MakeCertificate(
      "alice", {.issuer = &ca, .serial = 3, .rsa = true, .rsaBits = 2048, .extendedKeyUsage = "clientAuth"});
};

inline const Certificates& UserCertificates() {
  static const Certificates* const made = new Certificates;
  return *made;
}

inline void AddToStore(const char* store, const TestCertificate& cert, bool withKey) {
  capi::PCCERT_CONTEXT context = capi::CertCreateCertificateContext(
      capi::X509_ASN_ENCODING, cert.der.data(), static_cast<std::uint32_t>(cert.der.size()));
  ASSERT_NE(context, nullptr);
  if (withKey) {
    const std::vector<std::uint8_t> key = cert.Pkcs8();
    ASSERT_TRUE(capi::CertSetPrivateKey(context, key.data(), static_cast<std::uint32_t>(key.size())));
  }
  capi::HCERTSTORE opened = capi::CertOpenSystemStore(capi::StoreLocation::CurrentUser, store);
  ASSERT_NE(opened, nullptr);
  ASSERT_TRUE(capi::CertAddCertificateContextToStore(opened, context, capi::CERT_STORE_ADD_ALWAYS, nullptr));
  capi::CertCloseStore(opened, 0);
  capi::CertFreeCertificateContext(context);
}

// An identity of `user` for the EAP type, with a password and/or the certificate (by its
// SHA-1 in the user's "my" store), initialized. One reference, for the caller.
inline KSSTK_IDENTITY MakeIdentity(KSSTK_CONTEXT context, const char* user, const char* password,
                                   std::uint32_t type, const TestCertificate* certificate = nullptr) {
  KSSTK_IDENTITY identity = nullptr;
  EXPECT_EQ(KSSTK_CONTEXT_CreateIdentity(context, &identity), 0);
  KSSTK_IDENTITY_SetUserNameA(identity, user);
  if (password != nullptr) KSSTK_IDENTITY_SetPasswordA(identity, password);
  KSSTK_IDENTITY_SetEapTypes(identity, &type, 1);
  if (certificate != nullptr) {
    std::uint8_t hash[20];
    unsigned int length = 0;
    X509_digest(certificate->x509.get(), EVP_sha1(), hash, &length);
    KSSTK_IDENTITY_SetUserCertificate(identity, hash);
  }
  KSSTK_IDENTITY_Initialize(identity);
  return identity;
}

}  // namespace peers
