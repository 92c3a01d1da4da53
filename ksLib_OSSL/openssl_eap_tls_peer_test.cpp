#include "ksLib_OSSL/openssl_eap_tls_peer.h"

#include <gtest/gtest.h>

#include <openssl/core_names.h>
#include <openssl/kdf.h>
#include <openssl/params.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ksLib_OSSL/eap_tls_test_server.h"
#include "ksLib_OSSL/tunnel_test_server.h"
#include "ksLib_OSSL/tls_prf.h"

namespace {

using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;
using tls_testing::Bytes;
using tls_testing::EapTlsTestServer;
using tls_testing::ServerOptions;

template <class T>
struct Ref {
  explicit Ref(T* object = nullptr) : p(object) {}
  Ref(const Ref&) = delete;
  ~Ref() {
    if (p != nullptr) p->Release();
  }
  T* operator->() const { return p; }
  T* p;
};

// The host's judge for these tests: records what it was shown, answers a fixed verdict.
struct Judge {
  ChainVerdict verdict = 0;
  int calls = 0;
  Bytes firstCertificate;
  static ChainVerdict Callback(void* argument, const DerCertificate* chain, std::uint32_t count) {
    auto* judge = static_cast<Judge*>(argument);
    ++judge->calls;
    if (count > 0) judge->firstCertificate.assign(chain[0].bytes, chain[0].bytes + chain[0].length);
    return judge->verdict;
  }
};

const tls_testing::TestPki& Certs() { return tls_testing::Pki(); }

class EapTlsPeerTest : public ::testing::Test {
 protected:
  void SetUp() override { context_ = MakeContext(false); }
  void TearDown() override { context_->Release(); }

  // A client context; with the client certificate, its issuer and its key when asked.
  static TlsContext* MakeContext(bool withClientCertificate) {
    TlsConfig* config = nullptr;
    EXPECT_EQ(TlsConfig::Create(&config), 0);
    TlsContext* context = nullptr;
    EXPECT_EQ(TlsContext::Create(config, &context), 0);
    config->Release();
    if (withClientCertificate) {
      const tls_testing::TestPki& c = Certs();
      EXPECT_EQ(context->UseCertificateDer(TlsContext::kDer, c.client.der.data(),
                                           static_cast<std::uint32_t>(c.client.der.size())),
                0);
      EXPECT_EQ(context->AddChainCertificateDer(TlsContext::kDer, c.ca.der.data(),
                                                static_cast<std::uint32_t>(c.ca.der.size())),
                0);
      const Bytes key = c.client.Pkcs8();
      EXPECT_EQ(context->UsePrivateKeyDer(key.data(), static_cast<std::uint32_t>(key.size())), 0);
    }
    EXPECT_EQ(context->SetVerifyPeer(true), 0);
    EXPECT_EQ(context->ApplyConfiguration(), 0);
    return context;
  }

  // A peer set up as the method host does it.
  OpenSslEapTlsPeer* NewPeer(TlsContext* context, std::uint32_t resumptionTimeout = 3600,
                      const char* type = "TLS") {
    OpenSslEapTlsPeer* peer = nullptr;
    EXPECT_EQ(context->CreatePeer(&peer), 0);
    EXPECT_EQ(peer->EnableEapType(type), 0u);
    EXPECT_EQ(peer->SetPeapVersionRange(0, 1), 0u);
    EXPECT_EQ(peer->SetMaxMessageSize(65536), 0u);
    EXPECT_EQ(peer->SetSessionResumptionTimeout(resumptionTimeout), 0u);
    EXPECT_EQ(peer->CreateConnection(), 0u);
    EXPECT_EQ(peer->SetChainVerifyHook(Judge::Callback, &judge_), 0u);
    return peer;
  }

