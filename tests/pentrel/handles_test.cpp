// The context, identity and certificate families as a host reaches them through dlopen.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/pentrel/pentrel_host.h"

namespace {

constexpr KSSTK_RESULT kPointer = static_cast<KSSTK_RESULT>(0x80004003u);
constexpr KSSTK_RESULT kInvalidArg = static_cast<KSSTK_RESULT>(0x80070057u);

class PentrelHandles : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    // The current user's certificate stores live in a directory of the test's own.
    char pattern[] = "/tmp/pentrel-certs-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    certRoot_ = pattern;
    setenv("ZELNIC_CERT_ROOT", pattern, 1);
  }
  static void TearDownTestSuite() {
    std::system(("rm -rf '" + certRoot_ + "'").c_str());
  }
  void SetUp() override {
    ASSERT_EQ(k.KSSTK_CreateContext(&context_), 0);
    ASSERT_NE(context_, nullptr);
  }
  void TearDown() override { EXPECT_EQ(k.KSSTK_Release(context_), 0); }

  const PentrelLibrary& k = Pentrel();
  KSSTK_CONTEXT context_ = nullptr;
  static std::string certRoot_;
};
std::string PentrelHandles::certRoot_;

std::string Hex(const uint8_t* bytes, std::size_t length) {
  std::string text;
  char two[3];
  for (std::size_t i = 0; i < length; ++i) {
    std::snprintf(two, sizeof two, "%02x", bytes[i]);
    text += two;
  }
  return text;
}

TEST_F(PentrelHandles, ContextMakesIdentitiesAndListsThatOutliveIt) {
  const uint32_t suites[] = {0x2F, 0x35};
  EXPECT_EQ(k.KSSTK_CONTEXT_SetTlsCipherSuites(context_, suites, 2), 0);
  EXPECT_EQ(k.KSSTK_CONTEXT_SetDhExponentBits(context_, 256), 0);
  EXPECT_EQ(k.KSSTK_CONTEXT_Initialize(context_), 0);
  EXPECT_EQ(k.KSSTK_CONTEXT_SetTlsCipherSuites(context_, nullptr, 0), 0);
  EXPECT_EQ(k.KSSTK_CONTEXT_Initialize(context_), 0);

  KSSTK_IDENTITY identity = nullptr;
  KSSTK_CERT_LIST list = nullptr;
  ASSERT_EQ(k.KSSTK_CONTEXT_CreateIdentity(context_, &identity), 0);
  ASSERT_EQ(k.KSSTK_CONTEXT_CreateCertList(context_, &list), 0);
  ASSERT_NE(identity, nullptr);
  ASSERT_NE(list, nullptr);

  EXPECT_EQ(k.KSSTK_IDENTITY_SetUserNameW(identity, u"j\u00f6rg@example.net"), 0);
  EXPECT_EQ(k.KSSTK_IDENTITY_SetPasswordA(identity, "secret"), 0);
  EXPECT_EQ(k.KSSTK_IDENTITY_SetPasswordW(identity, u"new secret"), 0);
  const uint32_t types[] = {25, 13};
  EXPECT_EQ(k.KSSTK_IDENTITY_SetEapTypes(identity, types, 2), 0);
  EXPECT_EQ(k.KSSTK_IDENTITY_Initialize(identity), 0);

  // Handles keep their context: the host may release the context first.
  EXPECT_EQ(k.KSSTK_AddRef(context_), 0);
  EXPECT_EQ(k.KSSTK_Release(context_), 0);
  EXPECT_EQ(k.KSSTK_Release(identity), 0);
  EXPECT_EQ(k.KSSTK_Release(list), 0);
}

