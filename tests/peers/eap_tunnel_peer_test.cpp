// PEAP (versions 0 and 1) and TTLS with each inner protocol, through the EAP runner against
// hostapd's integrated EAP server: the outer identity is anonymous, the inner one the real
// user's; right credentials authenticate with the same 64-byte session key hostapd derives
// (logged with -K), wrong ones fail; a second conversation resumes the TLS session.
#include <string>
#include <vector>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/ms_chap.h"
#include "ksSupp/eap_type_list.h"
#include "tests/peers/eap_session_responder.h"
#include "tests/peers/hostapd_fixture.h"
#include "tests/peers/tls_peer_pki.h"

namespace peers {
namespace {

using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;

struct ServerPki {
  TestCertificate ca = MakeCertificate("Tunnel Test CA", {.isCa = true, .rsa = true, .rsaBits = 2048});
  TestCertificate server =
      MakeCertificate("hostapd.example", {.issuer = &ca, .serial = 2, .rsa = true, .rsaBits = 2048});
};

const ServerPki& Pki() {
  static const ServerPki* const pki = new ServerPki;
  return *pki;
}

constexpr char kPassword[] = "tunnel secret";

// One phase-2 user per inner protocol; the outer identity is "anonymous" for all.
const std::vector<std::string> kUsers = {
    "\"anonymous\" PEAP,TTLS",
    "\"peap-v0\" PEAP [ver=0]",
    "\"ms\" MSCHAPV2 \"tunnel secret\" [2]",
    "\"gtc\" GTC \"tunnel secret\" [2]",
    "\"md5\" MD5 \"tunnel secret\" [2]",
    "\"pap\" TTLS-PAP \"tunnel secret\" [2]",
    "\"chap\" TTLS-CHAP \"tunnel secret\" [2]",
    "\"mschap\" TTLS-MSCHAP \"tunnel secret\" [2]",
    "\"mschapv2\" TTLS-MSCHAPV2 \"tunnel secret\" [2]",
};

constexpr std::uint32_t kPeap = 25;
constexpr std::uint32_t kTtls = 21;

struct TunnelCase {
  const char* name;
  std::uint32_t outerType;
  std::uint32_t peapHighestVersion;  // PEAP: the highest version we accept
  std::uint32_t ttlsInner;           // TTLS: the inner protocol selector
  std::uint32_t innerType;           // the inner EAP type (PEAP, TTLS selector 6)
  std::string user;
  std::string password;
  EapOutcome outcome;
  const char* methodName;  // of the outer method when it succeeded
};

void PrintTo(const TunnelCase& c, std::ostream* os) { *os << c.name; }

class TunnelPeerTest : public HostapdTest {
 protected:
  void StartServer(std::vector<std::string> extra = {}) {
    std::vector<std::string> config = ServerCertificateConfig(dir(), Pki().ca, Pki().server);
    config.insert(config.end(), extra.begin(), extra.end());
    StartHostapd({.eapUsers = kUsers, .extraConfig = config, .logKeys = true});
    context_ = MakePlainClientContext();
    ASSERT_NE(context_, nullptr);
  }

  void TearDown() override {
    if (context_ != nullptr) context_->Release();
    HostapdTest::TearDown();
  }

  void Configure(FakeEapMethodHost& host, const TunnelCase& c) {
    host.userName = c.user;
    host.windowsUserName = c.user;
    host.password = c.password;
    host.hasIdentityPassword = true;
    host.ntHash.emplace();
    ASSERT_TRUE(NtPasswordHashOfUtf8(c.password.c_str(), host.ntHash->data()));
    host.tlsContext = context_;
    host.peapHighestVersion = c.peapHighestVersion;
    host.ttlsInnerProtocol = c.ttlsInner;
    host.peapTypes.types.Append(&c.innerType, 1);
    host.ttlsTypes.types.Append(&c.innerType, 1);
    host.peapTypes.sendPasswordInGtc = true;
    host.ttlsTypes.sendPasswordInGtc = true;
    allowed_.types.Append(&c.outerType, 1);
  }

