#include "ksLib_OSSL/server_key_strength.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

bool ServerKeyIsStrongEnough(const EVP_PKEY* key) {
  if (key == nullptr) return true;
  const int id = EVP_PKEY_get_base_id(key);
  const bool finiteField = id == EVP_PKEY_RSA || id == EVP_PKEY_RSA_PSS || id == EVP_PKEY_DSA ||
                           id == EVP_PKEY_DH || id == EVP_PKEY_DHX;
  return !finiteField || EVP_PKEY_get_bits(key) >= kMinimumServerKeyBits;
}

int ServerKeyStrengthCallback(const SSL* ssl, const SSL_CTX* /*context*/, int op, int /*bits*/,
                              int /*nid*/, void* other, void* /*argument*/) {
  // The server's ephemeral DH key. (A client's engine does not ask about the server's
  // certificate key here: the chain-verify dispatcher judges that one.)
  if (ssl != nullptr && other != nullptr && op == SSL_SECOP_TMP_DH) {
    return ServerKeyIsStrongEnough(static_cast<const EVP_PKEY*>(other)) ? 1 : 0;
  }
  return 1;
}