  static tls_testing::Conversation Run(EapTlsTestServer& server, OpenSslEapTlsPeer* peer,
                                       std::uint32_t bufferSize = 1400) {
    return tls_testing::Converse(server, [&](const Bytes& request) -> std::optional<Bytes> {
      if (peer->ProcessRequest(request.data(), static_cast<std::uint32_t>(request.size())) != 0) {
        return std::nullopt;
      }
      Bytes response(bufferSize);
      std::uint32_t length = 0;
      if (peer->GetResponse(response.data(), bufferSize, &length) != 0) return std::nullopt;
      response.resize(length);
      return response;
    });
  }

  static Bytes Key(const OpenSslEapTlsPeer& peer, const char* label = "client EAP encryption") {
    Bytes key(64);
    if (TlsPrf(peer, label, key.data(), 64) != 0) key.clear();
    return key;
  }

  TlsContext* context_ = nullptr;
  Judge judge_;
};

// A whole handshake over the framing, at every protocol version EAP servers speak and with
// fragments both ways: the server's chain goes to the judge, and the 64-byte key equals the
// one the server exports with the same label.
TEST_F(EapTlsPeerTest, HandshakeCompletesAndBothSidesDeriveTheSameKey) {
  struct Case {
    int version;
    std::uint32_t serverFragment;
    std::uint32_t ourBuffer;
    bool clientCertificate;
  };
  const Case cases[] = {
      {TLS1_2_VERSION, 1024, 1400, false},
      {TLS1_2_VERSION, 300, 200, true},
      {TLS1_1_VERSION, 1024, 1400, false},
      {TLS1_VERSION, 200, 300, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    Ref<TlsContext> context(MakeContext(c.clientCertificate));
    Ref<OpenSslEapTlsPeer> peer(NewPeer(context.p));
    EapTlsTestServer server(Certs().server,
                            {.maxVersion = c.version,
                             .minVersion = c.version,
                             .fragmentSize = c.serverFragment,
                             .trustedClientIssuer = c.clientCertificate ? &Certs().ca : nullptr,
                             .requireClientCertificate = c.clientCertificate});
    judge_ = {};
    const auto conversation = Run(server, peer.p, c.ourBuffer);
    ASSERT_EQ(conversation.verdict, EapTlsTestServer::Verdict::kSuccess);
    EXPECT_EQ(SSL_version(server.ssl()), c.version);
    EXPECT_EQ(judge_.calls, 1);
    EXPECT_EQ(judge_.firstCertificate, Certs().server.der);
    if (c.clientCertificate) {
      EXPECT_NE(SSL_get0_peer_certificate(server.ssl()), nullptr);
    }

    std::uint32_t status = 0;
    EXPECT_EQ(peer->GetTlsStatus(&status), 0);
    EXPECT_EQ(status, OpenSslEapTlsPeer::kHandshakeDone);
    std::uint16_t suite = 0;
    EXPECT_EQ(peer->GetCipherSuite(&suite), 0);
    EXPECT_EQ(suite, SSL_CIPHER_get_protocol_id(SSL_get_current_cipher(server.ssl())));
    bool resumed = true;
    EXPECT_EQ(peer->IsSessionResumed(&resumed), 0);
    EXPECT_FALSE(resumed);

    const Bytes key = Key(*peer.p);
    ASSERT_EQ(key.size(), 64u);
    EXPECT_EQ(key, server.ExportKey("client EAP encryption", 64));
    EXPECT_EQ(Key(*peer.p, "ttls keying material"), server.ExportKey("ttls keying material", 64));

    // Every response fits the buffer; a message that did not is sent as L+M, M..., last.
    for (const Bytes& r : conversation.responses) {
      ASSERT_GE(r.size(), 6u);
      EXPECT_LE(r.size(), c.ourBuffer);
      EXPECT_EQ(r.size(), std::size_t{r[2]} << 8 | r[3]);
    }
  }
}

// Our outgoing fragments: the first carries L with the total and M, the middle ones M and a
// 6-byte header, the last neither; each waits for the server's acknowledgement.
TEST_F(EapTlsPeerTest, LongMessageLeavesInFragments) {
  Ref<TlsContext> context(MakeContext(true));
  Ref<OpenSslEapTlsPeer> peer(NewPeer(context.p));
  EapTlsTestServer server(Certs().server, {.trustedClientIssuer = &Certs().ca,
                                           .requireClientCertificate = true});
  const std::uint32_t buffer = 256;
  const auto conversation = Run(server, peer.p, buffer);
  ASSERT_EQ(conversation.verdict, EapTlsTestServer::Verdict::kSuccess);

  // Find our certificate flight: the first response with L and M.
  std::size_t first = 0;
  while (first < conversation.responses.size() && conversation.responses[first][5] != 0xC0) ++first;
  ASSERT_LT(first, conversation.responses.size());
  const Bytes& head = conversation.responses[first];
  const std::uint32_t total = std::uint32_t{head[6]} << 24 | std::uint32_t{head[7]} << 16 |
                              std::uint32_t{head[8]} << 8 | head[9];
  EXPECT_EQ(head.size(), buffer);
  std::uint32_t carried = static_cast<std::uint32_t>(head.size() - 10);
  std::size_t i = first + 1;
  for (; i < conversation.responses.size(); ++i) {
    const Bytes& r = conversation.responses[i];
    carried += static_cast<std::uint32_t>(r.size() - 6);
    if (r[5] == 0x00) break;
    EXPECT_EQ(r[5], 0x40);
    EXPECT_EQ(r.size(), buffer);
  }
  EXPECT_EQ(carried, total);
  EXPECT_GT(total, 2 * buffer);
}

// An EAP packet holds at most 65535 bytes: with a larger buffer, a longer message still
// leaves in fragments whose EAP length fits its 16-bit field.
TEST_F(EapTlsPeerTest, FragmentsNeverExceedTheEapLengthField) {
  Ref<TlsContext> context(MakeContext(true));
  for (int i = 0; i < 150; ++i) {  // a client chain of about 100 KB
    ASSERT_EQ(context->AddChainCertificateDer(TlsContext::kDer, Certs().ca.der.data(),
                                              static_cast<std::uint32_t>(Certs().ca.der.size())),
              0);
  }
  Ref<OpenSslEapTlsPeer> peer(NewPeer(context.p));
  EapTlsTestServer server(Certs().server, {.trustedClientIssuer = &Certs().ca,
                                           .requireClientCertificate = true});
  const auto conversation = Run(server, peer.p, 100000);
  std::size_t longest = 0;
  for (const Bytes& r : conversation.responses) {
    ASSERT_GE(r.size(), 6u);
    EXPECT_EQ(r.size(), std::size_t{r[2]} << 8 | r[3]);
    longest = std::max(longest, r.size());
  }
  EXPECT_EQ(longest, 65535u);
}

// The host's verdict is the engine's: a refused chain fails the handshake with the matching
// error code and the alert we send.
TEST_F(EapTlsPeerTest, HostVerdictDecidesTheServerChain) {
  struct Case {
    ChainVerdict verdict;
    std::uint32_t error;
    std::uint8_t alert;
  };
  const Case cases[] = {
      {6, 69, 42}, {3, 63, 44}, {2, 65, 45}, {1, 64, 42}, {9, 66, 48}, {8, 68, 40}, {77, 68, 40},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.verdict);
    Ref<OpenSslEapTlsPeer> peer(NewPeer(context_));
    judge_ = {};
    judge_.verdict = c.verdict;
    EapTlsTestServer server(Certs().server);
    const auto conversation = Run(server, peer.p);
    EXPECT_TRUE(conversation.weGaveUp);
    EXPECT_EQ(judge_.calls, 1);
    std::uint32_t error = 0;
    std::uint32_t alert = 0;
    EXPECT_EQ(peer->GetLastTlsError(&error), 0);
    EXPECT_EQ(peer->GetFirstAlert(&alert), 0);
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(alert, 0x2100u | c.alert);
    EXPECT_EQ(Key(*peer.p), Bytes{}) << "no keys from a failed handshake";
  }
}

// Servers whose RSA certificate key is below 2048 bits are refused at every version, before
// the host judges the chain (the engine's level 0 would take 512-bit keys); 2048 bits pass.
TEST_F(EapTlsPeerTest, WeakServerKeysAreRefused) {
  struct Case {
    std::size_t bits;
    int version;
    bool accepted;
  };
  const Case cases[] = {{1024, TLS1_2_VERSION, false}, {1024, TLS1_VERSION, false},
                        {768, TLS1_2_VERSION, false}, {2048, TLS1_VERSION, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    const capi::testing::TestCertificate server = capi::testing::MakeCertificate(
        "weak.example", {.issuer = &Certs().ca, .serial = 9, .rsa = true, .rsaBits = c.bits});
    Ref<OpenSslEapTlsPeer> peer(NewPeer(context_));
    judge_ = {};
    EapTlsTestServer tlsServer(server, {.maxVersion = c.version, .minVersion = c.version});
    const auto conversation = Run(tlsServer, peer.p);
    EXPECT_EQ(conversation.weGaveUp, !c.accepted);
    EXPECT_EQ(judge_.calls, c.accepted ? 1 : 0);
    std::uint32_t alert = 0;
    EXPECT_EQ(peer->GetFirstAlert(&alert), 0);
    EXPECT_EQ(alert, c.accepted ? 0u : 0x2100u | SSL_AD_BAD_CERTIFICATE);
    EXPECT_EQ(Key(*peer.p).empty(), !c.accepted);
  }
}

// The server refuses us (no client certificate): its alert is recorded as received.
TEST_F(EapTlsPeerTest, ServerAlertIsRecordedAsReceived) {
  Ref<OpenSslEapTlsPeer> peer(NewPeer(context_));
  EapTlsTestServer server(Certs().server, {.trustedClientIssuer = &Certs().ca,
                                           .requireClientCertificate = true});
  const auto conversation = Run(server, peer.p);
  EXPECT_TRUE(conversation.weGaveUp);
  std::uint32_t alert = 0;
  EXPECT_EQ(peer->GetFirstAlert(&alert), 0);
  EXPECT_EQ(alert, 0x2200u | SSL_AD_HANDSHAKE_FAILURE);
}

// A saved session is offered to the next peer of the same context while it is young enough,
// and the resumed handshake derives the server's keys; a dropped one is not offered.
TEST_F(EapTlsPeerTest, SavedSessionIsResumed) {
  EapTlsTestServer server(Certs().server);
  {
    Ref<OpenSslEapTlsPeer> first(NewPeer(context_));
    ASSERT_EQ(Run(server, first.p).verdict, EapTlsTestServer::Verdict::kSuccess);
    EXPECT_EQ(first->SaveSession(), 0);
  }
  struct Case {
    std::uint32_t timeout;
    bool resumed;
  };
  for (const Case& c : {Case{0, false}, Case{3600, true}}) {
    SCOPED_TRACE(c.timeout);
    Ref<OpenSslEapTlsPeer> peer(NewPeer(context_, c.timeout));
    judge_ = {};
    ASSERT_EQ(Run(server, peer.p).verdict, EapTlsTestServer::Verdict::kSuccess);
    bool resumed = !c.resumed;
    EXPECT_EQ(peer->IsSessionResumed(&resumed), 0);
    EXPECT_EQ(resumed, c.resumed);
    EXPECT_EQ(judge_.calls, c.resumed ? 0 : 1) << "a resumed session shows no chain";
    EXPECT_EQ(Key(*peer.p), server.ExportKey("client EAP encryption", 64));
  }
  {
    Ref<OpenSslEapTlsPeer> peer(NewPeer(context_));
    ASSERT_EQ(Run(server, peer.p).verdict, EapTlsTestServer::Verdict::kSuccess);
    EXPECT_EQ(peer->DropSession(), 0);
  }
  Ref<OpenSslEapTlsPeer> after(NewPeer(context_));
  ASSERT_EQ(Run(server, after.p).verdict, EapTlsTestServer::Verdict::kSuccess);
  bool resumed = true;
  EXPECT_EQ(after->IsSessionResumed(&resumed), 0);
  EXPECT_FALSE(resumed);
}

Bytes Request(std::uint8_t id, std::uint8_t type, const Bytes& body) {
  const std::size_t length = 5 + body.size();
  Bytes packet{1, id, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length),
               type};
  packet.insert(packet.end(), body.begin(), body.end());
  return packet;
}

std::int32_t Process(OpenSslEapTlsPeer& peer, const Bytes& packet) {
  return peer.ProcessRequest(packet.data(), static_cast<std::uint32_t>(packet.size()));
}

Bytes Respond(OpenSslEapTlsPeer& peer, std::uint32_t size = 1400) {
  Bytes response(size);
  std::uint32_t length = 0;
  if (peer.GetResponse(response.data(), size, &length) != 0) return {};
  response.resize(length);
  return response;
}

// Requests the framing refuses, once the ClientHello is out and the peer waits for the
// server: each is rejected and changes nothing, so the server's real next message still
// works.
TEST_F(EapTlsPeerTest, MalformedRequestsAreRefusedAndChangeNothing) {
  struct Case {
    const char* name;
    Bytes packet;
  };
  const Bytes tls(40, 0x16);
  auto body = [](std::initializer_list<std::uint8_t> head, const Bytes& tail) {
    Bytes b(head);
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
  };
  const Case cases[] = {
      {"4 bytes, no type", {1, 9, 0, 4}},
      {"length beyond the bytes", {1, 9, 0, 50, 13, 0x00}},
      {"a Response", {2, 9, 0, 6, 13, 0x00}},
      {"another EAP type", Request(9, 25, {0x00})},
      {"L with three length bytes", Request(9, 13, {0x80, 0, 0, 1})},
      {"M without a total length", Request(9, 13, body({0x40}, tls))},
      {"more data than the total", Request(9, 13, body({0x80, 0, 0, 0, 39}, tls))},
      {"last fragment short of the total", Request(9, 13, body({0x80, 0, 0, 0, 41}, tls))},
      {"M on a fragment that completes the total", Request(9, 13, body({0xC0, 0, 0, 0, 40}, tls))},
      {"total above the largest message", Request(9, 13, body({0xC0, 0, 1, 0, 1}, tls))},
      {"total of 16 MiB and more", Request(9, 13, body({0xC0, 0x01, 0, 0, 0}, tls))},
      {"a second Start", Request(9, 13, {0x20})},
  };
  EapTlsTestServer server(Certs().server);
  Bytes start = server.Start();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Ref<OpenSslEapTlsPeer> peer(NewPeer(context_));
    ASSERT_EQ(Process(*peer.p, Request(7, 13, {0x20})), 0);
    const Bytes hello = Respond(*peer.p);
    ASSERT_GT(hello.size(), 10u);
    EXPECT_EQ(hello[1], 7);
    EXPECT_EQ(peer->responseState(), 1u);

    EXPECT_EQ(Process(*peer.p, c.packet), -1);
    EXPECT_EQ(peer->responseState(), 1u);
    // An acknowledgement still answers the last accepted request.
    EXPECT_EQ(Respond(*peer.p), (Bytes{2, 7, 0, 6, 13, 0x00}));
    // A total exactly at the limit is taken in fragments.
    ASSERT_EQ(Process(*peer.p, Request(8, 13, body({0xC0, 0, 1, 0, 0}, tls))), 0);
    EXPECT_EQ(Respond(*peer.p), (Bytes{2, 8, 0, 6, 13, 0x00}));
  }
}

