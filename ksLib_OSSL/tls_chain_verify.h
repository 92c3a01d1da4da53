#pragma once
// Judging the server's certificate chain outside the TLS engine: the chain the server sent
// goes, DER-encoded and in the server's order (its own certificate first), to a callback of
// the method host, which answers with a ChainVerdict; the verdict becomes the X.509 verify
// error the engine reports (and the alert it sends).
#include <cstdint>

#include <openssl/x509_vfy.h>

#include "ksLib_OSSL/der_certificate.h"

// 0 trusted, 1 not yet valid, 2 expired, 3 revoked, 4 bad signature, 5 not valid for server
// use or no certificate, 6 untrusted root, 7 revocation status unknown, 8 other failure,
// 9 issuer unknown.
using ChainVerdict = std::uint32_t;

using ChainVerdictCallback = ChainVerdict (*)(void* argument, const DerCertificate* chain,
                                              std::uint32_t count);

struct ChainVerdictHook {
  ChainVerdictCallback callback = nullptr;
  void* argument = nullptr;
};

// The X.509 verify error of a verdict (X509_V_OK for 0).
int ChainVerdictToVerifyError(ChainVerdict verdict);

// The engine's chain-verify hook; `hook` is a ChainVerdictHook. 1 accepts, 0 rejects with
// the verdict's error set on the store context.
int TlsChainVerifyCallback(X509_STORE_CTX* store, void* hook);
