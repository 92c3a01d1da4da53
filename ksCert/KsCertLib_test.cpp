#include "ksCert/KsCertLib.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "ksCert/KsCertChainEngine.h"
#include "ksCert/KsCertStore.h"
#include "ksCert/test_support.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"

namespace {

using kscert_test::Bstr;
using kscert_test::CountOf;
using kscert_test::Ref;

class CertRoot : public ::testing::Test {
protected:
  void SetUp() override { dcfCreateInstance<KsCertLib>(root_.Out()); }

  KsCertChainEngine* EngineOf(ksCertChainEngine* engine) { return static_cast<KsCertChainEngine*>(engine); }

  capi::testing::ScopedCertRoot certRoot_;
  Ref<ksCertUtility> root_;
};

TEST_F(CertRoot, IsMadeWithOneReferenceAndTwoInterfaces) {
  ASSERT_TRUE(root_);
  EXPECT_EQ(CountOf(root_.Get()), 1u);
  Ref<ksCertUtility2> second;
  ASSERT_EQ(root_->QueryInterface(IID_ksCertUtility2, reinterpret_cast<void**>(second.Out())), S_OK);
  // Counted on the one object, whichever interface is used.
  second->AddRef();
  EXPECT_EQ(root_->Release(), 2u);
  Ref<IUnknown> identity;
  ASSERT_EQ(second->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.Out())), S_OK);
  EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(root_.Get()));
}

TEST_F(CertRoot, MakesTheCurrentUserEngineFromTheSystemDefault) {
  Bstr location(u"Current User");
  Ref<ksCertChainEngine> engine;
  ASSERT_EQ(root_->CreateCertChainEngine(location, engine.Out()), S_OK);
  ASSERT_TRUE(engine);
  EXPECT_EQ(CountOf(engine.Get()), 1u);
  EXPECT_TRUE(EngineOf(engine.Get())->IsSystemDefault());
  EXPECT_TRUE(EngineOf(engine.Get())->IsReady());
  EXPECT_EQ(EngineOf(engine.Get())->EngineHandle(), capi::CertDefaultChainEngine(capi::StoreLocation::CurrentUser));

  // The engine holds the root: it outlives the caller's own reference.
  EXPECT_EQ(CountOf(root_.Get()), 2u);
  ksCertUtility* raw = root_.Get();
  root_.Out();
  Ref<ksCertUtility> owner;
  ASSERT_EQ(engine->get_Owner(owner.Out()), S_OK);
  EXPECT_EQ(owner.Get(), raw);
  owner.Reset();
  const std::uint32_t before = KsCertObjectCount();
  engine.Reset();
  EXPECT_EQ(KsCertObjectCount(), before - 2);  // the engine and, with it, the root
}

TEST_F(CertRoot, OnlyTheExactLocationNamesGiveADefaultEngine) {
  struct Case {
    const char16_t* location;
    bool isDefault;
    capi::StoreLocation which;
  };
  const Case cases[] = {
      {u"Current User", true, capi::StoreLocation::CurrentUser},
      {u"Local Machine", true, capi::StoreLocation::LocalMachine},
      {u"current user", false, {}},
      {u"Local machine", false, {}},
      {u"Remote Store", false, {}},
      {u"", false, {}},
      {nullptr, false, {}},
  };
  for (const Case& c : cases) {
    Bstr location(c.location);
    Ref<ksCertChainEngine> engine;
    ASSERT_EQ(root_->CreateCertChainEngine(location, engine.Out()), S_OK);
    KsCertChainEngine* object = EngineOf(engine.Get());
    EXPECT_EQ(object->IsSystemDefault(), c.isDefault);
    EXPECT_EQ(object->IsReady(), c.isDefault);
    EXPECT_EQ(object->EngineHandle(), c.isDefault ? capi::CertDefaultChainEngine(c.which) : nullptr);
  }
  EXPECT_EQ(root_->CreateCertChainEngine(nullptr, nullptr), E_POINTER);
}