// A fragment that takes the message past the limit is refused even without a total length.
TEST_F(EapTlsPeerTest, ReassemblyStopsAtTheLargestMessage) {
  Ref<OpenSslEapTlsPeer> peer(NewPeer(context_));
  ASSERT_EQ(peer->SetMaxMessageSize(100), 0u);
  ASSERT_EQ(Process(*peer.p, Request(1, 13, {0x20})), 0);
  ASSERT_FALSE(Respond(*peer.p).empty());
  Bytes big(101, 0x16);
  big.insert(big.begin(), 0x00);
  EXPECT_EQ(Process(*peer.p, Request(2, 13, big)), -1);
  Bytes announced = {0xC0, 0, 0, 0, 101, 0x16};
  EXPECT_EQ(Process(*peer.p, Request(2, 13, announced)), -1);
}

// Types we do not run are answered with Naks proposing ours in the order they were enabled,
// each once.
TEST_F(EapTlsPeerTest, NakProposesEachEnabledTypeOnce) {
  OpenSslEapTlsPeer* raw = nullptr;
  ASSERT_EQ(context_->CreatePeer(&raw), 0);
  Ref<OpenSslEapTlsPeer> peer(raw);
  EXPECT_EQ(peer->EnableEapType("tls"), 0u);
  EXPECT_EQ(peer->EnableEapType("Peap"), 0u);
  EXPECT_EQ(peer->EnableEapType("TLS"), OpenSslEapTlsPeer::kAlreadyEnabled);
  ASSERT_EQ(peer->CreateConnection(), 0u);
  EXPECT_EQ(Process(*peer.p, Request(4, 21, {0x20})), 0);
  EXPECT_EQ(Respond(*peer.p), (Bytes{2, 4, 0, 6, 3, 13}));
  EXPECT_EQ(Process(*peer.p, Request(5, 21, {0x20})), 0);
  EXPECT_EQ(Respond(*peer.p), (Bytes{2, 5, 0, 6, 3, 25}));
  EXPECT_EQ(Process(*peer.p, Request(6, 21, {0x20})), 0);
  EXPECT_EQ(Respond(*peer.p), Bytes{});
}

