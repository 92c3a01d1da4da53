#include <gtest/gtest.h>

#include <vector>

#include <ksstk.h>

#include "ksSupp/api_context.h"
#include "ksSupp/fake_cert_library.h"

namespace {

TEST(TrustToChainVerdict, FirstFlagThatAppliesDecides) {
  struct Case {
    std::uint32_t trust;
    std::int32_t verdict;
  };
  const Case cases[] = {
      {0x0, KSSTK_CHAIN_TRUSTED},
      {0x5, KSSTK_CHAIN_REVOKED},                // revoked before not time valid
      {0x1, KSSTK_CHAIN_EXPIRED},
      {0x10000040, KSSTK_CHAIN_NOT_YET_VALID},   // before revocation unknown
      {0x28, KSSTK_CHAIN_BAD_SIGNATURE},
      {0x30, KSSTK_CHAIN_UNTRUSTED_ROOT},        // untrusted root before usage
      {0x10, KSSTK_CHAIN_WRONG_USAGE},
      {0x40, KSSTK_CHAIN_REVOCATION_UNKNOWN},
      {0x100, KSSTK_CHAIN_OTHER_FAILURE},
  };
  for (const Case& c : cases) EXPECT_EQ(TrustToChainVerdict(c.trust), c.verdict) << c.trust;
}

class ServerChain : public ::testing::Test {
protected:
  void SetUp() override {
    utility_.AddRef();
    context_ = ApiContext::Create(&utility_);
    list_ = CertList::Create(context_);
    list_->Add(server_.data(), static_cast<std::uint32_t>(server_.size()));
    list_->Add(issuer_.data(), static_cast<std::uint32_t>(issuer_.size()));
    engine().chain.certs = {&builtServer_, &builtIssuer_};
  }
  void TearDown() override {
    list_->Release();
    context_->Release();
    EXPECT_TRUE(utility_.Balanced());
    EXPECT_TRUE(engine().Balanced());
    EXPECT_TRUE(engine().validation.Balanced());
    EXPECT_TRUE(engine().chain.Balanced());
    EXPECT_TRUE(builtServer_.Balanced());
  }
  fake_cert::Engine& engine() { return utility_.engine; }

  // The verdict, and the DER of each certificate of the built chain (returned: whether a
  // chain came back at all).
  std::int32_t Validate(std::vector<std::vector<std::uint8_t>>& built, bool* returned = nullptr) {
    CertList* chain = nullptr;
    const std::int32_t verdict = context_->ValidateServerChain(*list_, &chain);
    built.clear();
    if (returned != nullptr) *returned = chain != nullptr;
    if (chain != nullptr) {
      for (std::uint32_t i = 0; i < chain->Count(); ++i) {
        const dcfByteArray& der = chain->At(i).Bytes();
        built.emplace_back(der.begin(), der.end());
      }
      chain->Release();
    }
    return verdict;
  }