TEST_F(CertRoot, SecondInterfaceHandsOutTheEnginesSecondInterface) {
  Ref<ksCertUtility2> second;
  ASSERT_EQ(root_->QueryInterface(IID_ksCertUtility2, reinterpret_cast<void**>(second.Out())), S_OK);
  Bstr location(u"Current User");
  Ref<ksCertChainEngine2> withLocation;
  Ref<ksCertChainEngine2> withoutLocation;
  ASSERT_EQ(second->CreateCertChainEngine(location, withLocation.Out()), S_OK);
  ASSERT_EQ(second->CreateCertChainEngine(withoutLocation.Out()), S_OK);
  Ref<ksCertChainEngine> main;
  ASSERT_EQ(withLocation->QueryInterface(IID_ksCertChainEngine, reinterpret_cast<void**>(main.Out())), S_OK);
  EXPECT_TRUE(EngineOf(main.Get())->IsSystemDefault());
  ASSERT_EQ(withoutLocation->QueryInterface(IID_ksCertChainEngine, reinterpret_cast<void**>(main.Out())), S_OK);
  EXPECT_FALSE(EngineOf(main.Get())->IsSystemDefault());
  EXPECT_EQ(second->CreateCertChainEngine(nullptr), E_POINTER);
}

TEST_F(CertRoot, OpensStoresByLocation) {
  auto made = capi::testing::MakeCertificate("alice");
  struct Case {
    const char16_t* name;
    const char16_t* location;
    const char* folder;  // where an added certificate lands; null: in memory only
  };
  const Case cases[] = {
      {u"MY", u"Current User", "CurrentUser/MY"},
      {u"my", u"CURRENT USER", "CurrentUser/MY"},
      {u"Root", u"local machine", "LocalMachine/ROOT"},
      {u"my", nullptr, "CurrentUser/MY"},
      {u"ca", u"somewhere else", "CurrentUser/CA"},
      {u"directory.example", u"Remote Store", nullptr},
  };
  for (const Case& c : cases) {
    Bstr name(c.name);
    Bstr location(c.location);
    Bstr dn(u"CN=alice");
    Ref<ksCertStore> store;
    ASSERT_EQ(root_->OpenCertStore(name, dn, location, store.Out()), S_OK) << c.folder;
    VARIANT_BOOL added = VARIANT_FALSE;
    EXPECT_EQ(store->AddEncodedCert(made.der.data(), static_cast<std::uint32_t>(made.der.size()), kCertFormatDer, &added), S_OK);
    EXPECT_EQ(added, VARIANT_TRUE);
    if (c.folder != nullptr) {
      EXPECT_TRUE(std::filesystem::exists(certRoot_.Path() + "/" + c.folder)) << c.folder;
      std::filesystem::remove_all(certRoot_.Path() + "/" + c.folder);
    }
    Ref<IUnknown> owner;
    ASSERT_EQ(store->get_Owner(owner.Out()), S_OK);
    EXPECT_EQ(owner.Get(), static_cast<IUnknown*>(root_.Get()));
  }
  // The remote store holds only what was added to it: it is a fresh memory store.
  EXPECT_FALSE(std::filesystem::exists(certRoot_.Path() + "/CurrentUser/DIRECTORY.EXAMPLE"));

  Bstr badName(u"../MY");
  Bstr location(u"Current User");
  Ref<ksCertStore> none;
  EXPECT_EQ(root_->OpenCertStore(badName, nullptr, location, none.Out()), S_FALSE);
  EXPECT_FALSE(none);
  EXPECT_EQ(root_->OpenCertStore(badName, nullptr, location, static_cast<ksCertStore**>(nullptr)), E_POINTER);
}

