// The EAP-method handle through its exports: what it does without a method, Initialize's
// failures, an EAP-MD5 round with the password from the identity or from the host (the
// answer's length limit included), the status notices and the key block.
#include <gtest/gtest.h>
#include <ksstk.h>
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "ksSupp/api_context.h"
#include "ksSupp/fake_cert_library.h"
#include "ksSupp/identity_method_host.h"
#include "platform/win32/hresult.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Host {
  std::vector<std::uint32_t> codes;
  std::vector<std::uint32_t> statuses;
  std::string password;  // answered to code 2 when not empty
  bool answer = false;
};

uint32_t KSSTK_CALL Callback(uintptr_t user, KSSTK_CALLBACK_MESSAGE* message) {
  Host& host = *reinterpret_cast<Host*>(user);
  host.codes.push_back(message->Code);
  if (message->Code == KSSTK_MSG_EAP_STATUS)
    host.statuses.push_back(reinterpret_cast<KSSTK_EAP_STATUS_MESSAGE*>(message)->Status);
  if (message->Code == KSSTK_MSG_EAP_GET_PASSWORD && host.answer)
    KSSTK_AllocStringA(host.password.c_str(), &reinterpret_cast<KSSTK_GET_PASSWORD_MESSAGE*>(message)->Password.A);
  return 0;
}

class EapMethodHandleTest : public testing::Test {
 protected:
  void SetUp() override {
    utility_.AddRef();
    context_ = ApiContext::Create(&utility_);
  }
  void TearDown() override {
    if (method_ != nullptr) KSSTK_Release(method_);
    if (identity_ != nullptr) KSSTK_Release(identity_);
    context_->Release();
  }
  void Make(std::uint32_t type, const char* password) {
    ASSERT_EQ(KSSTK_CONTEXT_CreateEapMethodA(context_, type, &method_), 0);
    ASSERT_NE(method_, nullptr);
    KSSTK_EAP_METHOD_SetCallbackA(method_, Callback, reinterpret_cast<uintptr_t>(&host_));
    KSSTK_CONTEXT_CreateIdentity(context_, &identity_);
    KSSTK_IDENTITY_SetUserNameA(identity_, "bob");
    KSSTK_IDENTITY_SetPasswordA(identity_, password);
  }
  // The MD5 response value to a challenge with this id and password.
  static Bytes Md5Answer(std::uint8_t id, const std::string& password, const Bytes& challenge) {
    Bytes input{id};
    input.insert(input.end(), password.begin(), password.end());
    input.insert(input.end(), challenge.begin(), challenge.end());
    Bytes digest(16);
    unsigned int length = 0;
    EVP_Digest(input.data(), input.size(), digest.data(), &length, EVP_md5(), nullptr);
    return digest;
  }
  // Runs one MD5 round: the response's value, or empty when none came.
  Bytes Md5Round(std::uint8_t id) {
    const Bytes request = {1, id, 0, 22, 4, 16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(KSSTK_EAP_METHOD_ReceiveEapRequest(method_, request.data(), static_cast<uint32_t>(request.size())), 0);
    Bytes response(1400);
    uint32_t length = 0;
    EXPECT_EQ(KSSTK_EAP_METHOD_GetEapResponse(method_, response.data(), 1400, &length), 0);
    if (length < 22) return {};
    return Bytes(response.begin() + 6, response.begin() + 22);
  }
  static Bytes Challenge() { return {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}; }

  fake_cert::Utility utility_;
  ApiContext* context_ = nullptr;
  KSSTK_EAP_METHOD method_ = nullptr;
  KSSTK_IDENTITY identity_ = nullptr;
  Host host_;
};

TEST_F(EapMethodHandleTest, WithoutAMethodEveryStepIsANotice) {
  Make(4, "pw");
  KSSTK_BLOB keys{reinterpret_cast<uint8_t*>(1), 7};
  EXPECT_EQ(KSSTK_EAP_METHOD_GetKeys(method_, &keys), static_cast<KSSTK_RESULT>(E_FAIL));
  EXPECT_EQ(keys.Data, nullptr);
  EXPECT_EQ(keys.Length, 0u);
  const uint8_t packet[] = {1, 1, 0, 5, 4};
  EXPECT_EQ(KSSTK_EAP_METHOD_ReceiveEapRequest(method_, packet, sizeof packet), 0);
  uint8_t buffer[16];
  uint32_t length = 9;
  EXPECT_EQ(KSSTK_EAP_METHOD_GetEapResponse(method_, buffer, sizeof buffer, &length), 0);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(KSSTK_EAP_METHOD_VerifyCompletion(method_), 0);
  EXPECT_EQ(host_.statuses, (std::vector<std::uint32_t>{8192, 8192, 8192}));
  EXPECT_EQ(KSSTK_EAP_METHOD_Terminate(method_), 0);
}

TEST_F(EapMethodHandleTest, InitializeNeedsAnIdentityAndAKnownType) {
  Make(99, "pw");
  EXPECT_EQ(KSSTK_EAP_METHOD_Initialize(method_), static_cast<KSSTK_RESULT>(E_FAIL)) << "no identity";
  KSSTK_EAP_METHOD_SetIdentity(method_, identity_);
  EXPECT_EQ(KSSTK_EAP_METHOD_Initialize(method_), static_cast<KSSTK_RESULT>(E_FAIL)) << "unknown type";
}

TEST_F(EapMethodHandleTest, Md5WithTheIdentitysPassword) {
  Make(4, "md5 secret");
  KSSTK_EAP_METHOD_SetIdentity(method_, identity_);
  ASSERT_EQ(KSSTK_EAP_METHOD_Initialize(method_), 0);
  host_.codes.clear();
  EXPECT_EQ(Md5Round(7), Md5Answer(7, "md5 secret", Challenge()));
  EXPECT_EQ(KSSTK_EAP_METHOD_VerifyCompletion(method_), 0);
  EXPECT_TRUE(host_.codes.empty()) << "completed: no notice";
  KSSTK_BLOB keys{};
  EXPECT_EQ(KSSTK_EAP_METHOD_GetKeys(method_, &keys), static_cast<KSSTK_RESULT>(E_FAIL)) << "MD5 has no keys";
}

// The host's password answer is taken when it fits the host's buffer with its NUL.
TEST_F(EapMethodHandleTest, PasswordFromTheHostWithinItsLimit) {
  const std::uint32_t limit = IdentityMethodHost::kPasswordBufferSize - 1;
  for (const std::uint32_t length : {limit, limit + 1}) {
    SCOPED_TRACE(length);
    if (method_ != nullptr) KSSTK_Release(method_), method_ = nullptr;
    if (identity_ != nullptr) KSSTK_Release(identity_), identity_ = nullptr;
    host_ = Host{};
    Make(4, nullptr);
    KSSTK_EAP_METHOD_SetIdentity(method_, identity_);
    ASSERT_EQ(KSSTK_EAP_METHOD_Initialize(method_), 0);
    host_.password = std::string(length, 'p');
    host_.answer = true;
    const Bytes value = Md5Round(3);
    EXPECT_EQ(host_.codes.front(), static_cast<std::uint32_t>(KSSTK_MSG_EAP_GET_PASSWORD));
    if (length == limit) {
      EXPECT_EQ(value, Md5Answer(3, host_.password, Challenge()));
    } else {
      EXPECT_TRUE(value.empty());
      EXPECT_FALSE(host_.statuses.empty()) << "the method's failure is a notice";
    }
  }
}

}  // namespace
