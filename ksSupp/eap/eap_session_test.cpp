#include "ksSupp/eap/eap_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/scripted_eap_method.h"
#include "ksSupp/eap_type_list.h"
#include "ksSupp/trace.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Req(std::uint8_t identifier, std::uint8_t type,
          std::initializer_list<std::uint8_t> data = {}) {
  Bytes packet(5 + data.size());
  packet[0] = 1;
  packet[1] = identifier;
  packet[3] = static_cast<std::uint8_t>(packet.size());
  packet[4] = type;
  std::copy(data.begin(), data.end(), packet.begin() + 5);
  return packet;
}
Bytes Nak(std::uint8_t identifier, std::uint8_t proposed) {
  return {2, identifier, 0, 6, 3, proposed};
}
Bytes NotificationAnswer(std::uint8_t identifier) { return {2, identifier, 0, 5, 2}; }

// What each scripted method answers, so a response shows which method produced it.
const Bytes kR4 = {2, 0x55, 0, 6, 4, 0x44};
const Bytes kR6 = {2, 0x55, 0, 6, 6, 0x66};
const Bytes kR25 = {2, 0x55, 0, 6, 25, 0x25};

std::map<std::uint32_t, EapMethodScript> Scripts() {
  std::map<std::uint32_t, EapMethodScript> s;
  s[4] = {.response = kR4, .name = "M4"};
  s[6] = {.response = kR6, .completion = 0x09004000, .name = "M6"};
  s[25] = {.response = kR25, .wantsAllEapPackets = true, .name = "M25"};
  s[13] = {.initializeResult = 0x6000};
  s[21] = {.initializeResult = 0x02006000};
  s[17] = {.receiveResult = 0x0C008000, .name = "M17"};
  s[26] = {.response = Bytes(30, 0x26)};
  s[18] = {.completion = 0, .name = "M18"};  // neither complete nor failed
  return s;
}

// A runner whose factory makes scripted methods (none for types without a script).
class ScriptedSession : public EapSession {
 public:
  using EapSession::EapSession;
  std::vector<std::uint32_t> created;
  unsigned* destroyed = nullptr;  // counts the scripted methods deleted

  EapMethod* CreateMethod(std::uint32_t type) override {
    created.push_back(type);
    const auto scripts = Scripts();
    auto it = scripts.find(type);
    return it == scripts.end() ? nullptr : new ScriptedEapMethod(it->second, destroyed);
  }
};

EapTypeList Allow(std::initializer_list<std::uint32_t> types) {
  EapTypeList list;
  for (std::uint32_t type : types) list.types.Append(&type, 1);
  return list;
}

// One packet through the runner (an empty one: the completion check); the response into
// *response when given.
std::uint32_t Process(EapSession& session, const Bytes& packet, Bytes* response = nullptr,
                      std::uint32_t bufferSize = 1400) {
  Bytes buffer(bufferSize, 0xEE);
  std::uint32_t length = 0xDEAD;
  const std::uint32_t status = session.ProcessRequest(packet.empty() ? nullptr : packet.data(),
                                                      static_cast<std::uint32_t>(packet.size()),
                                                      buffer.data(), bufferSize, &length);
  EXPECT_LE(length, bufferSize);
  if (response != nullptr)
    response->assign(buffer.begin(), buffer.begin() + std::min(length, bufferSize));
  return status;
}

constexpr std::uint32_t kOk = 0;

struct Step {
  Bytes packet;  // empty: the completion check (a null packet)
  std::uint32_t status;
  Bytes response = {};
  std::uint32_t bufferSize = 1400;
};

struct SessionCase {
  const char* what;
  std::vector<std::uint32_t> allowed;
  std::vector<Step> steps;
  EapSession::State finalState;
  std::vector<std::uint32_t> created = {};
  const char* names = "";
  std::vector<std::string> notifications = {};
};

void PrintTo(const SessionCase& c, std::ostream* os) { *os << c.what; }

class EapSessionRulesTest : public ::testing::TestWithParam<SessionCase> {};

