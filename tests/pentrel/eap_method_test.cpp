// A host that knows libpentrel.so only through ksstk.h runs EAP-MD5 through the EAP-method
// handle against a scripted server: the password is asked with the handle's own code 2,
// the response is the RFC 1994 hash, the method completes without a status notice and has
// no keys. Without an identity, Initialize fails.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "tests/pentrel/pentrel_host.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Host {
  std::vector<std::uint32_t> codes;
  std::vector<std::uint32_t> statuses;
};

uint32_t KSSTK_CALL Answer(uintptr_t user, KSSTK_CALLBACK_MESSAGE* message) {
  Host& host = *reinterpret_cast<Host*>(user);
  host.codes.push_back(message->Code);
  if (message->Code == KSSTK_MSG_EAP_STATUS)
    host.statuses.push_back(reinterpret_cast<KSSTK_EAP_STATUS_MESSAGE*>(message)->Status);
  if (message->Code == KSSTK_MSG_EAP_GET_PASSWORD)
    Pentrel().KSSTK_AllocStringA("md5 secret",
                                 &reinterpret_cast<KSSTK_GET_PASSWORD_MESSAGE*>(message)->Password.A);
  return 0;
}

class PentrelEapMethod : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(k.KSSTK_CreateContext(&context_), 0);
    ASSERT_EQ(k.KSSTK_CONTEXT_CreateEapMethodA(context_, 4, &method_), 0);
    ASSERT_EQ(k.KSSTK_EAP_METHOD_SetCallbackA(method_, Answer, reinterpret_cast<uintptr_t>(&host_)), 0);
  }
  void TearDown() override {
    if (method_ != nullptr) k.KSSTK_Release(method_);
    if (context_ != nullptr) k.KSSTK_Release(context_);
  }
  void SetIdentity() {
    KSSTK_IDENTITY identity = nullptr;
    ASSERT_EQ(k.KSSTK_CONTEXT_CreateIdentity(context_, &identity), 0);
    k.KSSTK_IDENTITY_SetUserNameA(identity, "bob");
    const std::uint32_t md5 = 4;
    k.KSSTK_IDENTITY_SetEapTypes(identity, &md5, 1);
    k.KSSTK_IDENTITY_Initialize(identity);
    ASSERT_EQ(k.KSSTK_EAP_METHOD_SetIdentity(method_, identity), 0);
    k.KSSTK_Release(identity);
  }

  const PentrelLibrary& k = Pentrel();
  KSSTK_CONTEXT context_ = nullptr;
  KSSTK_EAP_METHOD method_ = nullptr;
  Host host_;
};

TEST_F(PentrelEapMethod, Md5ThroughTheHandle) {
  SetIdentity();
  ASSERT_EQ(k.KSSTK_EAP_METHOD_Initialize(method_), 0);
  const Bytes challenge = {9, 8, 7, 6, 5};
  const Bytes request = {1, 7, 0, 11, 4, 5, 9, 8, 7, 6, 5};
  ASSERT_EQ(k.KSSTK_EAP_METHOD_ReceiveEapRequest(method_, request.data(), 11), 0);
  Bytes response(1400);
  std::uint32_t length = 0;
  ASSERT_EQ(k.KSSTK_EAP_METHOD_GetEapResponse(method_, response.data(), 1400, &length), 0);
  response.resize(length);

  // Identifier, password, challenge.
  const std::string text = std::string(1, '\x07') + "md5 secret" +
                           std::string(challenge.begin(), challenge.end());
  const Bytes input(text.begin(), text.end());
  Bytes hash(16);
  unsigned size = 0;
  ASSERT_EQ(EVP_Digest(input.data(), input.size(), hash.data(), &size, EVP_md5(), nullptr), 1);
  Bytes expected = {2, 7, 0, 22, 4, 16};
  expected.insert(expected.end(), hash.begin(), hash.end());
  EXPECT_EQ(response, expected);
  EXPECT_EQ(host_.codes, std::vector<std::uint32_t>{KSSTK_MSG_EAP_GET_PASSWORD});

  EXPECT_EQ(k.KSSTK_EAP_METHOD_AuthenticationSuccess(method_), 0);
  host_.codes.clear();
  k.KSSTK_EAP_METHOD_VerifyCompletion(method_);
  EXPECT_TRUE(host_.statuses.empty()) << "completed";
  KSSTK_BLOB keys{};
  EXPECT_NE(k.KSSTK_EAP_METHOD_GetKeys(method_, &keys), 0) << "EAP-MD5 has no keys";
  EXPECT_EQ(keys.Data, nullptr);
  EXPECT_EQ(keys.Length, 0u);
  EXPECT_EQ(k.KSSTK_EAP_METHOD_Terminate(method_), 0);
}

TEST_F(PentrelEapMethod, InitializeWithoutIdentityFails) {
  EXPECT_NE(k.KSSTK_EAP_METHOD_Initialize(method_), 0);
}

}  // namespace
