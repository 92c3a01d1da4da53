#pragma once
// An EAP-TLS server for tests (header-only, never part of the library): OpenSSL's server
// role over a BIO pair, with the EAP-TLS framing of an authenticator (Start, requests
// fragmented to a chosen size with L on the first and M on all but the last, empty
// requests acknowledging our fragments, EAP-Success or Failure at the end).
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ksLib_OSSL/tls_config.h"
#include "ksLib_OSSL/tls_context.h"
#include "platform/cryptoapi/test_certificates.h"

namespace tls_testing {

using Bytes = std::vector<std::uint8_t>;

// A CA with a server and a client certificate under it (RSA, made once per test program).
struct TestPki {
  capi::testing::TestCertificate ca =
      capi::testing::MakeCertificate("Test CA", {.isCa = true, .rsa = true});
  capi::testing::TestCertificate server =
      capi::testing::MakeCertificate("radius.example",
                                     {.issuer = &ca, .serial = 2, .rsa = true, .rsaBits = 2048});
  capi::testing::TestCertificate client =
      capi::testing::MakeCertificate("alice", {.issuer = &ca, .serial = 3, .rsa = true,
                                               .extendedKeyUsage = "clientAuth"});
};

inline const TestPki& Pki() {
  static const TestPki* const pki = new TestPki;
  return *pki;
}

// A client TLS context without a certificate that verifies the server, its configuration
// applied; the caller releases it. Null when it could not be made.
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

// What a server derives with the engine's keying-material export; empty on failure.
inline Bytes ExportKeyingMaterial(SSL* ssl, const char* label, std::size_t length) {
  Bytes key(length);
  if (SSL_export_keying_material(ssl, key.data(), length, label, std::strlen(label), nullptr, 0,
                                 0) != 1) {
    key.clear();
  }
  return key;
}

// An EAP Request of the type with the type data `body`.
inline Bytes EapRequest(std::uint8_t id, std::uint8_t type, const Bytes& body) {
  const std::size_t length = 5 + body.size();
  Bytes packet{1, id, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
               type};
  packet.insert(packet.end(), body.begin(), body.end());
  return packet;
}

struct ServerOptions {
  int maxVersion = TLS1_2_VERSION;
  int minVersion = TLS1_VERSION;
  std::uint32_t fragmentSize = 1024;  // bytes of TLS data per request, L field included
  const capi::testing::TestCertificate* trustedClientIssuer = nullptr;  // asks for a client cert
  bool requireClientCertificate = false;
};

class EapTlsTestServer {
 public:
  enum class Verdict { kRunning, kSuccess, kFailure };

