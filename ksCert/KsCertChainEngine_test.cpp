#include "ksCert/KsCertChainEngine.h"

#include <gtest/gtest.h>

#include "ksCert/KsCertLib.h"
#include "ksCert/KsCertStore.h"
#include "ksCert/test_support.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"

namespace {

using kscert_test::Bstr;
using kscert_test::Ref;

class CertChainEngine : public ::testing::Test {
protected:
  void SetUp() override { dcfCreateInstance<KsCertLib>(root_.Out()); }

  Ref<ksCertChainEngine> Make(const char16_t* location) {
    Bstr text(location);
    Ref<ksCertChainEngine> engine;
    EXPECT_EQ(root_->CreateCertChainEngine(text, engine.Out()), S_OK);
    return engine;
  }
  Ref<ksCertStore> Open(const char16_t* name) {
    Bstr text(name);
    Bstr location(u"Current User");
    Ref<ksCertStore> store;
    EXPECT_EQ(root_->OpenCertStore(text, nullptr, location, store.Out()), S_OK);
    return store;
  }
  static KsCertChainEngine* Object(const Ref<ksCertChainEngine>& engine) {
    return static_cast<KsCertChainEngine*>(engine.Get());
  }
  static capi::HCERTSTORE HandleOf(const Ref<ksCertStore>& store) {
    return static_cast<KsCertStore*>(store.Get())->Handle();
  }

