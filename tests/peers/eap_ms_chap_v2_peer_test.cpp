// EAP-MS-CHAP-V2 through the EAP runner against hostapd's EAP server. The method is an inner
// one (PEAP and TTLS make it, the outer factory does not), so the runner here gets it from a
// factory of its own, as the tunnels' runners do; hostapd serves it as an outer method.
#include <string>
#include <vector>

#include "ksSupp/eap/eap_ms_chap_v2.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/ms_chap.h"
#include "ksSupp/eap_type_list.h"
#include "tests/peers/eap_session_responder.h"
#include "tests/peers/hostapd_fixture.h"

namespace peers {
namespace {

const std::vector<std::string> kUsers = {
    "\"msuser\" MSCHAPV2 \"ms secret\"",
    "\"EXAMPLE\\msdomain\" MSCHAPV2 \"p\xC3\xA4ss w\xC3\xB6rd\"",
};

class MsChapV2Session : public EapSession {
 public:
  MsChapV2Session(const EapTypeList* allowed, FakeEapMethodHost* host)
      : EapSession(allowed, host), host_(host) {}

  EapMethod* CreateMethod(std::uint32_t type) override {
    return type == 26 ? new EapMsChapV2(host_) : EapSession::CreateMethod(type);
  }

 private:
  FakeEapMethodHost* host_;
};

struct PeerCase {
  const char* name;
  std::string identity;
  std::string windowsUserName;
  std::string password;
  EapOutcome outcome;
  std::uint32_t completion;  // the runner's verdict after the server's last word
  std::uint8_t lastOpCode;   // of our last MS-CHAP-V2 packet: 3 acknowledges Success, 4 Failure
};

void PrintTo(const PeerCase& c, std::ostream* os) { *os << c.name; }

class EapMsChapV2PeerTest : public HostapdTest, public ::testing::WithParamInterface<PeerCase> {};

TEST_P(EapMsChapV2PeerTest, Authenticates) {
  const PeerCase& c = GetParam();
  StartHostapd({.eapUsers = kUsers});

  FakeEapMethodHost host;
  host.userName = c.identity;
  host.windowsUserName = c.windowsUserName;
  host.ntHash.emplace();
  ASSERT_TRUE(NtPasswordHashOfUtf8(c.password.c_str(), host.ntHash->data()));
  EapTypeList allowed;
  const std::uint32_t msChapV2 = 26;
  allowed.types.Append(&msChapV2, 1);
  MsChapV2Session session(&allowed, &host);
  EapSessionResponder responder(session);

  const EapTranscript transcript = Converse(c.identity, responder);
  ASSERT_EQ(transcript.outcome, c.outcome) << Describe(transcript);
  EXPECT_EQ(session.VerifyCompletion(), c.completion) << std::hex << session.status();
  EXPECT_STREQ(session.names(), "EAP-MS-CHAP-V2");
  ASSERT_GE(transcript.sent.size(), 3u) << Describe(transcript);
  EXPECT_EQ(
      transcript.sent.back(),
      (Bytes{2, transcript.received[transcript.received.size() - 2][1], 0, 6, 26, c.lastOpCode}))
      << Describe(transcript);
}

INSTANTIATE_TEST_SUITE_P(
    Hostapd, EapMsChapV2PeerTest,
    ::testing::Values(PeerCase{"RightPassword", "msuser", "msuser", "ms secret",
                               EapOutcome::kSuccess, 0, 3},
                      PeerCase{"WrongPassword", "msuser", "msuser", "ms secreT",
                               EapOutcome::kFailure, 0x0A00A000, 4},
                      // The Name carries the domain; the hashes use the user name without it, and
                      // the password's UTF-16 form.
                      PeerCase{"DomainUserWithUnicodePassword", "EXAMPLE\\msdomain", "msdomain",
                               "p\xC3\xA4ss w\xC3\xB6rd", EapOutcome::kSuccess, 0, 3}),
    [](const ::testing::TestParamInfo<PeerCase>& info) { return info.param.name; });

}  // namespace
}  // namespace peers
