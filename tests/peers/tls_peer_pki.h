// What the TLS-family peer tests share: a PKI made at test time (a CA, hostapd's server
// certificate), PEM files of it for hostapd, a client TLS context, and the session key
// hostapd logs with -K, to compare with ours.
#pragma once

#include <openssl/pem.h>

#include <regex>
#include <string>
#include <vector>

#include "ksLib_OSSL/eap_tls_test_server.h"
#include "platform/cryptoapi/test_certificates.h"
#include "tests/peers/eap_conversation.h"
#include "tests/peers/pem_text.h"
#include "tests/peers/scratch_dir.h"

namespace peers {

// hostapd.conf lines for a server certificate issued by `ca`.
inline std::vector<std::string> ServerCertificateConfig(const ScratchDir& dir,
                                                        const capi::testing::TestCertificate& ca,
                                                        const capi::testing::TestCertificate& server) {
  return {
      "ca_cert=" + dir.Write("ca.pem", Pem(ca, false)),
      "server_cert=" + dir.Write("server.pem", Pem(server, false)),
      "private_key=" + dir.Write("server.key", Pem(server, true)),
  };
}

// The hex bytes hostapd logs as the method's 64-byte session key ("EAP-TLS: Derived key",
// "EAP-PEAP: Derived key", ...) the last time, or empty.
inline Bytes LoggedKey(const std::string& log, const std::string& method) {
  const std::regex line(method + R"(: Derived key - hexdump\(len=64\):((?: [0-9a-f]{2}){64}))");
  Bytes key;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator();
       ++it) {
    const std::string hex = (*it)[1];
    key.clear();
    for (std::size_t i = 1; i + 1 < hex.size(); i += 3) {
      key.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
  }
  return key;
}

using tls_testing::MakePlainClientContext;

}  // namespace peers