TEST_P(EapSessionRulesTest, Conversation) {
  const SessionCase& c = GetParam();
  FakeEapMethodHost host;
  host.userName = "user";
  EapTypeList allowed;
  for (std::uint32_t t : c.allowed) allowed.types.Append(&t, 1);
  ScriptedSession session(&allowed, &host);

  for (size_t i = 0; i < c.steps.size(); ++i) {
    const Step& step = c.steps[i];
    Bytes response;
    const std::uint32_t status = Process(session, step.packet, &response, step.bufferSize);
    EXPECT_EQ(status, step.status) << "step " << i << std::hex << " got 0x" << status;
    EXPECT_EQ(response, step.response) << "step " << i;
  }
  EXPECT_EQ(session.state(), c.finalState);
  EXPECT_EQ(session.created, c.created);
  EXPECT_STREQ(session.names(), c.names);
  EXPECT_EQ(host.notifications, c.notifications);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, EapSessionRulesTest,
    ::testing::Values(
        // Naks: each allowed type proposed once, in order; then the runner gives up.
        SessionCase{"naks propose the allowed types in order, then give up",
                    {13, 25},
                    {{Req(1, 4), kOk, Nak(1, 13)},
                     {Req(2, 4), kOk, Nak(2, 25)},
                     {Req(3, 4), 0x0700D000},
                     {{}, 0x0700D000}},
                    EapSession::kFailed},
        SessionCase{"an empty list gives up at the first request",
                    {},
                    {{Req(1, 6), 0x0700D000}},
                    EapSession::kFailed},
        SessionCase{"the server takes the proposal",
                    {4},
                    {{Req(7, 6), kOk, Nak(7, 4)}, {Req(8, 4), kOk, kR4}, {{}, kOk}},
                    EapSession::kSucceeded,
                    {4},
                    "M4"},
        SessionCase{"a nak needs six bytes of buffer",
                    {13},
                    {{Req(1, 4), 0x07007000, {}, 5}},
                    EapSession::kFailed},
        // Notification and Identity: answered by the runner, nothing else changes.
        SessionCase{"notifications are answered and leave the method running",
                    {4},
                    {{Req(1, 2, {'h', 'i'}), kOk, NotificationAnswer(1)},
                     {Req(2, 4), kOk, kR4},
                     {Req(3, 2), kOk, NotificationAnswer(3)},
                     {Req(4, 4), kOk, kR4},
                     {{}, kOk}},
                    EapSession::kSucceeded,
                    {4},
                    "M4",
                    {"hi"}},
        SessionCase{"a notification needs five bytes of buffer",
                    {4},
                    {{Req(1, 2), 0x07007000, {}, 4}},
                    EapSession::kFailed},
        SessionCase{
            "identity is answered with the user name, naks unaffected",
            {13, 25},
            {{Req(5, 1), kOk, {2, 5, 0, 9, 1, 'u', 's', 'e', 'r'}}, {Req(6, 4), kOk, Nak(6, 13)}},
            EapSession::kChoosing},
        // Codes other than Request.
        SessionCase{
            "success before any method", {4}, {{{3, 1, 0, 4}, 0x07008000}}, EapSession::kFailed},
        SessionCase{"unknown code", {4}, {{{9, 1, 0, 4}, 0x07008000}}, EapSession::kFailed},
        SessionCase{"success to a method that takes requests only",
                    {4},
                    {{Req(1, 4), kOk, kR4}, {{3, 2, 0, 4}, 0x07008000}},
                    EapSession::kFailed,
                    {4}},
        SessionCase{"a method that wants all packets gets success and responses",
                    {25},
                    {{Req(1, 25), kOk, kR25},
                     {{3, 2, 0, 4}, kOk, kR25},
                     {{2, 3, 0, 5, 25}, kOk, kR25},
                     {{}, kOk}},
                    EapSession::kSucceeded,
                    {25},
                    "M25"},
        // Switching methods.
        SessionCase{"another allowed type replaces the running method",
                    {4, 6},
                    {{Req(1, 4), kOk, kR4}, {Req(2, 6), kOk, kR6}, {{}, 0x09004000}},
                    EapSession::kFailed,
                    {4, 6},
                    "M6"},
        SessionCase{"EAP-TLV stays with the running method",
                    {25},
                    {{Req(1, 25), kOk, kR25}, {Req(2, 33), kOk, kR25}},
                    EapSession::kRunning,
                    {25}},
        // Status words.
        SessionCase{"initialize failure gets the runner's base",
                    {13},
                    {{Req(1, 13), 0x07006000}, {Req(2, 13), 0x07006000}},
                    EapSession::kFailed,
                    {13}},
        SessionCase{"initialize failure keeps its own base",
                    {21},
                    {{Req(1, 21), 0x02006000}},
                    EapSession::kFailed,
                    {21}},
        SessionCase{
            "no method from the factory", {5}, {{Req(1, 5), 0x07007000}}, EapSession::kFailed, {5}},
        SessionCase{"a method's failure passes unchanged and is final",
                    {17},
                    {{Req(1, 17), 0x0C008000}, {Req(2, 17), 0x0C008000}, {{}, 0x0C008000}},
                    EapSession::kFailed,
                    {17}},
        SessionCase{"a method's response larger than the buffer",
                    {26},
                    {{Req(1, 26), 0x0E007000, {}, 10}},
                    EapSession::kFailed,
                    {26}},
        // Malformed packets.
        SessionCase{"three bytes", {4}, {{{1, 2, 0}, 0x07005000}}, EapSession::kFailed},
        SessionCase{
            "request without a type byte", {4}, {{{1, 2, 0, 4}, 0x07005000}}, EapSession::kFailed},
        SessionCase{"length beyond the bytes",
                    {4},
                    {{{1, 2, 0xFF, 0xFF, 4}, 0x07005000}},
                    EapSession::kFailed},
        // Completion.
        SessionCase{"completion before any method", {4}, {{{}, 0x07004000}}, EapSession::kFailed},
        SessionCase{"a packet after success",
                    {4},
                    {{Req(1, 4), kOk, kR4},
                     {{}, kOk},
                     {{}, kOk},
                     {Req(2, 4), 0x07008000},
                     {{}, 0x07008000}},
                    EapSession::kFailed,
                    {4},
                    "M4"},
        SessionCase{"a method that reports nothing has not completed",
                    {18},
                    {{Req(1, 18), kOk}, {{}, 0x07004000}},
                    EapSession::kFailed,
                    {18},
                    "M18"}),
    [](const ::testing::TestParamInfo<SessionCase>& info) {
      std::string name;
      for (const char* p = info.param.what; *p != '\0'; ++p) {
        if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
      }
      return name;
    });