  capi::testing::ScopedCertRoot certRoot_;
  Ref<ksCertUtility> root_;
};

TEST_F(CertChainEngine, OwnEngineIsBuiltOnceFromItsStoresAtTheFirstValidation) {
  Ref<ksCertChainEngine> engine = Make(u"elsewhere");
  Ref<ksCertStore> roots = Open(u"ROOT");
  Ref<ksCertStore> intermediates = Open(u"CA");
  EXPECT_EQ(engine->put_RootStore(roots.Get()), S_OK);
  EXPECT_EQ(engine->put_IntermediateStore(intermediates.Get()), S_OK);
  const capi::CertChainEngineConfig& config = Object(engine)->Config();
  EXPECT_EQ(config.restrictedRoot, HandleOf(roots));
  EXPECT_EQ(config.restrictedOther, HandleOf(intermediates));
  EXPECT_EQ(config.flags, 0x80000015u);
  EXPECT_EQ(config.MaximumCachedCertificates, 0u);
  EXPECT_EQ(config.CycleDetectionModulus, 0u);
  EXPECT_FALSE(Object(engine)->IsReady());

  Ref<ksCertStore> held;
  ASSERT_EQ(engine->get_RootStore(held.Out()), S_OK);
  EXPECT_EQ(held.Get(), roots.Get());
  ASSERT_EQ(engine->get_IntermediateStore(held.Out()), S_OK);
  EXPECT_EQ(held.Get(), intermediates.Get());

  Ref<ksCertChainValidation> validation;
  ASSERT_EQ(engine->CreateValidation(validation.Out()), S_OK);
  ASSERT_TRUE(validation);
  Ref<ksCertChainEngine> owner;
  ASSERT_EQ(validation->get_Owner(owner.Out()), S_OK);
  EXPECT_EQ(owner.Get(), engine.Get());
  EXPECT_TRUE(Object(engine)->IsReady());
  EXPECT_FALSE(Object(engine)->IsSystemDefault());
  capi::HCERTCHAINENGINE built = Object(engine)->EngineHandle();
  ASSERT_NE(built, nullptr);
  EXPECT_EQ(engine->CreateValidation(validation.Out()), S_OK);
  EXPECT_EQ(Object(engine)->EngineHandle(), built);  // built once
}

TEST_F(CertChainEngine, CurrentUserEngineIsNeverBuilt) {
  Ref<ksCertChainEngine> engine = Make(u"Current User");
  capi::HCERTCHAINENGINE handle = Object(engine)->EngineHandle();
  Ref<ksCertStore> roots = Open(u"ROOT");
  EXPECT_EQ(engine->put_RootStore(roots.Get()), S_OK);
  Ref<ksCertChainValidation> validation;
  EXPECT_EQ(engine->CreateValidation(validation.Out()), S_OK);
  EXPECT_EQ(Object(engine)->EngineHandle(), handle);
  EXPECT_TRUE(Object(engine)->IsSystemDefault());
  EXPECT_EQ(engine->CreateValidation(nullptr), E_POINTER);
}

TEST_F(CertChainEngine, StoresAreClearedWithNullAndMustOfferTheirHandle) {
  Ref<ksCertChainEngine> engine = Make(nullptr);
  Ref<ksCertStore> roots = Open(u"ROOT");
  ASSERT_EQ(engine->SetRootStore(roots.Get()), S_OK);
  EXPECT_EQ(engine->put_RootStore(nullptr), S_OK);
  EXPECT_EQ(Object(engine)->Config().restrictedRoot, nullptr);
  Ref<ksCertStore> none;
  ASSERT_EQ(engine->get_RootStore(none.Out()), S_OK);
  EXPECT_FALSE(none);

  // A store object that does not hand out its handle.
  struct ForeignStore final : ksCertStore {
    HRESULT QueryInterface(const IID&, void** object) override {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return 1; }
    std::uint32_t Release() override { return 1; }
    HRESULT GetCertByHash(const std::uint8_t*, std::uint32_t, ksCert**) override { return E_NOTIMPL; }
    HRESULT AddEncodedCert(const std::uint8_t*, std::uint32_t, std::int32_t, VARIANT_BOOL*) override { return E_NOTIMPL; }
    HRESULT CreateEnumeration(ksCertArray**) override { return E_NOTIMPL; }
    HRESULT get_Owner(IUnknown**) override { return E_NOTIMPL; }
  } foreign;
  kscert_test::HandledExceptions handled;
  EXPECT_EQ(engine->put_IntermediateStore(&foreign), S_FALSE);
  ASSERT_EQ(handled.All().size(), 1u);
  EXPECT_EQ(handled.All()[0].Code(), E_NOINTERFACE);
  EXPECT_STREQ(handled.All()[0].Frame(0).message,
               "failed to use private interface to retrieve a cert store handle for the intermediate store");
  EXPECT_EQ(handled.All()[0].Frame(0).line, 266);
}

// A store object that offers its private interface but hands over no handle.
struct HandlelessStore final : ksCertStore, ksCertStoreHandle {
  HRESULT QueryInterface(const IID& iid, void** object) override {
    *object = IsEqualIID(iid, IID_ksCertStoreHandle) ? static_cast<ksCertStoreHandle*>(this) : nullptr;
    return *object != nullptr ? S_OK : E_NOINTERFACE;
  }
  std::uint32_t AddRef() override { return 1; }
  std::uint32_t Release() override { return 1; }
  HRESULT GetCertByHash(const std::uint8_t*, std::uint32_t, ksCert**) override { return E_NOTIMPL; }
  HRESULT AddEncodedCert(const std::uint8_t*, std::uint32_t, std::int32_t, VARIANT_BOOL*) override { return E_NOTIMPL; }
  HRESULT CreateEnumeration(ksCertArray**) override { return E_NOTIMPL; }
  HRESULT get_Owner(IUnknown**) override { return E_NOTIMPL; }
  HRESULT GetStoreHandle(capi::HCERTSTORE* handle) override {
    *handle = nullptr;
    return S_FALSE;
  }
};

TEST_F(CertChainEngine, AStoreWithoutHandleLeavesTheHeldStoreAndItsHandleInUse) {
  const capi::testing::TestCertificate ca =
      capi::testing::MakeCertificate("Kept CA", {.notBeforeDays = -1, .notAfterDays = 30, .isCa = true});
  const capi::testing::TestCertificate server = capi::testing::MakeCertificate("server", {.issuer = &ca});
  Ref<ksCertChainEngine> engine = Make(u"elsewhere");
  {
    Ref<ksCertStore> roots = Open(u"KEPTROOT");
    VARIANT_BOOL added = VARIANT_FALSE;
    ASSERT_EQ(roots->AddEncodedCert(ca.der.data(), static_cast<std::uint32_t>(ca.der.size()), kCertFormatDer, &added), S_OK);
    ASSERT_EQ(engine->put_RootStore(roots.Get()), S_OK);
  }  // the engine holds the only reference now
  HandlelessStore handleless;
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(round == 0 ? engine->put_RootStore(&handleless) : engine->put_IntermediateStore(&handleless), S_FALSE);
  }
  Ref<ksCertStore> held;
  ASSERT_EQ(engine->get_RootStore(held.Out()), S_OK);
  ASSERT_TRUE(held);
  EXPECT_EQ(Object(engine)->Config().restrictedRoot, HandleOf(held));
  held.Reset();
  ASSERT_EQ(engine->get_IntermediateStore(held.Out()), S_OK);
  EXPECT_FALSE(held);
  EXPECT_EQ(Object(engine)->Config().restrictedOther, nullptr);