  EapTlsTestServer(const capi::testing::TestCertificate& certificate, ServerOptions options = {})
      : options_(options) {
    context_.reset(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    SSL_CTX* ctx = context_.get();
    SSL_CTX_set_security_level(ctx, 0);
    SSL_CTX_set_min_proto_version(ctx, options.minVersion);
    SSL_CTX_set_max_proto_version(ctx, options.maxVersion);
    SSL_CTX_set_cipher_list(ctx, "ALL:@SECLEVEL=0");
    if (SSL_CTX_use_certificate(ctx, certificate.x509.get()) != 1 ||
        SSL_CTX_use_PrivateKey(ctx, certificate.key.get()) != 1) {
      std::abort();
    }
    static const unsigned char kSessionContext[] = "eap-tls-test";
    SSL_CTX_set_session_id_context(ctx, kSessionContext, sizeof kSessionContext - 1);
    if (options.trustedClientIssuer != nullptr) {
      X509_STORE_add_cert(SSL_CTX_get_cert_store(ctx), options.trustedClientIssuer->x509.get());
      SSL_CTX_set_verify(ctx,
                         SSL_VERIFY_PEER | (options.requireClientCertificate
                                                ? SSL_VERIFY_FAIL_IF_NO_PEER_CERT
                                                : 0),
                         nullptr);
    }
  }

  // A new conversation on the same server context (its session cache stays).
  Bytes Start() {
    ssl_.reset(SSL_new(context_.get()), SSL_free);
    BIO* inner = nullptr;
    BIO* outer = nullptr;
    BIO_new_bio_pair(&inner, 0, &outer, 0);
    network_.reset(outer, BIO_free);
    SSL_set_bio(ssl_.get(), inner, inner);
    SSL_set_accept_state(ssl_.get());
    pending_.clear();
    sent_ = 0;
    inbound_.clear();
    verdict_ = Verdict::kRunning;
    failed_ = false;
    return Request({0x20});
  }

  // The server's next packet for one of our responses (nullopt: nothing more to say).
  std::optional<Bytes> OnResponse(const Bytes& response) {
    if (response.size() < 5 || response[0] != 2 || response[4] != 13) return Fail();
    const Bytes data(response.begin() + 5, response.end());
    if (data.empty()) return Fail();
    const std::uint8_t flags = data[0];
    std::size_t at = 1;
    if (flags & 0x80) at += 4;
    inbound_.insert(inbound_.end(), data.begin() + static_cast<long>(at), data.end());
    if (flags & 0x40) return Request({0x00});  // acknowledge the fragment
    if (!inbound_.empty()) {
      BIO_write(network_.get(), inbound_.data(), static_cast<int>(inbound_.size()));
      inbound_.clear();
      Drive();
    }
    if (sent_ < pending_.size()) return NextFragment();
    if (failed_) return Fail();
    if (SSL_is_init_finished(ssl_.get())) {
      verdict_ = Verdict::kSuccess;
      return Bytes{3, id_, 0, 4};
    }
    return Fail();
  }

  Verdict verdict() const { return verdict_; }
  SSL* ssl() { return ssl_.get(); }
  std::uint8_t lastId() const { return id_; }

  // What the server derives with the engine's keying-material export.
  Bytes ExportKey(const char* label, std::size_t length) {
    return ExportKeyingMaterial(ssl_.get(), label, length);
  }

 private:
  Bytes Request(const Bytes& body) { return EapRequest(++id_, 13, body); }

  std::optional<Bytes> Fail() {
    verdict_ = Verdict::kFailure;
    return Bytes{4, id_, 0, 4};
  }

  void Drive() {
    if (!SSL_is_init_finished(ssl_.get())) {
      const int result = SSL_do_handshake(ssl_.get());
      if (result <= 0 && SSL_get_error(ssl_.get(), result) != SSL_ERROR_WANT_READ) {
        failed_ = true;
        ERR_clear_error();
      }
    }
    pending_.clear();
    sent_ = 0;
    std::uint8_t chunk[4096];
    int read = 0;
    while ((read = BIO_read(network_.get(), chunk, sizeof chunk)) > 0) {
      pending_.insert(pending_.end(), chunk, chunk + read);
    }
  }

  Bytes NextFragment() {
    const bool first = sent_ == 0;
    const std::size_t room = options_.fragmentSize - (first ? 4 : 0);
    const std::size_t take = std::min(room, pending_.size() - sent_);
    const bool more = sent_ + take < pending_.size();
    Bytes body{static_cast<std::uint8_t>((first ? 0x80 : 0) | (more ? 0x40 : 0))};
    if (first) {
      const std::uint32_t total = static_cast<std::uint32_t>(pending_.size());
      body.insert(body.end(), {static_cast<std::uint8_t>(total >> 24),
                               static_cast<std::uint8_t>(total >> 16),
                               static_cast<std::uint8_t>(total >> 8),
                               static_cast<std::uint8_t>(total)});
    }
    body.insert(body.end(), pending_.begin() + static_cast<long>(sent_),
                pending_.begin() + static_cast<long>(sent_ + take));
    sent_ += take;
    return Request(body);
  }

  ServerOptions options_;
  std::shared_ptr<SSL_CTX> context_;
  std::shared_ptr<SSL> ssl_;
  std::shared_ptr<BIO> network_;
  Bytes pending_;
  std::size_t sent_ = 0;
  Bytes inbound_;
  std::uint8_t id_ = 0;
  Verdict verdict_ = Verdict::kRunning;
  bool failed_ = false;
};

}  // namespace tls_testing

namespace tls_testing {

// What a conversation left: our responses in order, and how it ended.
struct Conversation {
  std::vector<Bytes> responses;
  bool weGaveUp = false;  // our side refused a request
  EapTlsTestServer::Verdict verdict = EapTlsTestServer::Verdict::kRunning;
};

// Runs one conversation: `respond` answers each request (nullopt: our side gives up).
template <class Respond>
Conversation Converse(EapTlsTestServer& server, Respond respond) {
  Conversation result;
  Bytes request = server.Start();
  for (int round = 0; round < 400 && request[0] == 1; ++round) {
    std::optional<Bytes> response = respond(request);
    if (!response) {
      result.weGaveUp = true;
      break;
    }
    result.responses.push_back(*response);
    std::optional<Bytes> next = server.OnResponse(*response);
    if (!next) break;
    request = *next;
  }
  result.verdict = server.verdict();
  return result;
}

}  // namespace tls_testing