std::vector<std::string> g_traced;
void KSSTK_CALL CollectTrace(int32_t, int32_t, const char* text, const uint8_t*, uint32_t) {
  g_traced.emplace_back(text);
}

// A server that never stops asking: the runner answers 100 requests and ends the
// conversation at the next, with its own status and a trace.
TEST(EapSessionTest, AConversationEndsAfterOneHundredRequests) {
  const EapTypeList allowed = Allow({6});
  ScriptedSession session(&allowed, nullptr);
  g_traced.clear();
  SetTraceCallbackA(&CollectTrace);
  SetTraceLevel(1);
  for (std::uint32_t i = 0; i < EapSession::kMaxRequests; ++i) {
    ASSERT_EQ(Process(session, Req(static_cast<std::uint8_t>(i), i % 2 ? 6 : 2)), kOk) << i;
  }
  Bytes response;
  EXPECT_EQ(Process(session, Req(100, 6), &response), kEapSessionTooManyRounds);
  EXPECT_TRUE(response.empty());
  EXPECT_EQ(session.state(), EapSession::kFailed);
  EXPECT_EQ(Process(session, Req(101, 6)), kEapSessionTooManyRounds) << "and stays ended";
  SetTraceCallbackA(nullptr);
  SetTraceLevel(0);
  ASSERT_EQ(g_traced.size(), 1u);
  EXPECT_NE(g_traced[0].find("more than 100 requests"), std::string::npos);
}

