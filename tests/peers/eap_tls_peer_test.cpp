// EAP-TLS through the EAP runner against hostapd's own EAP-TLS server, with certificates
// made here: a good client certificate authenticates and both sides derive the same 64-byte
// key (hostapd logs its own with -K); our refusal of the server's chain, and hostapd's
// refusal of a client certificate from an issuer it does not trust, both fail. TLS 1.2 and
// TLS 1.0 sessions derive their keys with different PRFs; both must match hostapd's.
#include <string>
#include <vector>

#include "ksLib_OSSL/tls_context.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap_type_list.h"
#include "platform/cryptoapi/test_certificates.h"
#include "tests/peers/eap_session_responder.h"
#include "tests/peers/hostapd_fixture.h"
#include "tests/peers/tls_peer_pki.h"

namespace peers {
namespace {

using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;

struct Certificates {
  TestCertificate ca = MakeCertificate("Peer Test CA", {.isCa = true, .rsa = true, .rsaBits = 2048});
  TestCertificate server = MakeCertificate("hostapd.example", {.issuer = &ca, .serial = 2, .rsa = true, .rsaBits = 2048});
  TestCertificate client = MakeCertificate("alice", {.issuer = &ca, .serial = 3, .rsa = true, .rsaBits = 2048});
  TestCertificate strangerCa = MakeCertificate("Stranger CA", {.isCa = true, .serial = 4, .rsa = true, .rsaBits = 2048});
  TestCertificate stranger = MakeCertificate("alice", {.issuer = &strangerCa, .serial = 5, .rsa = true, .rsaBits = 2048});
};

struct PeerCase {
  const char* name;
  bool strangerCertificate;  // a client certificate hostapd does not trust
  ChainVerdict ourVerdict;   // what our host says of hostapd's chain
  std::vector<std::string> tlsConfig;
  EapOutcome outcome;
  std::uint32_t lastStatus;  // the runner's status for the last request
  std::uint16_t version;     // the protocol version of the server's ServerHello
};

// The version in the ServerHello that opens the server's first EAP-TLS message (EAP header,
// flags, total length, record header, handshake header, then the version).
std::uint16_t ServerHelloVersion(const EapTranscript& transcript) {
  for (const Bytes& packet : transcript.received) {
    if (packet.size() > 20 && packet[4] == 13 && (packet[5] & 0x80) != 0 && packet[10] == 0x16 &&
        packet[15] == 0x02) {
      return static_cast<std::uint16_t>(packet[19] << 8 | packet[20]);
    }
  }
  return 0;
}

void PrintTo(const PeerCase& c, std::ostream* os) { *os << c.name; }

class EapTlsPeerTest : public HostapdTest, public ::testing::WithParamInterface<PeerCase> {};

TEST_P(EapTlsPeerTest, Authenticates) {
  const PeerCase& c = GetParam();
  static const Certificates* const certs = new Certificates;
  std::vector<std::string> config = ServerCertificateConfig(dir(), certs->ca, certs->server);
  config.insert(config.end(), c.tlsConfig.begin(), c.tlsConfig.end());
  StartHostapd({.eapUsers = {"\"alice\" TLS"}, .extraConfig = config, .logKeys = true});

  // The identity's TLS context with the client certificate, its issuer and its key.
  const TestCertificate& client = c.strangerCertificate ? certs->stranger : certs->client;
  const TestCertificate& issuer = c.strangerCertificate ? certs->strangerCa : certs->ca;
  TlsConfig* tlsConfig = nullptr;
  ASSERT_EQ(TlsConfig::Create(&tlsConfig), 0);
  TlsContext* context = nullptr;
  ASSERT_EQ(TlsContext::Create(tlsConfig, &context), 0);
  tlsConfig->Release();
  ASSERT_EQ(context->UseCertificateDer(TlsContext::kDer, client.der.data(),
                                       static_cast<std::uint32_t>(client.der.size())),
            0);
  ASSERT_EQ(context->AddChainCertificateDer(TlsContext::kDer, issuer.der.data(),
                                            static_cast<std::uint32_t>(issuer.der.size())),
            0);
  const Bytes key = client.Pkcs8();
  ASSERT_EQ(context->UsePrivateKeyDer(key.data(), static_cast<std::uint32_t>(key.size())), 0);
  ASSERT_EQ(context->SetVerifyPeer(true), 0);
  ASSERT_EQ(context->ApplyConfiguration(), 0);

  FakeEapMethodHost host;
  host.userName = "alice";
  host.tlsContext = context;
  host.chainVerdict = c.ourVerdict;
  EapTypeList allowed;
  const std::uint32_t tls = 13;
  allowed.types.Append(&tls, 1);
  EapSession session(&allowed, &host);
  EapSessionResponder responder(session);

  const EapTranscript transcript = Converse("alice", responder);
  EXPECT_EQ(transcript.outcome, c.outcome) << Describe(transcript);
  EXPECT_EQ(responder.lastStatus(), c.lastStatus) << std::hex << responder.lastStatus();
  EXPECT_EQ(host.chainsJudged, 1u);
  EXPECT_EQ(ServerHelloVersion(transcript), c.version) << Describe(transcript);
  if (c.outcome == EapOutcome::kSuccess) {
    EXPECT_EQ(session.VerifyCompletion(), 0u);
    EXPECT_EQ(session.status(), kEapComplete);
    std::uint8_t msk[kEapKeyBlockSize];
    ASSERT_TRUE(session.method()->GetKeys(msk));
    const Bytes logged = LoggedKey(hostapd().Log(), "EAP-TLS: Derived key");
    ASSERT_EQ(logged.size(), 64u) << "hostapd logged no EAP-TLS key";
    EXPECT_EQ(Bytes(msk, msk + kEapKeyBlockSize), logged);
  } else {
    EXPECT_EQ(LoggedKey(hostapd().Log(), "EAP-TLS: Derived key"), Bytes{});
  }
  context->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Hostapd, EapTlsPeerTest,
    ::testing::Values(
        PeerCase{"TrustedBothWays", false, 0, {}, EapOutcome::kSuccess, 0, 0x0303},
        PeerCase{"Tls10",
                 false,
                 0,
                 {"tls_flags=[ENABLE-TLSv1.0][DISABLE-TLSv1.1][DISABLE-TLSv1.2][DISABLE-TLSv1.3]",
                  "openssl_ciphers=DEFAULT@SECLEVEL=0"},
                 EapOutcome::kSuccess,
                 0,
                 0x0301},
        PeerCase{"WeRefuseTheServer", false, 6, {}, EapOutcome::kGaveUp, 0x0200B22A, 0x0303},
        // hostapd ends with EAP-Failure, without a TLS alert.
        PeerCase{"ServerRefusesTheClient", true, 0, {}, EapOutcome::kFailure, 0, 0x0303}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace peers
