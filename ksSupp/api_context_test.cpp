#include "ksSupp/api_context.h"

#include <gtest/gtest.h>

#include <vector>

#include "ksSupp/fake_cert_library.h"

namespace {

constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);

// A context made over a fake root; the root's reference is the context's.
ApiContext* MakeContext(fake_cert::Utility& utility) {
  utility.AddRef();
  return ApiContext::Create(&utility);
}

// The context asks for the current user's engine; anything but S_OK with an engine is a
// failure that leaves nothing behind (no context, no reference on the root or the engine)
// and carries the library's HRESULT, or E_FAIL when that is not a failure code.
TEST(ApiContextCreate, OnlyAnEngineGivenWithS_OKMakesAContext) {
  struct Case {
    const char* name;
    HRESULT result;
    bool giveEngine;
    HRESULT thrown;  // S_OK: a context is made
  };
  const Case cases[] = {
      {"engine", S_OK, true, S_OK},
      {"failure code", kAccessDenied, false, kAccessDenied},
      {"caught failure (S_FALSE)", S_FALSE, false, E_FAIL},
      {"S_FALSE with an engine", S_FALSE, true, E_FAIL},
      {"S_OK without engine", S_OK, false, E_FAIL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake_cert::Utility utility;
    utility.engineResult = c.result;
    utility.giveEngine = c.giveEngine;
    if (c.thrown == S_OK) {
      ApiContext* context = MakeContext(utility);
      ASSERT_NE(context, nullptr);
      EXPECT_EQ(context->ChainEngine(), &utility.engine);
      EXPECT_EQ(utility.askedLocation, u"Current User");
      context->Release();
    } else {
      try {
        MakeContext(utility);
        ADD_FAILURE() << "no exception";
      } catch (const dcfRunTimeException& e) {
        EXPECT_EQ(e.Code(), c.thrown);
        EXPECT_STREQ(e.Frame(0).message,
                     "error return from CreateCertChainEngine call in certificate utility object");
        EXPECT_EQ(e.Frame(0).line, 1118);
      }
    }
    EXPECT_TRUE(utility.Balanced()) << utility.references;
    EXPECT_TRUE(utility.engine.Balanced()) << utility.engine.references;
  }
}

std::vector<std::uint16_t> Suites(const ApiContext& context) {
  const auto& suites = context.Tls()->CipherSuites();
  return {suites.begin(), suites.end()};
}

TEST(ApiContextTls, ConfigurationFollowsTheSettingsAtInitialize) {
  fake_cert::Utility utility;
  ApiContext* context = MakeContext(utility);
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(context->Tls(), nullptr);

  context->InitializeTls();
  const std::vector<std::uint16_t> defaults = {0x16, 0x13, 0x66, 0x15, 0x12, 0x0A, 0x05,
                                               0x04, 0x09, 0x63, 0x65, 0x60, 0x62, 0x61,
                                               0x64, 0x14, 0x11, 0x03, 0x06, 0x08,
                                               0x39, 0x33, 0x38, 0x32, 0x35, 0x2F};
  EXPECT_EQ(Suites(*context), defaults);
  EXPECT_EQ(context->Tls()->DhExponentBits(), 192u);

  const std::uint32_t mine[] = {0x2F, 0x10035};
  context->SetTlsCipherSuites(mine, 2);
  context->SetDhExponentBits(160);
  EXPECT_EQ(Suites(*context), defaults);  // settings wait for the next Initialize
  context->InitializeTls();
  EXPECT_EQ(Suites(*context), (std::vector<std::uint16_t>{0x2F, 0x35}));
  EXPECT_EQ(context->Tls()->DhExponentBits(), 160u);

  context->SetTlsCipherSuites(nullptr, 0);
  context->InitializeTls();
  EXPECT_TRUE(Suites(*context).empty());
  context->Release();
  EXPECT_TRUE(utility.Balanced());
}

}  // namespace
