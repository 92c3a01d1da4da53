// The smallest server keys a client context accepts, at every protocol version: RSA, DSA
// and finite-field Diffie-Hellman keys below 2048 bits are refused (the security level stays
// 0 so that TLS 1.0 servers, which sign with MD5 and SHA-1, remain reachable). Installed on
// each client context as its security callback.
#pragma once

#include <openssl/ssl.h>

#include "tls-extensions/engine_hooks.h"

inline constexpr int kMinimumServerKeyBits = 2048;

// The engine's security callback: 0 refuses a server's ephemeral DH key that is too small;
// everything else passes, as at security level 0.
int ServerKeyStrengthCallback(const SSL* ssl, const SSL_CTX* context, int op, int bits, int nid,
                              void* other, void* argument);

// True for a key that is not RSA, DSA or DH, or is at least kMinimumServerKeyBits long. The
// server certificate's key is judged with it before its chain (TlsPeerKeyPolicy).
bool ServerKeyIsStrongEnough(const EVP_PKEY* key);

inline constexpr TlsPeerKeyPolicy kServerKeyPolicy = {ServerKeyIsStrongEnough};
