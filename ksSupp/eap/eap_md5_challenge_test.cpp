#include "ksSupp/eap/eap_md5_challenge.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "ksSupp/eap/fake_eap_method_host.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Md5Request(std::uint8_t identifier, const Bytes& challenge) {
  const auto length = static_cast<std::uint16_t>(6 + challenge.size());
  Bytes packet = {1,
                  identifier,
                  static_cast<std::uint8_t>(length >> 8),
                  static_cast<std::uint8_t>(length),
                  4,
                  static_cast<std::uint8_t>(challenge.size())};
  packet.insert(packet.end(), challenge.begin(), challenge.end());
  return packet;
}

// RFC 1994's CHAP value, computed with OpenSSL: MD5(identifier | secret | challenge).
Bytes ReferenceValue(std::uint8_t identifier, const std::string& secret, const Bytes& challenge) {
  Bytes input = {identifier};
  input.insert(input.end(), secret.begin(), secret.end());
  input.insert(input.end(), challenge.begin(), challenge.end());
  Bytes digest(16);
  unsigned int size = 0;
  EXPECT_EQ(EVP_Digest(input.data(), input.size(), digest.data(), &size, EVP_md5(), nullptr), 1);
  return digest;
}

Bytes Respond(EapMethod& method, const Bytes& request, std::uint32_t* status) {
  *status = method.ReceiveEapRequest(request.data(), static_cast<std::uint32_t>(request.size()));
  if (*status != 0) return {};
  Bytes response(1400);
  std::uint32_t length = 0;
  *status = method.GetEapResponse(response.data(), 1400, &length);
  response.resize(length);
  return response;
}

struct Triple {
  std::uint8_t identifier;
  std::string password;
  Bytes challenge;
};

class EapMd5ValueTest : public ::testing::TestWithParam<Triple> {};

TEST_P(EapMd5ValueTest, ResponseIsMd5OfIdentifierPasswordAndChallenge) {
  const Triple& t = GetParam();
  FakeEapMethodHost host;
  host.password = t.password;
  EapMd5Challenge method(&host);
  ASSERT_EQ(method.Initialize(), 0u);
  EXPECT_EQ(method.GetStatus(), 0x08004000u);

  std::uint32_t status = 0;
  const Bytes response = Respond(method, Md5Request(t.identifier, t.challenge), &status);
  ASSERT_EQ(status, 0u);
  Bytes expected = {2, t.identifier, 0, 22, 4, 16};
  const Bytes value = ReferenceValue(t.identifier, t.password, t.challenge);
  expected.insert(expected.end(), value.begin(), value.end());
  EXPECT_EQ(response, expected);
  EXPECT_EQ(method.GetStatus(), 0u);
  EXPECT_EQ(method.VerifyCompletion(), 0x1000u);
}

INSTANTIATE_TEST_SUITE_P(Triples, EapMd5ValueTest,
                         ::testing::Values(Triple{0, "secret", Bytes(16, 0x00)},
                                           Triple{9,
                                                  "secret",
                                                  {0x39, 0xad, 0xe5, 0x73, 0xfc, 0x33, 0x0f, 0xb8,
                                                   0x13, 0xfd, 0xb5, 0x84, 0x9b, 0x83, 0xff, 0x97}},
                                           Triple{255, "p\xC3\xA4ss w\xC3\xB6rd", {1, 2, 3}},
                                           Triple{0x80, "", Bytes(64, 0xA5)},
                                           Triple{17, std::string(300, 'k'), {}}));

TEST(EapMd5ChallengeTest, KnownResponseBytes) {
  // Identifier 1, password "abc", challenge 00..0F; value worked out beforehand with
  // Python's hashlib.
  FakeEapMethodHost host;
  host.password = "abc";
  EapMd5Challenge method(&host);
  Bytes challenge;
  for (std::uint8_t i = 0; i < 16; ++i) challenge.push_back(i);
  std::uint32_t status = 0;
  const Bytes response = Respond(method, Md5Request(1, challenge), &status);
  ASSERT_EQ(status, 0u);
  EXPECT_EQ(response, (Bytes{2,    1,    0,    22,   4,    16,   0x7b, 0xb8, 0xba, 0x97, 0xc7,
                             0xaf, 0x4f, 0x2c, 0xb7, 0x28, 0x06, 0x3b, 0xbe, 0x66, 0xe0, 0xc1}));
}

