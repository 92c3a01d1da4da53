#include "ksSupp/eap/eap_token_card.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ksSupp/eap/fake_eap_method_host.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes GtcRequest(std::uint8_t identifier, const std::string& prompt) {
  const auto length = static_cast<std::uint16_t>(5 + prompt.size());
  Bytes packet(length);
  packet[0] = 1;
  packet[1] = identifier;
  packet[2] = static_cast<std::uint8_t>(length >> 8);
  packet[3] = static_cast<std::uint8_t>(length);
  packet[4] = 6;
  std::copy(prompt.begin(), prompt.end(), packet.begin() + 5);
  return packet;
}

Bytes GtcResponse(std::uint8_t identifier, const std::string& answer) {
  Bytes packet = GtcRequest(identifier, answer);
  packet[0] = 2;
  return packet;
}

std::uint32_t Respond(EapMethod& method, const Bytes& request, Bytes* response) {
  std::uint32_t status =
      method.ReceiveEapRequest(request.data(), static_cast<std::uint32_t>(request.size()));
  response->clear();
  if (status != 0) return status;
  response->resize(1400);
  std::uint32_t length = 0;
  status = method.GetEapResponse(response->data(), 1400, &length);
  response->resize(length);
  return status;
}

// Who answers each of two requests: the stored password or the user.
struct AnswerCase {
  const char* what;
  bool promptOnly;
  bool hasIdentityPassword;
  std::vector<std::string> expectedAnswers;
  std::vector<std::string> expectedPromptsShown;
};

class EapTokenCardAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(EapTokenCardAnswerTest, StoredPasswordAnswersOnlyTheFirstRequestWhenAllowed) {
  const AnswerCase& c = GetParam();
  FakeEapMethodHost host;
  host.password = "stored";
  host.hasIdentityPassword = c.hasIdentityPassword;
  host.challengeAnswers = {"typed 1", "typed 2"};
  EapTokenCard method(&host, c.promptOnly);
  ASSERT_EQ(method.Initialize(), 0u);

  Bytes response;
  ASSERT_EQ(Respond(method, GtcRequest(10, "Password: "), &response), 0u) << c.what;
  EXPECT_EQ(response, GtcResponse(10, c.expectedAnswers[0])) << c.what;
  ASSERT_EQ(Respond(method, GtcRequest(11, "Next code: "), &response), 0u) << c.what;
  EXPECT_EQ(response, GtcResponse(11, c.expectedAnswers[1])) << c.what;
  EXPECT_EQ(host.challengesShown, c.expectedPromptsShown) << c.what;
  EXPECT_EQ(method.VerifyCompletion(), 0x1000u);
}

INSTANTIATE_TEST_SUITE_P(Cases, EapTokenCardAnswerTest,
                         ::testing::Values(AnswerCase{"outer: always the user",
                                                      true,
                                                      true,
                                                      {"typed 1", "typed 2"},
                                                      {"Password: ", "Next code: "}},
                                           AnswerCase{"password allowed and stored",
                                                      false,
                                                      true,
                                                      {"stored", "typed 1"},
                                                      {"Next code: "}},
                                           AnswerCase{"password allowed, none stored",
                                                      false,
                                                      false,
                                                      {"typed 1", "typed 2"},
                                                      {"Password: ", "Next code: "}}));

TEST(EapTokenCardTest, EmptyPromptStillAsksTheUser) {
  FakeEapMethodHost host;
  host.challengeAnswers = {""};
  EapTokenCard method(&host, true);
  Bytes request = GtcRequest(4, "");
  request.resize(request.size() + 10, 0);  // padding is not part of the prompt
  Bytes response;
  ASSERT_EQ(Respond(method, request, &response), 0u);
  EXPECT_EQ(host.challengesShown, std::vector<std::string>{""});
  EXPECT_EQ(response, (Bytes{2, 4, 0, 5, 6}));
}

TEST(EapTokenCardTest, Refusals) {
  struct Case {
    const char* what;
    Bytes request;
    bool promptOnly;
    bool userAnswers;
    bool passwordStored;
    std::uint32_t status;
  };
  const Case cases[] = {
      {"user declines", GtcRequest(1, "PIN"), true, false, true, 0x09006000},
      {"stored password vanished", GtcRequest(1, "PIN"), false, true, false, 0x09006000},
      {"EAP-Success", {3, 1, 0, 4}, true, true, true, 0x09008000},
      {"EAP-Failure", {4, 1, 0, 4}, true, true, true, 0x09008000},
      {"length beyond the bytes", {1, 1, 0, 40, 6, 'P'}, true, true, true, 0x09005000},
      {"no type byte", {1, 1, 0, 4}, true, true, true, 0x09005000},
  };
  for (const Case& c : cases) {
    FakeEapMethodHost host;
    host.hasIdentityPassword = true;
    if (c.passwordStored) host.password = "pw";
    if (c.userAnswers) host.challengeAnswers = {"answer"};
    EapTokenCard method(&host, c.promptOnly);
    Bytes response;
    EXPECT_EQ(Respond(method, c.request, &response), c.status) << c.what;
    EXPECT_EQ(method.GetStatus(), 0x09004000u) << c.what;
  }
}

TEST(EapTokenCardTest, AnswerTooLongForAnEapPacketIsRefused) {
  FakeEapMethodHost host;
  host.challengeAnswers = {std::string(0xFFFF - 4, 'x')};
  EapTokenCard method(&host, true);
  Bytes response;
  EXPECT_EQ(Respond(method, GtcRequest(1, "?"), &response), 0x09007000u);

  FakeEapMethodHost fits;
  fits.challengeAnswers = {std::string(0xFFFF - 5, 'x')};
  EapTokenCard longest(&fits, true);
  ASSERT_EQ(longest.ReceiveEapRequest(GtcRequest(1, "?").data(), 6), 0u);
  Bytes small(100);
  std::uint32_t length = 0;
  EXPECT_EQ(longest.GetEapResponse(small.data(), 100, &length), 0x09007000u);
  Bytes big(0xFFFF);
  EXPECT_EQ(longest.GetEapResponse(big.data(), 0xFFFF, &length), 0u);
  EXPECT_EQ(length, 0xFFFFu);
  EXPECT_EQ(big[2], 0xFF);
  EXPECT_EQ(big[3], 0xFF);
}

}  // namespace