  fake_cert::Utility utility_;
  ApiContext* context_ = nullptr;
  CertList* list_ = nullptr;
  const std::vector<std::uint8_t> server_ = {0x30, 0x01, 0xAA};
  const std::vector<std::uint8_t> issuer_ = {0x30, 0x01, 0xBB};
  // A built certificate larger than the first export buffer.
  fake_cert::Cert builtServer_{std::vector<std::uint8_t>(300, 0x5A)};
  fake_cert::Cert builtIssuer_{{0x30, 0x00}};
};

TEST_F(ServerChain, TrustedChainComesBackInOrder) {
  std::vector<std::vector<std::uint8_t>> built;
  EXPECT_EQ(Validate(built), KSSTK_CHAIN_TRUSTED);
  EXPECT_EQ(engine().validation.given,
            (std::vector<std::vector<std::uint8_t>>{server_, issuer_}));
  EXPECT_EQ(engine().validation.chainUsage, 0);
  EXPECT_EQ(builtServer_.lastUsage, kCertUsageServerAuth);
  EXPECT_EQ(built, (std::vector<std::vector<std::uint8_t>>{builtServer_.der, builtIssuer_.der}));
}

// Whatever keeps the engine from building a chain, or makes the chain doubtful, is never a
// trusted verdict.
TEST_F(ServerChain, NothingIsTrustedWithoutATrustedChain) {
  struct Case {
    const char* name;
    void (*arrange)(fake_cert::Engine&, fake_cert::Cert& endCert);
    std::int32_t verdict;
    bool chainReturned;
  };
  const Case cases[] = {
      {"validation not offered", [](fake_cert::Engine& e, fake_cert::Cert&) {
         e.steps.createValidation = S_FALSE; }, KSSTK_CHAIN_OTHER_FAILURE, false},
      {"end certificate refused", [](fake_cert::Engine& e, fake_cert::Cert&) {
         e.steps.endCertAccepted = false; }, KSSTK_CHAIN_OTHER_FAILURE, false},
      {"intermediate refused", [](fake_cert::Engine& e, fake_cert::Cert&) {
         e.steps.addCertAccepted = false; }, KSSTK_CHAIN_OTHER_FAILURE, false},
      {"no chain built", [](fake_cert::Engine& e, fake_cert::Cert&) {
         e.steps.createChain = S_FALSE; }, KSSTK_CHAIN_OTHER_FAILURE, false},
      {"end certificate not for servers", [](fake_cert::Engine&, fake_cert::Cert& c) {
         c.serverUsage = false; }, KSSTK_CHAIN_WRONG_USAGE, true},
      {"empty chain", [](fake_cert::Engine& e, fake_cert::Cert&) {
         e.chain.certs.clear(); }, KSSTK_CHAIN_WRONG_USAGE, true},
      {"certificate missing from the chain", [](fake_cert::Engine& e, fake_cert::Cert&) {
         e.chain.certs[1] = nullptr; }, KSSTK_CHAIN_WRONG_USAGE, true},
      {"untrusted root", [](fake_cert::Engine& e, fake_cert::Cert&) {
         e.chain.trust = 0x20; }, KSSTK_CHAIN_UNTRUSTED_ROOT, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    engine().steps = {};
    engine().chain.trust = 0;
    engine().chain.certs = {&builtServer_, &builtIssuer_};
    builtServer_.serverUsage = true;
    c.arrange(engine(), builtServer_);
    std::vector<std::vector<std::uint8_t>> built;
    bool returned = false;
    EXPECT_EQ(Validate(built, &returned), c.verdict);
    EXPECT_EQ(returned, c.chainReturned);
  }
}

// A failure code from the engine is thrown with its HRESULT; nothing leaks.
TEST_F(ServerChain, FailureCodesAreThrown) {
  engine().steps.createValidation = E_NOTIMPL;
  CertList* chain = reinterpret_cast<CertList*>(1);
  try {
    context_->ValidateServerChain(*list_, &chain);
    ADD_FAILURE() << "no exception";
  } catch (const dcfRunTimeException& e) {
    EXPECT_EQ(e.Code(), E_NOTIMPL);
    EXPECT_STREQ(e.Frame(0).message, "error return from CreateValidation in ksCertChainEngine");
  }
  EXPECT_EQ(chain, nullptr);
}

// A list without context has no engine to ask.
TEST(CertList, WithoutContextTheVerdictIsMinusOne) {
  CertList* list = CertList::Create(nullptr);
  list->Add(reinterpret_cast<const std::uint8_t*>("abc"), 3);
  CertList* chain = reinterpret_cast<CertList*>(1);
  EXPECT_EQ(list->BuildChain(&chain), -1);
  EXPECT_EQ(chain, nullptr);
  EXPECT_EQ(list->GetCert(1), nullptr);
  DerBlob* cert = list->GetCert(0);
  ASSERT_NE(cert, nullptr);
  EXPECT_EQ(cert->Release(), 1u);  // the list keeps its own reference
  list->Release();
}

}  // namespace
