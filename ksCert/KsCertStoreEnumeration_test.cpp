#include "ksCert/KsCertStoreEnumeration.h"

#include <dcf/sha1.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "ksCert/KsCertLib.h"
#include "ksCert/test_support.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"

namespace {

using kscert_test::Bstr;
using kscert_test::Ref;
using kscert_test::Sha1;

class CertStoreSnapshot : public ::testing::Test {
protected:
  void SetUp() override {
    dcfCreateInstance<KsCertLib>(root_.Out());
    Bstr name(u"CA");
    Bstr location(u"Current User");
    ASSERT_EQ(root_->OpenCertStore(name, nullptr, location, store_.Out()), S_OK);
  }
  void Add(const capi::testing::TestCertificate& certificate) {
    VARIANT_BOOL added = VARIANT_FALSE;
    ASSERT_EQ(store_->AddEncodedCert(certificate.der.data(), static_cast<std::uint32_t>(certificate.der.size()),
                                     kCertFormatDer, &added),
              S_OK);
  }

  capi::testing::ScopedCertRoot certRoot_;
  Ref<ksCertUtility> root_;
  Ref<ksCertStore> store_;
};

TEST_F(CertStoreSnapshot, OfAnEmptyStoreHasNothing) {
  Ref<ksCertArray> snapshot;
  ASSERT_EQ(store_->CreateEnumeration(snapshot.Out()), S_OK);
  std::int32_t count = -1;
  EXPECT_EQ(snapshot->get_NumCerts(&count), S_OK);
  EXPECT_EQ(count, 0);
  Ref<ksCert> cert;
  EXPECT_EQ(snapshot->get_Cert(0, cert.Out()), S_FALSE);
  EXPECT_FALSE(cert);
}

TEST_F(CertStoreSnapshot, KeepsTheHashesOfItsMomentAndLooksCertificatesUpAgain) {
  const auto alice = capi::testing::MakeCertificate("alice");
  const auto bob = capi::testing::MakeCertificate("bob");
  Add(alice);
  Add(bob);
  Ref<ksCertArray> snapshot;
  ASSERT_EQ(store_->CreateEnumeration(snapshot.Out()), S_OK);
  Add(capi::testing::MakeCertificate("carol"));  // later additions are not in it

  std::int32_t count = 0;
  ASSERT_EQ(snapshot->get_NumCerts(&count), S_OK);
  ASSERT_EQ(count, 2);
  std::vector<std::vector<std::uint8_t>> hashes;
  for (std::int32_t i = 0; i < count; ++i) {
    std::vector<std::uint8_t> hash(20);
    std::uint32_t length = 0;
    ASSERT_EQ(snapshot->get_CertHash(i, hash.data(), 20, &length), S_OK);
    EXPECT_EQ(length, 20u);
    hashes.push_back(hash);
  }
  std::sort(hashes.begin(), hashes.end());
  auto expected = std::vector<std::vector<std::uint8_t>>{Sha1(alice.der), Sha1(bob.der)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(hashes, expected);

  // A short buffer learns the size and gets nothing; an index outside zero-fills it all.
  std::vector<std::uint8_t> shortBuffer(10, 0xEE);
  std::uint32_t length = 0;
  EXPECT_EQ(snapshot->get_CertHash(0, shortBuffer.data(), 10, &length), S_OK);
  EXPECT_EQ(length, 20u);
  EXPECT_EQ(shortBuffer, std::vector<std::uint8_t>(10, 0xEE));
  for (std::int32_t outside : {-1, 2}) {
    std::vector<std::uint8_t> buffer(24, 0xEE);
    length = 99;
    EXPECT_EQ(snapshot->get_CertHash(outside, buffer.data(), 24, &length), S_FALSE);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(24, 0));
  }

  // A certificate removed since: its hash is still listed, the certificate is gone.
  std::vector<std::uint8_t> first(20);
  ASSERT_EQ(snapshot->get_CertHash(0, first.data(), 20, &length), S_OK);
  std::string hex;
  for (std::uint8_t byte : first) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  ASSERT_TRUE(std::filesystem::remove(certRoot_.StoreDirectory("CA") + "/" + hex + ".der"));
  Ref<ksCert> cert;
  EXPECT_EQ(snapshot->get_Cert(0, cert.Out()), S_FALSE);
  EXPECT_FALSE(cert);
  ASSERT_EQ(snapshot->get_Cert(1, cert.Out()), S_OK);
  Ref<IUnknown> owner;
  ASSERT_EQ(cert->GetOwner(owner.Out()), S_OK);
  EXPECT_EQ(owner.Get(), static_cast<IUnknown*>(store_.Get()));  // the store, not the snapshot
  EXPECT_EQ(snapshot->get_CertHash(0, first.data(), 20, &length), S_OK);
}

TEST_F(CertStoreSnapshot, SecondInterfacesAgree) {
  const auto alice = capi::testing::MakeCertificate("alice");
  Add(alice);
  Ref<ksCertStore2> store2;
  ASSERT_EQ(store_->QueryInterface(IID_ksCertStore2, reinterpret_cast<void**>(store2.Out())), S_OK);
  Ref<ksCertStoreEnumeration> snapshot;
  ASSERT_EQ(store2->CreateEnumeration(snapshot.Out()), S_OK);
  Ref<ksCert2> cert;
  ASSERT_EQ(snapshot->get_Cert(0, cert.Out()), S_OK);
  std::vector<std::uint8_t> hash(20);
  std::uint32_t length = 0;
  ASSERT_EQ(cert->get_Hash(hash.data(), 20, &length), S_OK);
  EXPECT_EQ(hash, Sha1(alice.der));
  Ref<ksCertArray> main;
  ASSERT_EQ(snapshot->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(main.Out())), S_OK);
  std::int32_t count = 0;
  EXPECT_EQ(main->get_NumCerts(&count), S_OK);
  EXPECT_EQ(count, 1);
  Ref<IUnknown> owner;
  ASSERT_EQ(main->get_Owner(owner.Out()), S_OK);
  EXPECT_EQ(owner.Get(), static_cast<IUnknown*>(store_.Get()));
}

}  // namespace
