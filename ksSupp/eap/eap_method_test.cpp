#include "ksSupp/eap/eap_method.h"

#include <gtest/gtest.h>

#include <memory>

#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"

namespace {

// Only the abstract operations filled in: everything else is the base behaviour.
class BareMethod : public EapMethod {
 public:
  explicit BareMethod(std::uint32_t base) : EapMethod(nullptr, base) {}
  void Finish() { finished_ = true; }
  std::uint32_t Initialize() override { return 0; }
  const char* GetName() override { return "bare"; }
  bool GetKeys(std::uint8_t*) override { return false; }
  void SetAuthenticationResult(bool) override {}
  std::uint32_t ReceiveEapRequest(const std::uint8_t*, std::uint32_t) override { return 0; }
  std::uint32_t GetEapResponse(std::uint8_t*, std::uint32_t, std::uint32_t* length) override {
    *length = 0;
    return 0;
  }
};

TEST(EapMethodTest, BaseStatusFollowsFinished) {
  BareMethod method(kEapBaseTls);
  EXPECT_EQ(method.GetStatus(), 0x02004000u);
  EXPECT_EQ(method.VerifyCompletion(), 0x02004000u);
  method.Finish();
  EXPECT_EQ(method.GetStatus(), 0u);
  EXPECT_EQ(method.VerifyCompletion(), 0x1000u);
  EXPECT_TRUE(EapStatusIsComplete(method.VerifyCompletion()));

  std::uint16_t suite = 0;
  std::uint8_t out[8];
  EXPECT_FALSE(method.GetCipherSuite(&suite));
  EXPECT_FALSE(method.DeriveKeyMaterial("client EAP encryption", out, sizeof out));
  EXPECT_FALSE(method.WantsAllEapPackets());
  EXPECT_TRUE(method.SupportsKeys());
}

TEST(EapMethodTest, WithBaseKeepsACodeThatHasOne) {
  BareMethod tls(kEapBaseTls);
  EXPECT_EQ(tls.WithBase(0x7008000), 0x7008000u);
  EXPECT_EQ(tls.WithBase(0x7000), 0x02007000u);
  EXPECT_EQ(tls.WithBase(0xB328), 0x0200B328u);
  EXPECT_EQ(tls.WithBase(0x01000000), 0x01000000u);
}

TEST(CreateEapMethodTest, MakesTheOuterMethodsByType) {
  FakeEapMethodHost host;
  struct Made {
    std::uint32_t type;
    const char* name;
    std::uint32_t base;
  };
  for (const Made& m :
       {Made{4, "EAP-MD5Challenge", 0x08000000}, Made{6, "EAP-TokenCard", 0x09000000}}) {
    std::unique_ptr<EapMethod> method(createEapMethod(&host, m.type));
    ASSERT_TRUE(method) << m.type;
    EXPECT_STREQ(method->GetName(), m.name);
    EXPECT_EQ(method->GetStatus(), m.base | 0x4000) << "unfinished, with its base";
    EXPECT_FALSE(method->SupportsKeys());
    std::uint8_t keys[kEapKeyBlockSize];
    EXPECT_FALSE(method->GetKeys(keys));
  }
  std::unique_ptr<EapMethod> hostless(createEapMethod(nullptr, 4));
  EXPECT_TRUE(hostless) << "a method without a host is still made";
}

TEST(CreateEapMethodTest, NoMethodForTypesThatAreNotOuterMethods) {
  FakeEapMethodHost host;
  for (std::uint32_t type : {0u, 1u, 2u, 3u, 5u, 26u, 33u, 255u, 256u + 4u}) {
    std::unique_ptr<EapMethod> method(createEapMethod(&host, type));
    EXPECT_FALSE(method) << type;
  }
}

}  // namespace
