// What the TLS-family peer tests share: a PKI made at test time (a CA, hostapd's server
// certificate), PEM files of it for hostapd, a client TLS context, and the session key
// hostapd logs with -K, to compare with ours.
#pragma once

#include <openssl/pem.h>

#include <regex>
#include <string>
#include <vector>

#include "ksLib_OSSL/tls_config.h"
#include "ksLib_OSSL/tls_context.h"
#include "platform/cryptoapi/test_certificates.h"
#include "tests/peers/eap_conversation.h"
#include "tests/peers/scratch_dir.h"

namespace peers {

inline std::string Pem(const capi::testing::TestCertificate& certificate, bool key) {
  BIO* bio = BIO_new(BIO_s_mem());
  if (key) PEM_write_bio_PrivateKey(bio, certificate.key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  else PEM_write_bio_X509(bio, certificate.x509.get());
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  std::string text(data, static_cast<std::size_t>(length));
  BIO_free(bio);
  return text;
}

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

// A client TLS context without a certificate (PEAP, TTLS), its configuration applied; the
// caller releases it. Null when it could not be made.
inline TlsContext* MakePlainClientContext() {
  TlsConfig* config = nullptr;
  if (TlsConfig::Create(&config) != 0) return nullptr;
  TlsContext* context = nullptr;
  const std::int32_t made = TlsContext::Create(config, &context);
  config->Release();
  if (made != 0) return nullptr;
  if (context->SetVerifyPeer(true) != 0 || context->ApplyConfiguration() != 0) {
    context->Release();
    return nullptr;
  }
  return context;
}

}  // namespace peers