TEST(EapSessionTest, StatusWhileRunningIsTheMethods) {
  const EapTypeList allowed = Allow({6});
  ScriptedSession session(&allowed, nullptr);
  EXPECT_EQ(session.GetStatus(), 0x07004000u);
  EXPECT_EQ(session.state(), EapSession::kChoosing) << "asking the status changes nothing";
  ASSERT_EQ(Process(session, Req(1, 6)), 0u);
  EXPECT_EQ(session.GetStatus(), 0x0E004000u) << "unfinished scripted method";
  EXPECT_EQ(session.currentType(), 6);
  EXPECT_EQ(session.VerifyMethodCompletion(), 0x09004000u);
  EXPECT_EQ(session.GetStatus(), 0x09004000u);
}

TEST(EapSessionTest, TunnelCompletionReportsTheMethodsStatus) {
  const EapTypeList allowed = Allow({4});
  ScriptedSession session(&allowed, nullptr);
  ASSERT_EQ(Process(session, Req(1, 4)), 0u);
  EXPECT_EQ(session.VerifyMethodCompletion(), 0x1000u);
  EXPECT_EQ(session.VerifyCompletion(), 0u);
  EXPECT_EQ(session.status(), 0x1000u);
}

TEST(EapSessionTest, DroppedAndLastMethodsAreDeleted) {
  const EapTypeList allowed = Allow({4, 6});
  unsigned destroyed = 0;
  {
    ScriptedSession session(&allowed, nullptr);
    session.destroyed = &destroyed;
    ASSERT_EQ(Process(session, Req(1, 4)), 0u);
    ASSERT_EQ(Process(session, Req(2, 6)), 0u);
    EXPECT_EQ(destroyed, 1u) << "the method of type 4 went when type 6 came";
  }
  EXPECT_EQ(destroyed, 2u) << "the runner deletes its last method";
}

TEST(EapSessionTest, NullListAllowsNothing) {
  ScriptedSession session(nullptr, nullptr);
  EXPECT_EQ(Process(session, Req(1, 4)), 0x0700D000u);
}

// The runner with the real factory and the real methods.
TEST(EapSessionTest, RunsTheOuterMethodsThroughTheFactory) {
  FakeEapMethodHost host;
  host.userName = "alice";
  host.password = "abc";
  host.challengeAnswers = {"123456"};
  const EapTypeList allowed = Allow({6, 4});

  EapSession md5(&allowed, &host);
  Bytes request = {1, 1, 0, 22, 4, 16};
  for (std::uint8_t i = 0; i < 16; ++i) request.push_back(i);
  Bytes response;
  ASSERT_EQ(Process(md5, request, &response), 0u);
  EXPECT_EQ(response, (Bytes{2,    1,    0,    22,   4,    16,   0x7b, 0xb8, 0xba, 0x97, 0xc7,
                             0xaf, 0x4f, 0x2c, 0xb7, 0x28, 0x06, 0x3b, 0xbe, 0x66, 0xe0, 0xc1}));
  EXPECT_EQ(Process(md5, {}), 0u);
  EXPECT_STREQ(md5.names(), "EAP-MD5Challenge");

  EapSession gtc(&allowed, &host);
  ASSERT_EQ(Process(gtc, {1, 2, 0, 9, 6, 'P', 'I', 'N', ':'}, &response), 0u);
  EXPECT_EQ(response, (Bytes{2, 2, 0, 11, 6, '1', '2', '3', '4', '5', '6'}));
  EXPECT_EQ(host.challengesShown, std::vector<std::string>{"PIN:"});
  EXPECT_EQ(gtc.VerifyCompletion(), 0u);
  EXPECT_STREQ(gtc.names(), "EAP-TokenCard");
}

}  // namespace
