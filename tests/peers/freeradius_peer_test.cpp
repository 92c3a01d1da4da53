// EAP-TLS, PEAPv0 and TTLS through hostapd to FreeRADIUS 3 as the authentication server: right and
// wrong passwords, and the session key equal to the MS-MPPE keys FreeRADIUS hands hostapd
// (hostapd logs them with -K).
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/ms_chap.h"
#include "ksSupp/eap_type_list.h"
#include "tests/peers/eap_session_responder.h"
#include "tests/peers/freeradius_peer.h"
#include "tests/peers/hostapd_fixture.h"
#include "tests/peers/radius_pki.h"
#include "tests/peers/tls_peer_pki.h"

namespace peers {
namespace {


const RadiusPki& Pki() { return RadiusPki::Get(); }

constexpr char kPassword[] = "radius secret";

// The 64-byte key hostapd received from the server (MS-MPPE-Recv-Key, then Send-Key), or
// empty.
Bytes ReceivedKey(const std::string& log) {
  Bytes key;
  for (const char* name : {"MS-MPPE-Recv-Key", "MS-MPPE-Send-Key"}) {
    const std::regex line(std::string(name) + R"( - hexdump\(len=32\):((?: [0-9a-f]{2}){32}))");
    std::smatch match;
    if (!std::regex_search(log, match, line)) return {};
    const std::string hex = match[1];
    for (std::size_t i = 1; i + 1 < hex.size(); i += 3) {
      key.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
  }
  return key;
}

struct RadiusCase {
  const char* name;
  std::uint32_t outerType;
  std::uint32_t ttlsInner;  // TTLS selector
  std::uint32_t innerType;  // inner EAP type
  std::string password;
  EapOutcome outcome;
};

void PrintTo(const RadiusCase& c, std::ostream* os) { *os << c.name; }

class FreeRadiusTest : public HostapdTest, public ::testing::WithParamInterface<RadiusCase> {
 protected:
  void TearDown() override {
    if (HasFailure() && radius_) radius_->PrintLogEnd();
    HostapdTest::TearDown();
  }
  std::optional<FreeRadiusPeer> radius_;
};

constexpr std::uint32_t kTls = 13;
constexpr std::uint32_t kPeap = 25;
constexpr std::uint32_t kTtls = 21;

TEST_P(FreeRadiusTest, Authenticates) {
  const RadiusCase& c = GetParam();
  radius_.emplace(space(), dir(),
                  FreeRadiusOptions{{"alice Cleartext-Password := \"radius secret\""},
                                    Pem(Pki().ca, false), Pem(Pki().server, false),
                                    Pem(Pki().server, true)});
  StartHostapd({.extraConfig = FreeRadiusPeer::HostapdConfig(), .logKeys = true});
  TlsContext* context = MakePlainClientContext();
  FakeEapMethodHost host;
  ConfigureAlice(c.outerType, c.password, context, host);
  if (HasFatalFailure()) return;
  host.ttlsInnerProtocol = c.ttlsInner;
  host.peapTypes.types.Append(&c.innerType, 1);
  host.ttlsTypes.types.Append(&c.innerType, 1);
  EapTypeList allowed;
  allowed.types.Append(&c.outerType, 1);
  EapSession session(&allowed, &host);
  EapSessionResponder responder(session);

  const EapTranscript transcript = Converse("anonymous", responder);
  EXPECT_EQ(transcript.outcome, c.outcome)
      << Describe(transcript) << std::hex << " status " << responder.lastStatus();
  if (c.outcome == EapOutcome::kSuccess && transcript.outcome == c.outcome) {
    EXPECT_EQ(session.VerifyCompletion(), 0u) << std::hex << session.status();
    std::uint8_t msk[kEapKeyBlockSize];
    ASSERT_TRUE(session.method()->GetKeys(msk));
    const Bytes received = ReceivedKey(hostapd().Log());
    ASSERT_EQ(received.size(), 64u) << "hostapd logged no MS-MPPE keys";
    EXPECT_EQ(Bytes(msk, msk + kEapKeyBlockSize), received);
  }
  context->Release();
}

INSTANTIATE_TEST_SUITE_P(
    FreeRadius, FreeRadiusTest,
    ::testing::Values(
        RadiusCase{"EapTls", kTls, 0, 0, kPassword, EapOutcome::kSuccess},
        RadiusCase{"PeapV0MsChapV2", kPeap, 0, 26, kPassword, EapOutcome::kSuccess},
        RadiusCase{"PeapV0MsChapV2WrongPassword", kPeap, 0, 26, "wrong", EapOutcome::kFailure},
        RadiusCase{"TtlsPap", kTtls, 1, 0, kPassword, EapOutcome::kSuccess},
        RadiusCase{"TtlsPapWrongPassword", kTtls, 1, 0, "wrong", EapOutcome::kFailure},
        RadiusCase{"TtlsChap", kTtls, 2, 0, kPassword, EapOutcome::kSuccess},
        RadiusCase{"TtlsMsChap", kTtls, 3, 0, kPassword, EapOutcome::kSuccess},
        RadiusCase{"TtlsMsChapV2", kTtls, 4, 0, kPassword, EapOutcome::kSuccess},
        RadiusCase{"TtlsEapMd5", kTtls, 6, 4, kPassword, EapOutcome::kSuccess},
        RadiusCase{"TtlsEapMsChapV2", kTtls, 6, 26, kPassword, EapOutcome::kSuccess}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace peers
