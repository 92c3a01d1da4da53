#pragma once
// The external signer: the client's CertificateVerify is signed by a key that the TLS engine
// never sees (it stays in the certificate store, or with the host). The connection gets a
// placeholder key that carries only the certificate's public RSA key; when the engine signs
// with it, the bytes to sign go to the signer:
//
// - TLS 1.0 and 1.1: the 36-byte handshake hash (16 bytes of MD5, then 20 of SHA-1);
// - TLS 1.2: the DER DigestInfo of the handshake hash (the digest the server asked for).
//
// The signer returns a PKCS #1 v1.5 signature over exactly those bytes. The placeholder key
// lives in our own OpenSSL provider, loaded into the library context that every TLS context
// is made in (TlsEngineLibraryContext).
#include <cstdint>

#include <openssl/ssl.h>

// Signs `input` (inputLength bytes) with the key of a keySize-byte modulus: 0 with the
// signature in out (*outLength bytes, at most capacity), anything else refuses. Called on
// the connection's thread during the handshake; it must not throw.
using ExternalSignCallbackEx = int (*)(void* argument, const std::uint8_t* input,
                                       std::uint32_t inputLength, std::uint32_t keySize,
                                       std::uint8_t* out, std::uint32_t capacity,
                                       std::uint32_t* outLength);

// The library context for TLS contexts: OpenSSL's default provider, preferred for every
// algorithm, and the placeholder-key provider beside it. Made once; null when it cannot be.
OSSL_LIB_CTX* TlsEngineLibraryContext();

// Gives the connection a placeholder key for its certificate that signs through `sign`.
// Only when the connection has a certificate with an RSA key and no private key; it then
// offers the server PKCS #1 v1.5 signatures only (what the signer makes). True when the key
// is in place.
bool TlsUseExternalSigner(SSL* connection, ExternalSignCallbackEx sign, void* argument);