  TlsContext* context_ = nullptr;
  EapTypeList allowed_;
};

class TunnelMethodTest : public TunnelPeerTest, public ::testing::WithParamInterface<TunnelCase> {};

TEST_P(TunnelMethodTest, Authenticates) {
  const TunnelCase& c = GetParam();
  StartServer();
  FakeEapMethodHost host;
  Configure(host, c);
  EapSession session(&allowed_, &host);
  EapSessionResponder responder(session);

  const EapTranscript transcript = Converse("anonymous", responder);
  ASSERT_EQ(transcript.outcome, c.outcome)
      << Describe(transcript) << std::hex << " status " << responder.lastStatus();
  EXPECT_EQ(host.chainsJudged, 1u);
  const std::string method = c.outerType == kPeap ? "EAP-PEAP" : "EAP-TTLS";
  if (c.outcome == EapOutcome::kSuccess) {
    EXPECT_EQ(session.VerifyCompletion(), 0u) << std::hex << session.status();
    EXPECT_STREQ(session.names(), c.methodName);
    std::uint8_t msk[kEapKeyBlockSize];
    ASSERT_TRUE(session.method()->GetKeys(msk));
    const Bytes logged = LoggedKey(hostapd().Log(), method + ": Derived key");
    ASSERT_EQ(logged.size(), 64u) << "hostapd logged no " << method << " key";
    EXPECT_EQ(Bytes(msk, msk + kEapKeyBlockSize), logged);
  } else {
    EXPECT_EQ(LoggedKey(hostapd().Log(), method + ": Derived key"), Bytes{});
  }
}

// 4 MD5-Challenge, 6 Generic Token Card, 26 EAP-MS-CHAP-V2.
INSTANTIATE_TEST_SUITE_P(
    Hostapd, TunnelMethodTest,
    ::testing::Values(
        TunnelCase{"PeapV0MsChapV2", kPeap, 0, 0, 26, "ms", kPassword, EapOutcome::kSuccess,
                   "EAP-PEAP/v0 [EAP-MS-CHAP-V2]"},
        TunnelCase{"PeapV1MsChapV2", kPeap, 1, 0, 26, "ms", kPassword, EapOutcome::kSuccess,
                   "EAP-PEAP/v1 [EAP-MS-CHAP-V2]"},
        TunnelCase{"PeapV0MsChapV2WrongPassword", kPeap, 0, 0, 26, "ms", "wrong",
                   EapOutcome::kFailure, nullptr},
        // hostapd ends PEAPv1 with an inner EAP-Failure and no Result TLV: we give up.
        TunnelCase{"PeapV1MsChapV2WrongPassword", kPeap, 1, 0, 26, "ms", "wrong",
                   EapOutcome::kGaveUp, nullptr},
        TunnelCase{"PeapV0Gtc", kPeap, 0, 0, 6, "gtc", kPassword, EapOutcome::kSuccess,
                   "EAP-PEAP/v0 [EAP-TokenCard]"},
        TunnelCase{"PeapV1Gtc", kPeap, 1, 0, 6, "gtc", kPassword, EapOutcome::kSuccess,
                   "EAP-PEAP/v1 [EAP-TokenCard]"},
        TunnelCase{"PeapV0Md5", kPeap, 0, 0, 4, "md5", kPassword, EapOutcome::kSuccess,
                   "EAP-PEAP/v0 [EAP-MD5Challenge]"},
        TunnelCase{"PeapV1Md5WrongPassword", kPeap, 1, 0, 4, "md5", "wrong", EapOutcome::kGaveUp,
                   nullptr},
        TunnelCase{"TtlsPap", kTtls, 1, 1, 0, "pap", kPassword, EapOutcome::kSuccess,
                   "EAP-TTLS [PAP]"},
        TunnelCase{"TtlsPapWrongPassword", kTtls, 1, 1, 0, "pap", "wrong", EapOutcome::kFailure,
                   nullptr},
        TunnelCase{"TtlsChap", kTtls, 1, 2, 0, "chap", kPassword, EapOutcome::kSuccess,
                   "EAP-TTLS [CHAP]"},
        TunnelCase{"TtlsChapWrongPassword", kTtls, 1, 2, 0, "chap", "wrong", EapOutcome::kFailure,
                   nullptr},
        TunnelCase{"TtlsMsChap", kTtls, 1, 3, 0, "mschap", kPassword, EapOutcome::kSuccess,
                   "EAP-TTLS [MS-CHAP]"},
        TunnelCase{"TtlsMsChapWrongPassword", kTtls, 1, 3, 0, "mschap", "wrong",
                   EapOutcome::kFailure, nullptr},
        TunnelCase{"TtlsMsChapV2", kTtls, 1, 4, 0, "mschapv2", kPassword, EapOutcome::kSuccess,
                   "EAP-TTLS [MS-CHAP-V2]"},
        // hostapd's MS-CHAP-Error holds "Failed", not the RFC 2759 text: we give up.
        TunnelCase{"TtlsMsChapV2WrongPassword", kTtls, 1, 4, 0, "mschapv2", "wrong",
                   EapOutcome::kGaveUp, nullptr},
        TunnelCase{"TtlsEapMd5", kTtls, 1, 6, 4, "md5", kPassword, EapOutcome::kSuccess,
                   "EAP-TTLS [EAP-MD5Challenge]"},
        TunnelCase{"TtlsEapMsChapV2", kTtls, 1, 6, 26, "ms", kPassword, EapOutcome::kSuccess,
                   "EAP-TTLS [EAP-MS-CHAP-V2]"},
        TunnelCase{"TtlsEapGtc", kTtls, 1, 6, 6, "gtc", kPassword, EapOutcome::kSuccess,
                   "EAP-TTLS [EAP-TokenCard]"},
        TunnelCase{"TtlsEapMsChapV2WrongPassword", kTtls, 1, 6, 26, "ms", "wrong",
                   EapOutcome::kFailure, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// The RFC 2409 1024-bit MODP group as hostapd's DH parameters: too small for us.
constexpr char kWeakDhParameters[] =
    "-----BEGIN DH PARAMETERS-----\n"
    "MIGHAoGBAP//////////yQ/aoiFowjTExmKLgNwc0SkCTgiKZ8x0Agu+pjsTmyJR\n"
    "Sgh5jjQE3e+VGbPNOkMbMCsKbfJfFDdP4TVtbVHCReSFtXZiXn7G9ExC6aY37WsL\n"
    "/1y29Aa37e44a/taiZ+lrp8kEXxLH+ZJKGZR7OZTgf//////////AgEC\n"
    "-----END DH PARAMETERS-----\n";

struct StrengthCase {
  const char* name;
  std::vector<std::string> config;  // hostapd.conf lines
  std::size_t serverKeyBits;
  bool accepted;
  std::uint16_t suite;  // negotiated, when accepted (0: not checked)
};

void PrintTo(const StrengthCase& c, std::ostream* os) { *os << c.name; }

class TlsStrengthTest : public TunnelPeerTest, public ::testing::WithParamInterface<StrengthCase> {};

// A server that follows our order of suites (hostapd as it comes) and a hardened one (ECDHE
// with AES-GCM only) both agree on TLS 1.2 with forward secrecy; a server that offers only
// an old suite, and TLS 1.0 with the legacy suites, stay reachable; servers with RSA or DH
// keys below 2048 bits are refused at any version, with our alert.
TEST_P(TlsStrengthTest, PeapV0) {
  const StrengthCase& c = GetParam();
  const TestCertificate server = MakeCertificate(
      "hostapd.example", {.issuer = &Pki().ca, .serial = 7, .rsa = true, .rsaBits = c.serverKeyBits});
  std::vector<std::string> config = ServerCertificateConfig(dir(), Pki().ca, server);
  for (const std::string& line : c.config) {
    config.push_back(line == "dh_file" ? "dh_file=" + dir().Write("dh.pem", kWeakDhParameters)
                                       : line);
  }
  // The servers we refuse hold keys that hostapd loads only at security level 0; the others
  // run with hostapd's own settings.
  StartHostapd({.eapUsers = kUsers, .extraConfig = config, .logKeys = true, .securityLevelZero = !c.accepted});
  context_ = MakePlainClientContext();
  ASSERT_NE(context_, nullptr);
  FakeEapMethodHost host;
  Configure(host, {"PeapV0", kPeap, 0, 0, 26, "ms", kPassword, EapOutcome::kSuccess, nullptr});
  EapSession session(&allowed_, &host);
  EapSessionResponder responder(session);
  const EapTranscript transcript = Converse("anonymous", responder);
  if (c.accepted) {
    ASSERT_EQ(transcript.outcome, EapOutcome::kSuccess)
        << Describe(transcript) << std::hex << " status " << responder.lastStatus();
    std::uint16_t suite = 0;
    ASSERT_TRUE(session.method()->GetCipherSuite(&suite));
    if (c.suite != 0) {
      EXPECT_EQ(suite, c.suite) << std::hex << suite;
    }
    std::uint8_t msk[kEapKeyBlockSize];
    ASSERT_TRUE(session.method()->GetKeys(msk));
    EXPECT_EQ(Bytes(msk, msk + kEapKeyBlockSize), LoggedKey(hostapd().Log(), "EAP-PEAP: Derived key"));
  } else {
    EXPECT_EQ(transcript.outcome, EapOutcome::kGaveUp) << Describe(transcript);
    // We sent the fatal alert: bad_certificate (42) for the certificate key,
    // handshake_failure (40) for the DH key.
    EXPECT_EQ(responder.lastStatus() & 0xFFFFFF00u, kEapBasePeap | 0xB200u)
        << std::hex << responder.lastStatus();
    // A weak certificate key is refused before the chain is judged; the DH key comes later.
    EXPECT_EQ(host.chainsJudged, c.serverKeyBits >= 2048 ? 1u : 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Hostapd, TlsStrengthTest,
    ::testing::Values(
        StrengthCase{"DefaultServer", {}, 2048, true, 0xC02F},
        StrengthCase{"ServerWithAnOldSuiteOnly", {"openssl_ciphers=AES256-SHA"}, 2048, true, 0x35},
        StrengthCase{"HardenedServer",
                     {"openssl_ciphers=ECDHE-RSA-AES128-GCM-SHA256:ECDHE-RSA-AES256-GCM-SHA384",
                      "tls_flags=[DISABLE-TLSv1.0][DISABLE-TLSv1.1]"},
                     2048, true, 0xC02F},
        StrengthCase{"Tls10LegacySuites",
                     {"tls_flags=[ENABLE-TLSv1.0][DISABLE-TLSv1.1][DISABLE-TLSv1.2][DISABLE-TLSv1.3]",
                      "openssl_ciphers=DEFAULT@SECLEVEL=0"},
                     2048, true, 0},
        StrengthCase{"Rsa1024Tls12", {"openssl_ciphers=DEFAULT@SECLEVEL=0"}, 1024, false, 0},
        StrengthCase{"Rsa1024Tls10",
                     {"tls_flags=[ENABLE-TLSv1.0][DISABLE-TLSv1.1][DISABLE-TLSv1.2][DISABLE-TLSv1.3]",
                      "openssl_ciphers=DEFAULT@SECLEVEL=0"},
                     1024, false, 0},
        StrengthCase{"Rsa768", {"openssl_ciphers=DEFAULT@SECLEVEL=0"}, 768, false, 0},
        StrengthCase{"Dh1024", {"openssl_ciphers=DHE-RSA-AES128-SHA:@SECLEVEL=0", "dh_file"}, 2048,
                     false, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct ResumeCase {
  TunnelCase method;
  const char* resumedName;  // of the outer method in the second conversation
};

void PrintTo(const ResumeCase& c, std::ostream* os) { *os << c.method.name; }

class TunnelResumptionTest : public TunnelPeerTest,
                             public ::testing::WithParamInterface<ResumeCase> {};

// The second conversation resumes the first one's TLS session (hostapd keeps it for
// tls_session_lifetime) and still derives hostapd's key.
TEST_P(TunnelResumptionTest, ResumesTheSession) {
  const ResumeCase& c = GetParam();
  StartServer({"tls_session_lifetime=3600"});
  const std::string method = c.method.outerType == kPeap ? "EAP-PEAP" : "EAP-TTLS";
  for (int round = 0; round < 2; ++round) {
    FakeEapMethodHost host;
    allowed_.types.Clear();
    Configure(host, c.method);
    EapSession session(&allowed_, &host);
    EapSessionResponder responder(session);
    const EapTranscript transcript = Converse("anonymous", responder);
    ASSERT_EQ(transcript.outcome, EapOutcome::kSuccess)
        << "round " << round << "\n" << Describe(transcript) << std::hex << " status "
        << responder.lastStatus();
    ASSERT_EQ(session.VerifyCompletion(), 0u) << std::hex << session.status();
    EXPECT_STREQ(session.names(), round == 0 ? c.method.methodName : c.resumedName);
    std::uint8_t msk[kEapKeyBlockSize];
    ASSERT_TRUE(session.method()->GetKeys(msk));
    EXPECT_EQ(Bytes(msk, msk + kEapKeyBlockSize), LoggedKey(hostapd().Log(), method + ": Derived key"));
    session.method()->SetAuthenticationResult(true);  // keeps the session, as the PAE does
  }
}

INSTANTIATE_TEST_SUITE_P(
    Hostapd, TunnelResumptionTest,
    ::testing::Values(
        ResumeCase{{"PeapV0", kPeap, 0, 0, 26, "ms", kPassword, EapOutcome::kSuccess,
                    "EAP-PEAP/v0 [EAP-MS-CHAP-V2]"},
                   "EAP-PEAP/v0 [Resumed Session]"},
        ResumeCase{{"PeapV1", kPeap, 1, 0, 26, "ms", kPassword, EapOutcome::kSuccess,
                    "EAP-PEAP/v1 [EAP-MS-CHAP-V2]"},
                   "EAP-PEAP/v1 [Resumed Session]"},
        ResumeCase{{"TtlsPap", kTtls, 1, 1, 0, "pap", kPassword, EapOutcome::kSuccess,
                    "EAP-TTLS [PAP]"},
                   "EAP-TTLS [Resumed Session]"}),
    [](const auto& info) { return std::string(info.param.method.name); });

}  // namespace
}  // namespace peers
