// The identity family called as a host calls it, with the stored values read back from the
// object behind the handle.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include <ksstk.h>

#include "ksSupp/fake_cert_library.h"
#include "ksSupp/export_guard.h"
#include "ksSupp/identity.h"

namespace {

constexpr KSSTK_RESULT kPointer = static_cast<KSSTK_RESULT>(0x80004003u);
constexpr KSSTK_RESULT kInvalidArg = static_cast<KSSTK_RESULT>(0x80070057u);

class IdentityExports : public ::testing::Test {
protected:
  void SetUp() override {
    utility_.AddRef();
    context_ = ApiContext::Create(&utility_);
    ASSERT_EQ(KSSTK_CONTEXT_CreateIdentity(ToHandle(context_), &handle_), 0);
    ASSERT_NE(handle_, nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(KSSTK_Release(handle_), 0);
    context_->Release();
    EXPECT_TRUE(utility_.Balanced());
  }
  Identity& identity() { return *dynamic_cast<Identity*>(static_cast<RefCounted*>(handle_)); }
  static std::string Or(const char* text) { return text != nullptr ? text : "(null)"; }

  fake_cert::Utility utility_;
  ApiContext* context_ = nullptr;
  KSSTK_IDENTITY handle_ = nullptr;
};

// W strings arrive as UTF-8, cut at the first invalid surrogate; A strings as given.
TEST_F(IdentityExports, NamesInBothForms) {
  const char16_t loneLow[] = {u'j', u'o', 0xDC01, u'e', 0};
  struct Case {
    const char* name;
    std::function<void(KSSTK_IDENTITY)> set;
    std::string userName;
  };
  const Case cases[] = {
      {"A unchanged", [](KSSTK_IDENTITY i) { KSSTK_IDENTITY_SetUserNameA(i, "r\xE9sum\xE9"); },
       "r\xE9sum\xE9"},
      {"A null clears", [](KSSTK_IDENTITY i) { KSSTK_IDENTITY_SetUserNameA(i, nullptr); },
       "(null)"},
      {"W surrogate pair", [](KSSTK_IDENTITY i) { KSSTK_IDENTITY_SetUserNameW(i, u"\U0001F511key"); },
       "\xF0\x9F\x94\x91key"},
      {"W lone low surrogate", [&](KSSTK_IDENTITY i) { KSSTK_IDENTITY_SetUserNameW(i, loneLow); },
       "jo"},
      {"W null stores empty", [](KSSTK_IDENTITY i) { KSSTK_IDENTITY_SetUserNameW(i, nullptr); }, ""},
  };
  for (const Case& c : cases) {
    c.set(handle_);
    EXPECT_EQ(Or(identity().UserName()), c.userName) << c.name;
  }
  EXPECT_EQ(KSSTK_IDENTITY_SetWindowsNameW(handle_, u"CORP\\j\u00f6e"), 0);
  EXPECT_EQ(Or(identity().WindowsName()), "CORP\\j\xC3\xB6" "e");
  EXPECT_EQ(KSSTK_IDENTITY_SetWindowsNameA(handle_, nullptr), 0);
  EXPECT_EQ(identity().WindowsName(), nullptr);
}

TEST_F(IdentityExports, PasswordStatesAndCopies) {
  char buffer[8];
  EXPECT_EQ(identity().PasswordStateValue(), Identity::kPasswordNeverGiven);
  EXPECT_FALSE(identity().CopyPassword(buffer, sizeof buffer));

  EXPECT_EQ(KSSTK_IDENTITY_SetPasswordW(handle_, u"s\u00e9cret"), 0);  // 7 bytes as UTF-8
  EXPECT_EQ(identity().PasswordStateValue(), Identity::kPasswordSet);
  EXPECT_FALSE(identity().CopyPassword(buffer, 7));  // no room for the NUL
  EXPECT_TRUE(identity().CopyPassword(buffer, 8));
  EXPECT_STREQ(buffer, "s\xC3\xA9" "cret");

  EXPECT_EQ(KSSTK_IDENTITY_SetPasswordA(handle_, ""), 0);  // an empty password is a password
  EXPECT_EQ(identity().PasswordStateValue(), Identity::kPasswordSet);
  EXPECT_TRUE(identity().CopyPassword(buffer, 1));

  EXPECT_EQ(KSSTK_IDENTITY_SetPasswordA(handle_, nullptr), 0);
  EXPECT_EQ(identity().PasswordStateValue(), Identity::kPasswordCleared);
  EXPECT_EQ(identity().Password(), nullptr);
  EXPECT_FALSE(identity().CopyPassword(buffer, sizeof buffer));

  EXPECT_EQ(KSSTK_IDENTITY_SetPasswordW(handle_, nullptr), 0);
  EXPECT_EQ(identity().PasswordStateValue(), Identity::kPasswordCleared);
}

TEST_F(IdentityExports, TtlsIdentityEapPreferencesAndCertificate) {
  EXPECT_EQ(KSSTK_IDENTITY_SetTtlsIdentityA(handle_, "anonymous@realm"), 0);
  EXPECT_STREQ(identity().TtlsIdentity().CStr(), "anonymous@realm");
  EXPECT_EQ(KSSTK_IDENTITY_SetTtlsIdentityA(handle_, ""), 0);
  EXPECT_TRUE(identity().TtlsIdentity().Empty());
  EXPECT_EQ(KSSTK_IDENTITY_SetTtlsIdentityW(handle_, u"outer"), 0);
  EXPECT_STREQ(identity().TtlsIdentity().CStr(), "outer");
  EXPECT_EQ(KSSTK_IDENTITY_SetTtlsIdentityW(handle_, nullptr), 0);
  EXPECT_TRUE(identity().TtlsIdentity().Empty());

  const uint32_t outer[] = {25, 21, 13};
  const uint32_t inner[] = {26};
  EXPECT_EQ(KSSTK_IDENTITY_SetEapTypes(handle_, outer, 3), 0);
  EXPECT_EQ(KSSTK_IDENTITY_SetPeapInnerEapTypes(handle_, inner, 1), 0);
  EXPECT_EQ(KSSTK_IDENTITY_SetTtlsInnerEapTypes(handle_, inner, 1), 0);
  EXPECT_EQ(KSSTK_IDENTITY_SetTtlsInnerEapTypes(handle_, nullptr, 0), 0);
  EXPECT_EQ(KSSTK_IDENTITY_SetEapTypes(handle_, nullptr, 2), kPointer);
  const auto& types = identity().EapTypes();
  EXPECT_EQ(std::vector<uint32_t>(types.begin(), types.end()), (std::vector<uint32_t>{25, 21, 13}));
  EXPECT_EQ(identity().PeapInnerEapTypes().Length(), 1u);
  EXPECT_EQ(identity().TtlsInnerEapTypes().Length(), 0u);

  EXPECT_EQ(KSSTK_IDENTITY_SetTtlsInnerAuthProtocol(handle_, Identity::kTtlsMsChapV2), 0);
  EXPECT_EQ(identity().TtlsInnerAuthProtocol(), 4u);
  EXPECT_TRUE(identity().SendPasswordInGtc());
  EXPECT_EQ(KSSTK_IDENTITY_SetPeapNoPasswordInGTC(handle_, 7), 0);
  EXPECT_FALSE(identity().SendPasswordInGtc());

  EXPECT_EQ(KSSTK_IDENTITY_SetUserCertificate(handle_, nullptr), 0);
  EXPECT_EQ(identity().UserCertificateLocation(), Identity::kNoCertificate);
  const uint8_t hash[20] = {0xAB, 0xCD};
  EXPECT_EQ(KSSTK_IDENTITY_SetUserCertificate(handle_, hash), 0);
  EXPECT_EQ(identity().UserCertificateLocation(), Identity::kCurrentUserMy);
  EXPECT_EQ(identity().UserCertificateHash()[1], 0xCD);

  EXPECT_EQ(identity().Credential(false), nullptr);
  EXPECT_EQ(KSSTK_IDENTITY_Initialize(handle_), 0);
  ASSERT_NE(identity().Credential(false), nullptr);
  ASSERT_NE(identity().Credential(true), identity().Credential(false));
  EXPECT_TRUE(identity().Credential(true)->hasHash);
}

// Handles of another family, and null handles, are refused without harm.
TEST_F(IdentityExports, ForeignAndNullHandlesAreRefused) {
  EXPECT_EQ(KSSTK_IDENTITY_SetUserNameA(ToHandle(context_), "x"), kInvalidArg);
  EXPECT_EQ(KSSTK_IDENTITY_SetPasswordW(nullptr, u"x"), kPointer);
  EXPECT_EQ(KSSTK_CONTEXT_Initialize(handle_), kInvalidArg);
  KSSTK_IDENTITY other = reinterpret_cast<KSSTK_IDENTITY>(1);
  EXPECT_EQ(KSSTK_CONTEXT_CreateIdentity(handle_, &other), kInvalidArg);
  EXPECT_EQ(other, nullptr);
}

}  // namespace
