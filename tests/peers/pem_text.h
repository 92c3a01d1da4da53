// A test certificate, or its private key, as PEM text for hostapd's configuration.
#pragma once

#include <openssl/pem.h>

#include <string>

#include "platform/cryptoapi/test_certificates.h"

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

}  // namespace peers