// PEAP: a version above our range is answered with our highest; once fixed, another version
// is refused.
TEST_F(EapTlsPeerTest, PeapVersionIsNegotiatedOnce) {
  Ref<OpenSslEapTlsPeer> peer(NewPeer(context_, 0, "PEAP"));
  std::uint32_t version = 9;
  EXPECT_EQ(peer->GetPeapVersion(&version), -1);
  ASSERT_EQ(Process(*peer.p, Request(1, 25, {0x22})), 0);
  const Bytes hello = Respond(*peer.p);
  ASSERT_GT(hello.size(), 10u);
  EXPECT_EQ(hello[5], 0x80 | 1);
  EXPECT_EQ(peer->GetPeapVersion(&version), 0);
  EXPECT_EQ(version, 1u);
  EXPECT_EQ(Process(*peer.p, Request(2, 25, {0x00})), -1);
  EXPECT_EQ(Process(*peer.p, Request(2, 25, {0x01})), 0);
  EXPECT_EQ(Respond(*peer.p), (Bytes{2, 2, 0, 6, 25, 0x01}));
}

// The TLS 1.0 PRF against OpenSSL's TLS1-PRF over MD5-SHA1, for odd and even secrets and
// lengths that end inside a digest block.
TEST(TlsPrfCore, MatchesOpenSslTls1Prf) {
  for (const std::size_t secretLength : {48u, 13u}) {
    for (const std::size_t length : {64u, 1u, 37u}) {
      Bytes secret(secretLength);
      Bytes seed(70);
      for (std::size_t i = 0; i < secret.size(); ++i) secret[i] = static_cast<std::uint8_t>(i * 7 + 1);
      for (std::size_t i = 0; i < seed.size(); ++i) seed[i] = static_cast<std::uint8_t>(i * 3 + 5);
      Bytes ours(length);
      TlsPrfCore(secret.data(), secret.size(), seed.data(), seed.size(), ours.data(), length);

      EVP_KDF* kdf = EVP_KDF_fetch(nullptr, "TLS1-PRF", nullptr);
      ASSERT_NE(kdf, nullptr);
      EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
      char digest[] = "MD5-SHA1";
      const OSSL_PARAM params[] = {
          OSSL_PARAM_construct_utf8_string("digest", digest, 0),
          OSSL_PARAM_construct_octet_string("secret", secret.data(), secret.size()),
          OSSL_PARAM_construct_octet_string("seed", seed.data(), seed.size()),
          OSSL_PARAM_construct_end()};
      Bytes theirs(length);
      EXPECT_EQ(EVP_KDF_derive(ctx, theirs.data(), length, params), 1);
      EVP_KDF_CTX_free(ctx);
      EVP_KDF_free(kdf);
      EXPECT_EQ(ours, theirs) << secretLength << " " << length;
    }
  }
}

