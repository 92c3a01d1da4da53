// The station side of the FreeRADIUS tests' user "alice" (radius_certificates.h).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/ms_chap.h"
#include "tests/peers/radius_certificates.h"

namespace peers {

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