TEST(EapMd5ChallengeTest, ChallengeIsReadWithinTheEapLength) {
  FakeEapMethodHost host;
  host.password = "secret";
  EapMd5Challenge method(&host);
  Bytes request = Md5Request(3, {0xAA, 0xBB});
  request.resize(request.size() + 20, 0xCC);  // padding after the packet
  std::uint32_t status = 0;
  const Bytes response = Respond(method, request, &status);
  ASSERT_EQ(status, 0u);
  const Bytes value = ReferenceValue(3, "secret", {0xAA, 0xBB});
  EXPECT_EQ(Bytes(response.begin() + 6, response.end()), value);
}

struct Refusal {
  const char* what;
  Bytes request;
  std::uint32_t status;
};

class EapMd5RefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(EapMd5RefusalTest, ReportsAndLeavesNothingToSend) {
  const Refusal& r = GetParam();
  FakeEapMethodHost host;
  host.password = "secret";
  EapMd5Challenge method(&host);
  std::uint32_t status = 0;
  ASSERT_EQ(Respond(method, Md5Request(1, Bytes(16, 1)), &status).size(), 22u);

  EXPECT_EQ(
      method.ReceiveEapRequest(r.request.data(), static_cast<std::uint32_t>(r.request.size())),
      r.status)
      << r.what;
  std::uint8_t buffer[64];
  std::uint32_t length = 99;
  EXPECT_EQ(method.GetEapResponse(buffer, sizeof buffer, &length), 0u);
  EXPECT_EQ(length, 0u) << r.what << ": the earlier response must not go out again";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EapMd5RefusalTest,
    ::testing::Values(Refusal{"value size 16, ten bytes follow",
                              {1, 2, 0, 16, 4, 16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
                              0x08005000},
                      Refusal{"no type data", {1, 2, 0, 5, 4}, 0x08005000},
                      Refusal{
                          "EAP length beyond the bytes", {1, 2, 0xFF, 0xFF, 4, 1, 0}, 0x08005000},
                      Refusal{"header cut short", {1, 2, 0}, 0x08005000},
                      Refusal{"EAP-Success", {3, 2, 0, 4}, 0x08008000},
                      Refusal{"a Response", {2, 2, 0, 7, 4, 1, 0}, 0x08008000}));

TEST(EapMd5ChallengeTest, NoPasswordIsAMissingCredential) {
  FakeEapMethodHost host;  // no password, and the owner declines
  EapMd5Challenge method(&host);
  const Bytes request = Md5Request(1, Bytes(16, 1));
  EXPECT_EQ(method.ReceiveEapRequest(request.data(), static_cast<std::uint32_t>(request.size())),
            0x08006000u);
  EXPECT_EQ(host.passwordRequests, 1u);
  EapMd5Challenge hostless(nullptr);
  EXPECT_EQ(hostless.ReceiveEapRequest(request.data(), static_cast<std::uint32_t>(request.size())),
            0x08006000u);
}

TEST(EapMd5ChallengeTest, SmallBufferCopiesNothing) {
  FakeEapMethodHost host;
  host.password = "secret";
  EapMd5Challenge method(&host);
  const Bytes request = Md5Request(1, Bytes(16, 1));
  ASSERT_EQ(method.ReceiveEapRequest(request.data(), static_cast<std::uint32_t>(request.size())),
            0u);
  Bytes buffer(21, 0xEE);
  std::uint32_t length = 0;
  EXPECT_EQ(method.GetEapResponse(buffer.data(), 21, &length), 0x08007000u);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(buffer, Bytes(21, 0xEE));
}

}  // namespace