// Labels up to 256 characters are taken; a longer one leaves the output untouched.
TEST_F(EapTlsPeerTest, LabelLengthLimit) {
  Ref<OpenSslEapTlsPeer> peer(NewPeer(context_));
  EapTlsTestServer server(Certs().server, {.maxVersion = TLS1_VERSION});
  ASSERT_EQ(Run(server, peer.p).verdict, EapTlsTestServer::Verdict::kSuccess);
  const std::string longest(256, 'k');
  Bytes out(16, 0xEE);
  EXPECT_EQ(TlsPrf(*peer.p, longest.c_str(), out.data(), 16), 0);
  EXPECT_EQ(out, server.ExportKey(longest.c_str(), 16));
  const std::string tooLong(257, 'k');
  Bytes untouched(16, 0xEE);
  EXPECT_EQ(TlsPrf(*peer.p, tooLong.c_str(), untouched.data(), 16), -1);
  EXPECT_EQ(untouched, Bytes(16, 0xEE));
}

}  // namespace

namespace {

// Runs a tunnel server's handshake against the peer; true once the tunnel is open.
bool OpenTunnel(tls_testing::TunnelTestServer& server, OpenSslEapTlsPeer* peer) {
  Bytes request = server.Start();
  for (int round = 0; round < 20; ++round) {
    if (peer->ProcessRequest(request.data(), static_cast<std::uint32_t>(request.size())) != 0) {
      return false;
    }
    Bytes response(65535);
    std::uint32_t length = 0;
    if (peer->GetResponse(response.data(), 65535, &length) != 0) return false;
    response.resize(length);
    std::optional<Bytes> next = server.OnResponse(response);
    if (!next) return server.established();
    request = *next;
  }
  return false;
}

}  // namespace

