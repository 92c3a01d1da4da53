// The PKI of the FreeRADIUS tests, made once per test program: a CA, the server's
// certificate and the EAP-TLS user "alice"'s client certificate.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/ms_chap.h"
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

// The station side of "alice": her certificate and key in `context` for EAP-TLS (outer
// type 13), her name and password in `host` for the tunnelled methods.
inline void ConfigureAlice(std::uint32_t outerType, const std::string& password,
                           TlsContext* context, FakeEapMethodHost& host) {
  ASSERT_NE(context, nullptr);
  if (outerType == 13) {
    const auto& client = RadiusPki::Get().client;
    ASSERT_EQ(context->UseCertificateDer(TlsContext::kDer, client.der.data(),
                                         static_cast<std::uint32_t>(client.der.size())),
              0);
    const std::vector<std::uint8_t> key = client.Pkcs8();
    ASSERT_EQ(context->UsePrivateKeyDer(key.data(), static_cast<std::uint32_t>(key.size())), 0);
  }
  host.userName = "alice";
  host.windowsUserName = "alice";
  host.password = password;
  host.hasIdentityPassword = true;
  host.ntHash.emplace();
  ASSERT_TRUE(NtPasswordHashOfUtf8(password.c_str(), host.ntHash->data()));
  host.tlsContext = context;
  host.peapHighestVersion = 0;
}

}  // namespace peers
