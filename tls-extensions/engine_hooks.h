#pragma once
// What we add to OpenSSL's TLS engine, through its public interface only:
//
// - a chain-verify hook per connection: when a connection has one, the peer's certificate
//   chain is judged by the hook instead of by OpenSSL's own chain verification. The hook
//   gets the X.509 store context (the chain the peer sent is its untrusted chain) and its
//   argument; it returns 1 to accept, or 0 with its reason set as the store context's error,
//   which becomes the connection's verify result;
// - a post-verify hook per connection: when the chain was accepted (by the chain-verify hook
//   or by OpenSSL), it has the last word, in the same form;
// - a handshake transcript per connection: every handshake message sent or received (4-byte
//   header and body) in order, from the ClientHello that started the current handshake on.
//
// Both need TlsInstallEngineHooks on the SSL_CTX before its connections are made.
#include <cstddef>
#include <cstdint>

#include <openssl/ssl.h>

using TlsChainVerifyHook = int (*)(X509_STORE_CTX* store, void* argument);
using TlsPostVerifyHook = int (*)(X509_STORE_CTX* store, void* argument);

// What the context accepts as the peer's certificate key, judged before its chain: a key
// refused ends the verification with X509_V_ERR_EE_KEY_TOO_SMALL.
struct TlsPeerKeyPolicy {
  bool (*accept)(const EVP_PKEY* key);
};

// Installs the dispatchers on the context, with the peer-key policy when given (it must
// outlive the context); false when the engine refuses.
bool TlsInstallEngineHooks(SSL_CTX* context, const TlsPeerKeyPolicy* policy = nullptr);

// Sets or (with a null hook) clears the connection's chain-verify hook; false when the
// connection's extra data cannot be made.
bool TlsSetChainVerifyHook(SSL* connection, TlsChainVerifyHook hook, void* argument);

// Sets or (with a null hook) clears the connection's post-verify hook; false when the
// connection's extra data cannot be made.
bool TlsSetPostVerifyHook(SSL* connection, TlsPostVerifyHook hook, void* argument);

// The transcript of the connection's current handshake (empty when nothing was recorded).
// The bytes stay valid until the connection's next handshake message or its end.
const std::uint8_t* TlsHandshakeTranscript(const SSL* connection, std::size_t* length);