// A buffer too small for the inner packet learns the size and loses nothing: the packet is
// handed over whole on the next call, and only then is the tunnel buffer emptied.
TEST_F(EapTlsPeerTest, InnerReadIntoASmallBufferKeepsTheData) {
  tls_testing::TunnelTestServer server(Certs().server, 21);
  OpenSslEapTlsPeer* peer = NewPeer(context_, 3600, "TTLS");
  ASSERT_TRUE(OpenTunnel(server, peer));
  Bytes inner(5000);
  for (std::size_t i = 0; i < inner.size(); ++i) inner[i] = static_cast<std::uint8_t>(i * 7);
  const Bytes request = server.Tunnel(inner);
  ASSERT_EQ(peer->ProcessRequest(request.data(), static_cast<std::uint32_t>(request.size())), 0);

  Bytes buffer(100);
  std::uint32_t length = 0;
  EXPECT_EQ(peer->ReadInnerEap(buffer.data(), 100, &length), EapTlsPeer::kInnerBufferTooSmall);
  EXPECT_EQ(length, 5000u);
  buffer.resize(length);
  ASSERT_EQ(peer->ReadInnerEap(buffer.data(), length, &length), 0);
  EXPECT_EQ(buffer, inner);
  EXPECT_EQ(peer->ReadInnerEap(buffer.data(), length, &length), 0);
  EXPECT_EQ(length, 0u);

  // Our packet goes back whole (TTLS).
  const Bytes reply = {1, 2, 3, 4, 5};
  ASSERT_EQ(peer->WriteInnerEap(reply.data(), 5), 0);
  Bytes response(65535);
  ASSERT_EQ(peer->GetResponse(response.data(), 65535, &length), 0);
  response.resize(length);
  EXPECT_EQ(server.Received(response), reply);
  peer->Release();
}
