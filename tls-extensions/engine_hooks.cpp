#include "tls-extensions/engine_hooks.h"

#include <new>
#include <vector>

#include <openssl/crypto.h>
#include <openssl/x509.h>

namespace {

// A verification hook with its argument; both hooks have the same form.
struct Hook {
  TlsChainVerifyHook function = nullptr;
  void* argument = nullptr;
};

// The engine's per-connection record of our additions, kept in the SSL's extra data and
// freed with the SSL.
struct ConnectionHooks {
  Hook chainVerify;
  Hook postVerify;
  std::vector<std::uint8_t> transcript;
};

constexpr unsigned char kClientHello = 1;
constexpr unsigned char kHelloRequest = 0;  // not part of the Finished hashes

void FreeHooks(void* /*parent*/, void* pointer, CRYPTO_EX_DATA* /*data*/, int /*index*/,
               long /*argl*/, void* /*argp*/) {
  delete static_cast<ConnectionHooks*>(pointer);
}

int HooksIndex() {
  static const int index =
      SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, FreeHooks);
  return index;
}

ConnectionHooks* FindHooks(const SSL* connection) {
  if (connection == nullptr || HooksIndex() < 0) return nullptr;
  return static_cast<ConnectionHooks*>(SSL_get_ex_data(connection, HooksIndex()));
}

ConnectionHooks* HooksOf(SSL* connection) {
  ConnectionHooks* hooks = FindHooks(connection);
  if (hooks != nullptr || connection == nullptr || HooksIndex() < 0) return hooks;
  hooks = new (std::nothrow) ConnectionHooks;
  if (hooks == nullptr) return nullptr;
  if (SSL_set_ex_data(connection, HooksIndex(), hooks) != 1) {
    delete hooks;
    return nullptr;
  }
  return hooks;
}

// Sets or (with a null function) clears one of the connection's hooks.
bool SetHook(SSL* connection, Hook ConnectionHooks::*which, TlsChainVerifyHook function, void* argument) {
  ConnectionHooks* hooks = HooksOf(connection);
  if (hooks == nullptr) return false;
  hooks->*which = {function, function != nullptr ? argument : nullptr};
  return true;
}

// The context's certificate-verify callback: the peer's key against the context's policy,
// then the connection's hook when it has one, else OpenSSL's own verification; a chain so
// accepted goes to the connection's post-verify hook when it has one. Called by OpenSSL:
// nothing may escape.
int DispatchChainVerify(X509_STORE_CTX* store, void* argument) {
  try {
    const auto* policy = static_cast<const TlsPeerKeyPolicy*>(argument);
    if (policy != nullptr && policy->accept != nullptr) {
      X509* peer = X509_STORE_CTX_get0_cert(store);
      if (peer != nullptr && !policy->accept(X509_get0_pubkey(peer))) {
        X509_STORE_CTX_set_current_cert(store, peer);
        X509_STORE_CTX_set_error(store, X509_V_ERR_EE_KEY_TOO_SMALL);
        return 0;
      }
    }
    auto* connection = static_cast<SSL*>(
        X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    const ConnectionHooks* hooks = FindHooks(connection);
    const int verdict = hooks != nullptr && hooks->chainVerify.function != nullptr
                            ? hooks->chainVerify.function(store, hooks->chainVerify.argument)
                            : X509_verify_cert(store);
    if (verdict > 0 && hooks != nullptr && hooks->postVerify.function != nullptr) {
      return hooks->postVerify.function(store, hooks->postVerify.argument);
    }
    return verdict;
  } catch (...) {
    X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
    return 0;
  }
}

// Records handshake messages. A ClientHello we send starts a new handshake (renegotiation
// included), so it starts a new transcript.
void RecordHandshakeMessage(int writing, int /*version*/, int contentType, const void* bytes,
                            std::size_t length, SSL* connection, void* /*argument*/) {
  if (contentType != SSL3_RT_HANDSHAKE || length == 0) return;
  const auto* message = static_cast<const std::uint8_t*>(bytes);
  if (message[0] == kHelloRequest) return;
  try {
    ConnectionHooks* hooks = HooksOf(connection);
    if (hooks == nullptr) return;
    if (writing != 0 && message[0] == kClientHello) hooks->transcript.clear();
    hooks->transcript.insert(hooks->transcript.end(), message, message + length);
  } catch (...) {
    // Out of memory: the transcript is incomplete; what reads it checks its length.
  }
}

}  // namespace

bool TlsInstallEngineHooks(SSL_CTX* context, const TlsPeerKeyPolicy* policy) {
  if (context == nullptr || HooksIndex() < 0) return false;
  SSL_CTX_set_cert_verify_callback(context, DispatchChainVerify,
                                   const_cast<TlsPeerKeyPolicy*>(policy));
  SSL_CTX_set_msg_callback(context, RecordHandshakeMessage);
  return true;
}

bool TlsSetChainVerifyHook(SSL* connection, TlsChainVerifyHook hook, void* argument) {
  return SetHook(connection, &ConnectionHooks::chainVerify, hook, argument);
}

bool TlsSetPostVerifyHook(SSL* connection, TlsPostVerifyHook hook, void* argument) {
  return SetHook(connection, &ConnectionHooks::postVerify, hook, argument);
}

const std::uint8_t* TlsHandshakeTranscript(const SSL* connection, std::size_t* length) {
  const ConnectionHooks* hooks = FindHooks(connection);
  if (hooks == nullptr || hooks->transcript.empty()) {
    *length = 0;
    return nullptr;
  }
  *length = hooks->transcript.size();
  return hooks->transcript.data();
}