TEST_F(CertRoot, LooksUpFieldCodes) {
  Ref<ksCertUtility2> second;
  ASSERT_EQ(root_->QueryInterface(IID_ksCertUtility2, reinterpret_cast<void**>(second.Out())), S_OK);
  struct Case {
    const char16_t* name;
    std::int32_t code;
  };
  const Case cases[] = {
      {u"Version", 1}, {u"serial number", 2}, {u"Subject Public Key Info", 8},
      {u"EXTENDED KEY USAGE", 16}, {u"extended key usage", 16}, {u"2.5.29.37", 16},
      {u"Subject Alternate Name", 12}, {u"2.5.29.18", 11}, {u"Common Name", 14},
      {u"Subject Name Simple Display", 18}, {u"Subject Alt Name DNS Name", 15},
      {u"Friendly Name", 0}, {u"", 0}, {nullptr, 0}, {u"Version ", 0},
  };
  for (const Case& c : cases) {
    Bstr name(c.name);
    std::int32_t code = -1;
    EXPECT_EQ(second->GetCertFieldCode(name, &code), S_OK);
    EXPECT_EQ(code, c.code);
  }
  EXPECT_EQ(second->GetCertFieldCode(nullptr, nullptr), E_POINTER);
}

TEST_F(CertRoot, ArraysKeepTheirOrderAndRefuseABadCertificate) {
  auto a = capi::testing::MakeCertificate("a");
  auto b = capi::testing::MakeCertificate("b");
  auto c = capi::testing::MakeCertificate("c");
  const std::vector<std::uint8_t> junk = {0x30, 0x01, 0x00};
  auto blob = [](const std::vector<std::uint8_t>& der) {
    return ksCertBlob{der.data(), static_cast<std::uint32_t>(der.size())};
  };

  Ref<ksCertArray> empty;
  ASSERT_EQ(root_->CreateCertArray(nullptr, 0, empty.Out()), S_OK);
  std::int32_t count = -1;
  EXPECT_EQ(empty->get_NumCerts(&count), S_OK);
  EXPECT_EQ(count, 0);

  const ksCertBlob three[] = {blob(a.der), blob(b.der), blob(c.der)};
  Ref<ksCertArray> array;
  ASSERT_EQ(root_->CreateCertArray(three, 3, array.Out()), S_OK);
  EXPECT_EQ(array->get_NumCerts(&count), S_OK);
  EXPECT_EQ(count, 3);
  Ref<ksCert> third;
  ASSERT_EQ(array->get_Cert(2, third.Out()), S_OK);
  std::vector<std::uint8_t> der(4096);
  std::uint32_t length = 0;
  ASSERT_EQ(third->ExportCert(kCertExportDer, nullptr, 0, der.data(), static_cast<std::uint32_t>(der.size()), &length), S_OK);
  der.resize(length);
  EXPECT_EQ(der, c.der);

  const std::uint32_t before = KsCertObjectCount();
  const ksCertBlob withJunk[] = {blob(a.der), blob(junk), blob(c.der)};
  ksCertArray* refused = reinterpret_cast<ksCertArray*>(0x1);
  EXPECT_EQ(root_->CreateCertArray(withJunk, 3, &refused), S_FALSE);
  EXPECT_EQ(refused, nullptr);
  EXPECT_EQ(KsCertObjectCount(), before);  // the half-filled array is gone
}

TEST_F(CertRoot, NamesAreMadeEmptyThroughBothInterfaces) {
  Ref<ksCertName> name;
  ASSERT_EQ(root_->CreateCertName(name.Out()), S_OK);
  plat::BSTR text = reinterpret_cast<plat::BSTR>(0x1);
  EXPECT_EQ(name->get_Text(&text), S_OK);
  EXPECT_EQ(text, nullptr);
  Ref<ksCertUtility2> second;
  ASSERT_EQ(root_->QueryInterface(IID_ksCertUtility2, reinterpret_cast<void**>(second.Out())), S_OK);
  Ref<ksCertName2> name2;
  ASSERT_EQ(second->CreateCertName(name2.Out()), S_OK);
  EXPECT_TRUE(name2);
  EXPECT_EQ(root_->CreateCertName(nullptr), E_POINTER);
  EXPECT_EQ(second->CreateCertName(nullptr), E_POINTER);
}

}  // namespace