  // The engine built now still trusts the kept root.
  Ref<ksCertChainValidation> validation;
  ASSERT_EQ(engine->CreateValidation(validation.Out()), S_OK);
  VARIANT_BOOL accepted = VARIANT_FALSE;
  ASSERT_EQ(validation->SetEndCert(server.der.data(), static_cast<std::uint32_t>(server.der.size()), &accepted), S_OK);
  Ref<ksCertChain> chain;
  ASSERT_EQ(validation->CreateChain(kCertUsageAny, chain.Out()), S_OK);
  std::int32_t trust = -1;
  EXPECT_EQ(chain->get_Trust(&trust), S_OK);
  EXPECT_EQ(trust, 0);
}

TEST_F(CertChainEngine, RevocationIsSwitchedOnOnlyByVariantTrue) {
  Ref<ksCertChainEngine> engine = Make(u"Current User");
  Ref<ksCertChainEngine3> revocation;
  ASSERT_EQ(engine->QueryInterface(IID_ksCertChainEngine3, reinterpret_cast<void**>(revocation.Out())), S_OK);
  EXPECT_FALSE(Object(engine)->ChecksRevocation());
  const struct {
    VARIANT_BOOL value;
    bool checks;
  } cases[] = {{VARIANT_TRUE, true}, {1, false}, {VARIANT_TRUE, true}, {VARIANT_FALSE, false}};
  for (const auto& c : cases) {
    EXPECT_EQ(revocation->put_CheckRevocation(c.value), S_OK);
    EXPECT_EQ(Object(engine)->ChecksRevocation(), c.checks) << c.value;
  }
}

TEST_F(CertChainEngine, SecondInterfaceStubsAndSharedSlots) {
  Ref<ksCertChainEngine> engine = Make(nullptr);
  Ref<ksCertChainEngine2> second;
  ASSERT_EQ(engine->QueryInterface(IID_ksCertChainEngine2, reinterpret_cast<void**>(second.Out())), S_OK);
  ksCertStore2* store2 = reinterpret_cast<ksCertStore2*>(0x1);
  EXPECT_EQ(second->get_RootStore(nullptr), E_POINTER);
  EXPECT_EQ(second->get_RootStore(&store2), E_NOTIMPL);
  EXPECT_EQ(store2, nullptr);
  EXPECT_EQ(second->put_RootStore(static_cast<ksCertStore2*>(nullptr)), E_NOTIMPL);
  Ref<ksCertStore> intermediates = Open(u"CA");
  EXPECT_EQ(second->put_IntermediateStore(intermediates.Get()), S_OK);
  EXPECT_EQ(Object(engine)->Config().restrictedOther, HandleOf(intermediates));
  // AddRef through one interface, Release through the other: the same count.
  const std::uint32_t count = kscert_test::CountOf(engine.Get());
  second->AddRef();
  EXPECT_EQ(engine->Release(), count);
}

}  // namespace