TEST_F(PentrelHandles, WrongKindsAndNullsAreRefused) {
  KSSTK_IDENTITY identity = nullptr;
  ASSERT_EQ(k.KSSTK_CONTEXT_CreateIdentity(context_, &identity), 0);
  KSSTK_HANDLE out = reinterpret_cast<KSSTK_HANDLE>(1);
  uint8_t hash[20];
  struct Case {
    const char* name;
    KSSTK_RESULT result;
    KSSTK_RESULT expected;
  };
  const Case cases[] = {
      {"identity as context", k.KSSTK_CONTEXT_CreateCertList(identity, &out), kInvalidArg},
      {"context as identity", k.KSSTK_IDENTITY_SetUserNameA(context_, "x"), kInvalidArg},
      {"identity as list", k.KSSTK_CERT_LIST_AddCert(identity, nullptr, 0), kInvalidArg},
      {"context as certificate", k.KSSTK_CERT_GetSha1Hash(context_, hash), kInvalidArg},
      {"null hash buffer", k.KSSTK_CERT_GetSha1Hash(context_, nullptr), kPointer},
      {"null context", k.KSSTK_CONTEXT_Initialize(nullptr), kPointer},
      {"null identity", k.KSSTK_IDENTITY_SetPasswordA(nullptr, "x"), kPointer},
      {"null out handle", k.KSSTK_CreateContext(nullptr), kPointer},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.name;
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(k.KSSTK_Release(identity), 0);
}

TEST_F(PentrelHandles, CertificateListsCarryDerCertificates) {
  KSSTK_CERT_LIST list = nullptr;
  ASSERT_EQ(k.KSSTK_CONTEXT_CreateCertList(context_, &list), 0);
  EXPECT_EQ(k.KSSTK_CERT_LIST_AddCert(list, reinterpret_cast<const uint8_t*>("abc"), 3), 0);
  EXPECT_EQ(k.KSSTK_CERT_LIST_AddCert(list, nullptr, 0), 0);
  EXPECT_EQ(k.KSSTK_CERT_LIST_AddCert(list, nullptr, 4), kPointer);
  uint32_t count = 0;
  EXPECT_EQ(k.KSSTK_CERT_LIST_GetNumCerts(list, &count), 0);
  EXPECT_EQ(count, 2u);

  KSSTK_CERT cert = nullptr;
  ASSERT_EQ(k.KSSTK_CERT_LIST_GetCert(list, 0, &cert), 0);
  ASSERT_NE(cert, nullptr);
  uint8_t hash[20];
  EXPECT_EQ(k.KSSTK_CERT_GetSha1Hash(cert, hash), 0);
  EXPECT_EQ(Hex(hash, 20), "a9993e364706816aba3e25717850c26c9cd0d89d");
  KSSTK_BLOB der{};
  EXPECT_EQ(k.KSSTK_CERT_GetDer(cert, &der), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(der.Data), der.Length), "abc");
  k.KSSTK_Free(der.Data);
  EXPECT_EQ(k.KSSTK_Release(cert), 0);

  ASSERT_EQ(k.KSSTK_CERT_LIST_GetCert(list, 1, &cert), 0);
  der = {reinterpret_cast<uint8_t*>(1), 9};
  EXPECT_EQ(k.KSSTK_CERT_GetDer(cert, &der), 0);
  EXPECT_EQ(der.Data, nullptr);
  EXPECT_EQ(der.Length, 0u);
  EXPECT_EQ(k.KSSTK_Release(cert), 0);

  cert = reinterpret_cast<KSSTK_CERT>(1);
  EXPECT_EQ(k.KSSTK_CERT_LIST_GetCert(list, 2, &cert), 0);
  EXPECT_EQ(cert, nullptr);
  EXPECT_EQ(k.KSSTK_Release(list), 0);
}

// The library trusts no chain its chain engine did not build and trust: bytes that are no
// certificate chain give "other failure" and no chain, whichever road the host takes.
TEST_F(PentrelHandles, ChainsAreNeverTrustedBlindly) {
  KSSTK_CERT_LIST list = nullptr;
  ASSERT_EQ(k.KSSTK_CONTEXT_CreateCertList(context_, &list), 0);
  k.KSSTK_CERT_LIST_AddCert(list, reinterpret_cast<const uint8_t*>("\x30\x03\x02\x01\x00"), 5);
  KSSTK_CERT_LIST chain = reinterpret_cast<KSSTK_CERT_LIST>(1);
  int32_t verdict = 0;
  EXPECT_EQ(k.KSSTK_CERT_LIST_BuildCertChain(list, &chain, &verdict), 0);
  EXPECT_EQ(verdict, KSSTK_CHAIN_OTHER_FAILURE);
  EXPECT_EQ(chain, nullptr);

  for (uint32_t code : {KSSTK_MSG_VALIDATE_SERVER_CERT, KSSTK_MSG_PREAUTH_VALIDATE_SERVER_CERT}) {
    KSSTK_VALIDATE_SERVER_CERT_MESSAGE message{};
    message.Header.Size = sizeof message;
    message.Header.Code = code;
    message.Chain = list;
    message.Verdict = 0xFFFFFFFF;
    EXPECT_EQ(k.KSSTK_ProcessCallbackW(&message.Header), 0);
    EXPECT_EQ(message.Verdict, static_cast<uint32_t>(KSSTK_CHAIN_OTHER_FAILURE)) << code;
  }
  EXPECT_EQ(k.KSSTK_Release(list), 0);
}

// Messages that are not server-chain requests are left exactly as they were.
TEST_F(PentrelHandles, ProcessCallbackLeavesOtherMessagesAlone) {
  KSSTK_GET_CREDENTIALS_MESSAGE message{};
  message.Header.Size = sizeof message;
  message.Header.Code = KSSTK_MSG_GET_CREDENTIALS;
  message.Header.Context = 3;
  char prompt[] = "prompt";
  message.Prompt.A = prompt;
  KSSTK_GET_CREDENTIALS_MESSAGE before = message;
  EXPECT_EQ(k.KSSTK_ProcessCallbackA(&message.Header), 0);
  EXPECT_EQ(std::memcmp(&message, &before, sizeof message), 0);
  EXPECT_EQ(k.KSSTK_ProcessCallbackA(nullptr), kPointer);
}

}  // namespace
