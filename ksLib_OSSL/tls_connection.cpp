#include "ksLib_OSSL/tls_connection.h"

#include <algorithm>
#include <climits>

#include <openssl/err.h>

#include <dcf/dcfWipe.h>

#include "ksLib_OSSL/tls_context.h"
#include "ksLib_OSSL/tls_error_map.h"
#include "tls-extensions/engine_hooks.h"

namespace {

constexpr int kChunkSize = 1024;
constexpr int kMasterSecretSize = 48;
constexpr std::int32_t kSslNewFailed = 29;

}  // namespace

TlsConnection::TlsConnection(TlsContext& context, TlsOutputSink& sink)
    : context_(context), sink_(sink) {}

TlsConnection::~TlsConnection() { Close(); }

void TlsConnection::Close() {
  if (ssl_ != nullptr) {
    SSL_set_app_data(ssl_, nullptr);
    // Ended on purpose: OpenSSL keeps the session resumable.
    SSL_set_shutdown(ssl_, SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    SSL_free(ssl_);  // frees the engine's end of the pair too
    ssl_ = nullptr;
  }
  if (network_ != nullptr) {
    BIO_free(network_);
    network_ = nullptr;
  }
  dcfWipe(&keyBlock_, sizeof keyBlock_);
  state_ = kNone;
}

namespace {

bool InstallHook(SSL* ssl, const ChainVerdictHook* hook) {
  const bool judged = hook != nullptr && hook->callback != nullptr;
  return TlsSetChainVerifyHook(ssl, judged ? TlsChainVerifyCallback : nullptr,
                               judged ? const_cast<ChainVerdictHook*>(hook) : nullptr);
}

}  // namespace

std::int32_t TlsConnection::Open(std::uint32_t resumptionTimeout, const ChainVerdictHook* hook) {
  Close();
  ERR_clear_error();
  ssl_ = SSL_new(context_.Handle());
  if (ssl_ == nullptr) {
    const unsigned long error = ERR_get_error();
    ERR_clear_error();
    return ERR_GET_REASON(error) == ERR_R_MALLOC_FAILURE ? TlsContext::kOutOfMemory
                                                          : kSslNewFailed;
  }
  SSL_set_app_data(ssl_, this);
  BIO* engineEnd = nullptr;
  if (BIO_new_bio_pair(&engineEnd, 0, &network_, 0) != 1) {
    ERR_clear_error();
    Close();
    return TlsContext::kOutOfMemory;
  }
  SSL_set_bio(ssl_, engineEnd, engineEnd);
  if (SSL_SESSION* cached = context_.CachedSession(resumptionTimeout)) {
    SSL_set_session(ssl_, cached);
    SSL_SESSION_free(cached);
  }
  if (!InstallHook(ssl_, hook)) {
    Close();
    return TlsContext::kOutOfMemory;
  }
  SSL_set_connect_state(ssl_);
  state_ = kHandshaking;
  return 0;
}

void TlsConnection::SetChainVerifyHook(const ChainVerdictHook* hook) {
  if (ssl_ != nullptr) InstallHook(ssl_, hook);
}

void TlsConnection::RecordError(std::uint32_t code) {
  if (firstError_ == 0) firstError_ = code;
}

void TlsConnection::OnAlert(bool sentByUs, std::uint8_t description) {
  if (firstAlert_ == 0) firstAlert_ = (sentByUs ? kAlertSent : kAlertReceived) | description;
}

int TlsConnection::Classify(int result) {
  const int error = SSL_get_error(ssl_, result);
  lastSslError_ = static_cast<std::uint32_t>(error);
  if (error == SSL_ERROR_SSL || error == SSL_ERROR_SYSCALL) {
    RecordError(MapTlsError(ERR_get_error(), ssl_));
    ERR_clear_error();  // nothing of ours is left in the thread's error queue
  }
  switch (error) {
    case SSL_ERROR_WANT_READ:
      return 0;
    case SSL_ERROR_WANT_WRITE:
      return FlushNetworkOutput() ? 1 : -1;
    case SSL_ERROR_SSL:
      state_ = kFailed;
      return 0;
    default:
      state_ = kFailed;
      return -1;
  }
}

bool TlsConnection::CaptureKeyBlock() {
  const SSL_SESSION* session = SSL_get_session(ssl_);
  if (session == nullptr ||
      SSL_SESSION_get_master_key(session, keyBlock_.masterSecret, kMasterSecretSize) !=
          kMasterSecretSize) {
    return false;
  }
  SSL_get_server_random(ssl_, keyBlock_.serverRandom, sizeof keyBlock_.serverRandom);
  SSL_get_client_random(ssl_, keyBlock_.clientRandom, sizeof keyBlock_.clientRandom);
  return true;
}

std::int32_t TlsConnection::Pump() {
  lastSslError_ = 0;
  if (ssl_ == nullptr) return -1;
  if (state_ == kHandshaking) {
    for (;;) {
      const int result = SSL_connect(ssl_);
      if (result == 1) break;
      const int next = Classify(result);
      if (next != 1) return next;
    }
    state_ = kEstablished;
    if (!CaptureKeyBlock()) {
      state_ = kFailed;
      return -1;
    }
  }
  if (state_ != kEstablished) return -1;
  std::uint8_t chunk[kChunkSize];
  std::int32_t outcome = 0;
  for (;;) {
    const int result = SSL_read(ssl_, chunk, sizeof chunk);
    if (result > 0) {
      if (!sink_.ApplicationData(chunk, static_cast<std::uint32_t>(result))) {
        outcome = -1;
        break;
      }
      continue;
    }
    const int next = Classify(result);
    if (next == 1) continue;
    // Once established, only "waiting for more" is a normal end.
    outcome = (next == 0 && state_ == kEstablished) ? 0 : -1;
    break;
  }
  dcfWipe(chunk, sizeof chunk);
  return outcome;
}

std::int32_t TlsConnection::Feed(const std::uint8_t* bytes, std::uint32_t count) {
  if (network_ == nullptr) return -1;
  std::uint32_t offset = 0;
  bool pumped = false;
  while (offset < count) {
    const int chunk = static_cast<int>(std::min<std::uint32_t>(count - offset, INT_MAX));
    const int written = BIO_write(network_, bytes + offset, chunk);
    if (written > 0) {
      offset += static_cast<std::uint32_t>(written);
      pumped = false;
      continue;
    }
    // The pair is full: let the engine take what it holds, once; a pair still full after
    // that would never drain.
    if (pumped || Pump() != 0) return -1;
    pumped = true;
  }
  return 0;
}

std::int32_t TlsConnection::FeedAndPump(const std::uint8_t* bytes, std::uint32_t count) {
  if (Feed(bytes, count) != 0) return -1;
  return Pump();
}

std::int32_t TlsConnection::WriteApplicationData(const std::uint8_t* bytes, std::uint32_t count) {
  lastSslError_ = 0;
  if (ssl_ == nullptr || state_ != kEstablished || count > INT_MAX) return -1;
  if (count == 0) return 0;
  for (;;) {
    // Without partial writes SSL_write takes all or nothing.
    const int result = SSL_write(ssl_, bytes, static_cast<int>(count));
    if (result > 0) return FlushNetworkOutput() ? 0 : -1;
    if (Classify(result) != 1) return -1;
  }
}

bool TlsConnection::FlushNetworkOutput() {
  if (network_ == nullptr) return true;
  std::uint8_t chunk[kChunkSize];
  while (BIO_ctrl_pending(network_) > 0) {
    const int read = BIO_read(network_, chunk, sizeof chunk);
    if (read <= 0) break;
    if (!sink_.NetworkOutput(chunk, static_cast<std::uint32_t>(read))) return false;
  }
  return true;
}

void TlsInfoCallback(const SSL* ssl, int where, int value) {
  if ((where & SSL_CB_ALERT) == 0 || (value >> 8) != SSL3_AL_FATAL) return;
  auto* connection = static_cast<TlsConnection*>(SSL_get_app_data(ssl));
  if (connection == nullptr) return;
  connection->OnAlert((where & SSL_CB_WRITE) != 0, static_cast<std::uint8_t>(value & 0xFF));
}
