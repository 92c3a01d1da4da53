// A scripted PEAP or TTLS server for tests (header-only, never part of the library): the
// TLS handshake in OpenSSL's server role over a BIO pair, then whatever the test puts into
// the tunnel. Requests are never fragmented; responses must come whole (the tests read them
// through a 64 KB buffer).
#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "ksLib_OSSL/eap_tls_test_server.h"

namespace tls_testing {

class TunnelTestServer {
 public:
  TunnelTestServer(const capi::testing::TestCertificate& certificate, std::uint8_t eapType,
                   std::uint8_t version = 0)
      : eapType_(eapType), version_(version) {
    context_.reset(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    SSL_CTX* ctx = context_.get();
    SSL_CTX_set_security_level(ctx, 0);
    SSL_CTX_set_max_proto_version(ctx, TLS1_2_VERSION);
    if (SSL_CTX_use_certificate(ctx, certificate.x509.get()) != 1 ||
        SSL_CTX_use_PrivateKey(ctx, certificate.key.get()) != 1) {
      std::abort();
    }
    static const unsigned char kSessionContext[] = "tunnel-test";
    SSL_CTX_set_session_id_context(ctx, kSessionContext, sizeof kSessionContext - 1);
  }

  // A new conversation (the session cache stays): the Start request.
  Bytes Start() {
    ssl_.reset(SSL_new(context_.get()), SSL_free);
    BIO* inner = nullptr;
    BIO* outer = nullptr;
    BIO_new_bio_pair(&inner, 0, &outer, 0);
    network_.reset(outer, BIO_free);
    SSL_set_bio(ssl_.get(), inner, inner);
    SSL_set_accept_state(ssl_.get());
    return Request({static_cast<std::uint8_t>(0x20 | version_)});
  }

  // Takes our response: feeds its TLS bytes to the engine and returns what the server says
  // next in the handshake; nullopt once the handshake is over and nothing is left to send
  // (the test's script continues).
  std::optional<Bytes> OnResponse(const Bytes& response) {
    Feed(response);
    if (!SSL_is_init_finished(ssl_.get())) {
      if (SSL_do_handshake(ssl_.get()) <= 0) ERR_clear_error();
    }
    const Bytes out = Drain();
    if (!out.empty()) return Request(WithLength(out));
    return std::nullopt;
  }

  bool established() { return SSL_is_init_finished(ssl_.get()) == 1; }

  // A request carrying `inner` through the tunnel.
  Bytes Tunnel(const Bytes& inner) {
    if (SSL_write(ssl_.get(), inner.data(), static_cast<int>(inner.size())) <= 0) std::abort();
    return Request(WithLength(Drain()));
  }

  // What our response carried through the tunnel (empty when nothing).
  Bytes Received(const Bytes& response) {
    Feed(response);
    Bytes plain;
    std::uint8_t chunk[4096];
    int read = 0;
    while ((read = SSL_read(ssl_.get(), chunk, sizeof chunk)) > 0) {
      plain.insert(plain.end(), chunk, chunk + read);
    }
    ERR_clear_error();
    return plain;
  }

  // An empty request of the method (an acknowledgement).
  Bytes Empty() { return Request({version_}); }
  // EAP-Success or Failure with the last identifier.
  Bytes Outcome(std::uint8_t code) const { return {code, id_, 0, 4}; }
  std::uint8_t lastId() const { return id_; }
  SSL* ssl() { return ssl_.get(); }

  Bytes ExportKey(const char* label, std::size_t length) {
    return ExportKeyingMaterial(ssl_.get(), label, length);
  }

 private:
  Bytes Request(const Bytes& body) { return EapRequest(++id_, eapType_, body); }

  Bytes WithLength(const Bytes& tls) const {
    const auto total = static_cast<std::uint32_t>(tls.size());
    Bytes body{static_cast<std::uint8_t>(0x80 | version_), static_cast<std::uint8_t>(total >> 24),
               static_cast<std::uint8_t>(total >> 16), static_cast<std::uint8_t>(total >> 8),
               static_cast<std::uint8_t>(total)};
    body.insert(body.end(), tls.begin(), tls.end());
    return body;
  }

  void Feed(const Bytes& response) {
    if (response.size() < 6 || response[0] != 2 || response[4] != eapType_) return;
    std::size_t at = 6;
    if ((response[5] & 0x80) != 0) at += 4;
    if (at < response.size()) {
      BIO_write(network_.get(), response.data() + at, static_cast<int>(response.size() - at));
    }
  }

  Bytes Drain() {
    Bytes out;
    std::uint8_t chunk[4096];
    int read = 0;
    while ((read = BIO_read(network_.get(), chunk, sizeof chunk)) > 0) {
      out.insert(out.end(), chunk, chunk + read);
    }
    return out;
  }

  std::uint8_t eapType_;
  std::uint8_t version_;
  std::shared_ptr<SSL_CTX> context_;
  std::shared_ptr<SSL> ssl_;
  std::shared_ptr<BIO> network_;
  std::uint8_t id_ = 0;
};

}  // namespace tls_testing
