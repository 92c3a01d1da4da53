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
#include "tests/peers/logged_key.h"
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

using tls_testing::MakePlainClientContext;

}  // namespace peers
