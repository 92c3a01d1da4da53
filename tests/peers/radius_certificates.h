// The PKI of the FreeRADIUS tests, made once per test program: a CA, the server's
// certificate and the EAP-TLS user "alice"'s client certificate.
#pragma once

#include "platform/cryptoapi/test_certificates.h"

namespace peers {

struct RadiusPki {
  using TestCertificate = capi::testing::TestCertificate;
  TestCertificate ca = capi::testing::MakeCertificate(
      "Radius Test CA", {.isCa = true, .rsa = true, .rsaBits = 2048});
  TestCertificate server = capi::testing::MakeCertificate(
      "radius.example", {.issuer = &ca, .serial = 2, .rsa = true, .rsaBits = 2048,
                         .extendedKeyUsage = "serverAuth"});
  TestCertificate client = capi::testing::MakeCertificate(
      "alice", {.issuer = &ca, .serial = 3, .rsa = true, .rsaBits = 2048,
                .extendedKeyUsage = "clientAuth"});

  static const RadiusPki& Get() {
    static const RadiusPki* const pki = new RadiusPki;
    return *pki;
  }
};

}  // namespace peers
