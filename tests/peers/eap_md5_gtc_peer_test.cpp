// EAP-MD5-Challenge and Generic Token Card through the EAP runner against hostapd's EAP
// server, and the runner's Naks when the server proposes a type the identity does not allow.
#include <string>
#include <vector>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap_type_list.h"
#include "tests/peers/eap_session_responder.h"
#include "tests/peers/hostapd_fixture.h"

namespace peers {
namespace {

const std::vector<std::string> kUsers = {
    "\"md5user\" MD5 \"md5 secret\"", "\"gtcuser\" GTC \"token 4711\"",
    "\"both\" GTC,MD5 \"both secret\"",  // hostapd proposes GTC first
};

struct PeerCase {
  const char* name;
  std::string identity;
  std::vector<std::uint32_t> allowed;
  std::string password;     // stored, for MD5
  std::string typedAnswer;  // the user's answer to a GTC prompt
  EapOutcome outcome;
  // The runner's verdict after the server's last word. After EAP-Failure the PAE reports a
  // complete verdict as a rejection; the runner itself cannot know the password was wrong.
  std::uint32_t completion;
  const char* methodNames;
  std::vector<Bytes> naks;  // Naks we sent, in order
};

void PrintTo(const PeerCase& c, std::ostream* os) { *os << c.name; }

class EapPeerTest : public HostapdTest, public ::testing::WithParamInterface<PeerCase> {};

TEST_P(EapPeerTest, Authenticates) {
  const PeerCase& c = GetParam();
  StartHostapd({.eapUsers = kUsers});

  FakeEapMethodHost host;
  host.userName = c.identity;
  host.password = c.password;
  host.challengeAnswers = {c.typedAnswer};
  EapTypeList allowed;
  for (std::uint32_t type : c.allowed) allowed.types.Append(&type, 1);
  EapSession session(&allowed, &host);
  EapSessionResponder responder(session);

  const EapTranscript transcript = Converse(c.identity, responder);
  ASSERT_EQ(transcript.outcome, c.outcome) << Describe(transcript);
  // On EAP-Success and EAP-Failure alike the PAE asks the runner for its verdict.
  EXPECT_EQ(session.VerifyCompletion(), c.completion) << std::hex << session.status();
  EXPECT_STREQ(session.names(), c.methodNames);

  std::vector<Bytes> naks;
  for (const Bytes& sent : transcript.sent) {
    if (sent.size() == 6 && sent[4] == 3) naks.push_back(sent);
  }
  ASSERT_EQ(naks.size(), c.naks.size()) << Describe(transcript);
  for (size_t i = 0; i < naks.size(); ++i) {
    EXPECT_EQ(naks[i][5], c.naks[i][5]) << "proposal " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Hostapd, EapPeerTest,
    ::testing::Values(PeerCase{"Md5RightPassword",
                               "md5user",
                               {4},
                               "md5 secret",
                               "",
                               EapOutcome::kSuccess,
                               0,
                               "EAP-MD5Challenge",
                               {}},
                      PeerCase{"Md5WrongPassword",
                               "md5user",
                               {4},
                               "md5 secreT",
                               "",
                               EapOutcome::kFailure,
                               0,
                               "EAP-MD5Challenge",
                               {}},
                      PeerCase{"GtcRightAnswer",
                               "gtcuser",
                               {6},
                               "",
                               "token 4711",
                               EapOutcome::kSuccess,
                               0,
                               "EAP-TokenCard",
                               {}},
                      PeerCase{"GtcWrongAnswer",
                               "gtcuser",
                               {6},
                               "",
                               "token 4712",
                               EapOutcome::kFailure,
                               0,
                               "EAP-TokenCard",
                               {}},
                      // GTC is proposed but not allowed: the Nak proposes our first type, MD5, and
                      // the server switches to it.
                      PeerCase{"NakLeadsToAllowedMethod",
                               "both",
                               {4, 21},
                               "both secret",
                               "",
                               EapOutcome::kSuccess,
                               0,
                               "EAP-MD5Challenge",
                               {{2, 0, 0, 6, 3, 4}}},
                      // Our first allowed type is one the server does not offer this user: it gives
                      // up after the Nak, and no method ever ran.
                      PeerCase{"NakTheServerCannotTake",
                               "both",
                               {21, 4},
                               "both secret",
                               "",
                               EapOutcome::kFailure,
                               kEapSessionNoMethodRun,
                               "",
                               {{2, 0, 0, 6, 3, 21}}}),
    [](const ::testing::TestParamInfo<PeerCase>& info) { return info.param.name; });

TEST_F(EapPeerTest, GtcShowsTheServersPromptToTheUser) {
  StartHostapd({.eapUsers = kUsers});
  FakeEapMethodHost host;
  host.challengeAnswers = {"token 4711"};
  EapTypeList allowed;
  std::uint32_t gtc = 6;
  allowed.types.Append(&gtc, 1);
  EapSession session(&allowed, &host);
  EapSessionResponder responder(session);

  const EapTranscript transcript = Converse("gtcuser", responder);
  ASSERT_EQ(transcript.outcome, EapOutcome::kSuccess) << Describe(transcript);
  ASSERT_EQ(host.challengesShown.size(), 1u);
  EXPECT_EQ(host.challengesShown[0], "Password");
}

}  // namespace
}  // namespace peers
