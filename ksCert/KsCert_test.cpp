#include "ksCert/KsCert.h"

#include <dcf/sha1.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "ksCert/KsCertLib.h"
#include "ksCert/test_support.h"
#include "platform/cryptoapi/directory_store.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"
#include "platform/win32/atomic_file.h"
#include "platform/win32/test_temp_dir.h"

namespace {

using kscert_test::Bstr;
using kscert_test::CountOf;
using kscert_test::Ref;
using kscert_test::RunCommand;
using kscert_test::Sha1;

// A root and the current user's "MY" store over a fresh certificate directory.
class CertObject : public ::testing::Test {
protected:
  void SetUp() override {
    dcfCreateInstance<KsCertLib>(root_.Out());
    Bstr name(u"MY");
    Bstr location(u"Current User");
    ASSERT_EQ(root_->OpenCertStore(name, nullptr, location, store_.Out()), S_OK);
  }

  void Add(const std::vector<std::uint8_t>& der) {
    VARIANT_BOOL added = VARIANT_FALSE;
    ASSERT_EQ(store_->AddEncodedCert(der.data(), static_cast<std::uint32_t>(der.size()), kCertFormatDer, &added), S_OK);
  }

  Ref<ksCert> Find(const std::vector<std::uint8_t>& hash, HRESULT expected = S_OK) {
    Ref<ksCert> cert;
    EXPECT_EQ(store_->GetCertByHash(hash.data(), static_cast<std::uint32_t>(hash.size()), cert.Out()), expected);
    return cert;
  }

  capi::testing::ScopedCertRoot certRoot_;
  Ref<ksCertUtility> root_;
  Ref<ksCertStore> store_;
};

// The hash a certificate made by the openssl tool gets, against the tool's own fingerprint.
TEST_F(CertObject, HashOfACertificateMadeByTheOpensslTool) {
  plat::TestTempDir work;
  const std::string der = work.File("cert.der");
  RunCommand("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=tool "
             "-days 2 -outform DER -out " + der + " -keyout " + work.File("key.pem") + " 2>/dev/null");
  const std::string fingerprint =
      RunCommand("openssl x509 -inform DER -in " + der + " -noout -fingerprint -sha1");
  const std::size_t equals = fingerprint.find('=');
  ASSERT_NE(equals, std::string::npos) << fingerprint;
  std::vector<std::uint8_t> expected;
  for (std::size_t i = equals + 1; i + 1 < fingerprint.size(); i += 3) {
    expected.push_back(static_cast<std::uint8_t>(std::stoul(fingerprint.substr(i, 2), nullptr, 16)));
  }
  ASSERT_EQ(expected.size(), 20u);

  auto bytes = plat::ReadWholeFile(der, 1 << 20);
  ASSERT_TRUE(bytes);
  Add(std::vector<std::uint8_t>(bytes->begin(), bytes->end()));
  Ref<ksCert> cert = Find(expected);
  ASSERT_TRUE(cert);
  std::vector<std::uint8_t> hash(20);
  std::uint32_t length = 0;
  EXPECT_EQ(cert->get_Hash(hash.data(), 20, &length), S_OK);
  EXPECT_EQ(length, 20u);
  EXPECT_EQ(hash, expected);
}

TEST_F(CertObject, HashFollowsTheBufferRulesThroughBothInterfaces) {
  const auto made = capi::testing::MakeCertificate("alice");
  Add(made.der);
  const auto expected = Sha1(made.der);
  Ref<ksCert> cert = Find(expected);
  ASSERT_TRUE(cert);
  Ref<ksCert2> second;
  ASSERT_EQ(cert->QueryInterface(IID_ksCert2, reinterpret_cast<void**>(second.Out())), S_OK);

  std::vector<std::uint8_t> hash(32, 0xEE);
  std::uint32_t length = 99;
  EXPECT_EQ(second->get_Hash(hash.data(), 32, &length), S_OK);
  EXPECT_EQ(length, 20u);
  EXPECT_EQ(std::vector<std::uint8_t>(hash.begin(), hash.begin() + 20), expected);

  // Too small: nothing of the hash, a zeroed buffer and length 0.
  std::vector<std::uint8_t> shortBuffer(19, 0xEE);
  length = 99;
  EXPECT_EQ(cert->get_Hash(shortBuffer.data(), 19, &length), S_FALSE);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(shortBuffer, std::vector<std::uint8_t>(19, 0));

  EXPECT_EQ(cert->get_Hash(nullptr, 20, &length), E_POINTER);
  EXPECT_EQ(cert->get_Hash(hash.data(), 20, nullptr), E_POINTER);
}

TEST_F(CertObject, StoreFindsByHashOnlyWhatItHolds) {
  const auto alice = capi::testing::MakeCertificate("alice");
  const auto bob = capi::testing::MakeCertificate("bob");
  Add(alice.der);
  EXPECT_FALSE(Find(Sha1(bob.der), S_FALSE));
  EXPECT_FALSE(Find(std::vector<std::uint8_t>(20, 0), S_FALSE));
  EXPECT_EQ(store_->GetCertByHash(Sha1(alice.der).data(), 20, static_cast<ksCert**>(nullptr)), E_POINTER);

  Ref<ksCert> cert = Find(Sha1(alice.der));
  ASSERT_TRUE(cert);
  EXPECT_EQ(CountOf(cert.Get()), 1u);
  // The store is the certificate's owner, and stays alive for it.
  Ref<IUnknown> owner;
  ASSERT_EQ(cert->GetOwner(owner.Out()), S_OK);
  Ref<IUnknown> storeIdentity;
  ASSERT_EQ(store_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(storeIdentity.Out())), S_OK);
  EXPECT_EQ(owner.Get(), storeIdentity.Get());
  EXPECT_EQ(storeIdentity.Get(), static_cast<IUnknown*>(store_.Get()));

  Ref<ksCertStore2> second;
  ASSERT_EQ(store_->QueryInterface(IID_ksCertStore2, reinterpret_cast<void**>(second.Out())), S_OK);
  Ref<ksCert2> cert2;
  EXPECT_EQ(second->GetCertByHash(Sha1(alice.der).data(), 20, cert2.Out()), S_OK);
  EXPECT_TRUE(cert2);
}

TEST_F(CertObject, AddRefusesOtherFormatsAndBadBytes) {
  const auto alice = capi::testing::MakeCertificate("alice");
  const std::uint32_t size = static_cast<std::uint32_t>(alice.der.size());
  struct Case {
    const std::uint8_t* der;
    std::uint32_t length;
    std::int32_t format;
  };
  const Case cases[] = {{alice.der.data(), size, 2}, {alice.der.data(), size - 1, kCertFormatDer}, {nullptr, size, kCertFormatDer}};
  for (const Case& c : cases) {
    VARIANT_BOOL added = VARIANT_TRUE;
    EXPECT_EQ(store_->AddEncodedCert(c.der, c.length, c.format, &added), S_FALSE);
    EXPECT_EQ(added, VARIANT_FALSE);
  }
  EXPECT_FALSE(Find(Sha1(alice.der), S_FALSE));
  EXPECT_EQ(store_->AddEncodedCert(alice.der.data(), size, kCertFormatDer, nullptr), E_POINTER);
}

TEST_F(CertObject, ExportsDerAndTheEncodedSubject) {
  const auto alice = capi::testing::MakeCertificate("alice");
  Add(alice.der);
  Ref<ksCert> cert = Find(Sha1(alice.der));
  ASSERT_TRUE(cert);

  std::vector<std::uint8_t> buffer(8, 0xEE);
  std::uint32_t length = 0;
  // Too small: the needed size, nothing copied.
  EXPECT_EQ(cert->ExportCert(kCertExportDer, nullptr, 0, buffer.data(), 8, &length), S_OK);
  EXPECT_EQ(length, alice.der.size());
  EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0xEE));
  buffer.resize(length);
  EXPECT_EQ(cert->ExportCert(kCertExportDer, nullptr, 0, buffer.data(), length, &length), S_OK);
  EXPECT_EQ(buffer, alice.der);
  // DER carries no private key: a password is refused (the exception stays inside).
  kscert_test::HandledExceptions handled;
  EXPECT_EQ(cert->ExportCert(kCertExportDer, "pass", 4, buffer.data(), length, &length), S_FALSE);
  ASSERT_EQ(handled.All().size(), 1u);
  EXPECT_STREQ(handled.All()[0].Frame(1).file, "KsCert");
  // An unknown format: zeroed buffer and length 0.
  EXPECT_EQ(cert->ExportCert(7, nullptr, 0, buffer.data(), length, &length), S_FALSE);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(buffer, std::vector<std::uint8_t>(alice.der.size(), 0));

  unsigned char* subjectDer = nullptr;
  const int subjectLength = i2d_X509_NAME(X509_get_subject_name(alice.x509.get()), &subjectDer);
  const std::vector<std::uint8_t> subject(subjectDer, subjectDer + subjectLength);
  OPENSSL_free(subjectDer);
  std::vector<std::uint8_t> name(subject.size() - 1, 0xEE);
  EXPECT_EQ(cert->GetEncodedSubject(kCertEncodingX509Name, name.data(), static_cast<std::uint32_t>(name.size()), &length), S_FALSE);
  EXPECT_EQ(length, subject.size());  // the first interface tells the needed size
  name.resize(subject.size());
  EXPECT_EQ(cert->GetEncodedSubject(kCertEncodingX509Name, name.data(), static_cast<std::uint32_t>(name.size()), &length), S_OK);
  EXPECT_EQ(name, subject);
  EXPECT_EQ(cert->GetEncodedSubject(6, name.data(), static_cast<std::uint32_t>(name.size()), &length), S_FALSE);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(name, subject);  // a KsCert leaves the buffer alone

  Ref<ksCert2> second;
  ASSERT_EQ(cert->QueryInterface(IID_ksCert2, reinterpret_cast<void**>(second.Out())), S_OK);
  std::vector<std::uint8_t> small(subject.size() - 1, 0xEE);
  EXPECT_EQ(second->GetEncodedSubject(small.data(), static_cast<std::uint32_t>(small.size()), &length), S_FALSE);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(small, std::vector<std::uint8_t>(subject.size() - 1, 0));
}

TEST_F(CertObject, FriendlyNameComesFromTheStore) {
  const auto alice = capi::testing::MakeCertificate("alice");
  const auto bob = capi::testing::MakeCertificate("bob");
  Add(alice.der);
  Add(bob.der);
  capi::HCERTSTORE handle = nullptr;
  Ref<ksCertStoreHandle> handleInterface;
  ASSERT_EQ(store_->QueryInterface(IID_ksCertStoreHandle, reinterpret_cast<void**>(handleInterface.Out())), S_OK);
  ASSERT_EQ(handleInterface->GetStoreHandle(&handle), S_OK);
  const auto hash = Sha1(alice.der);
  const capi::CryptHashBlob blob{20, hash.data()};
  capi::PCCERT_CONTEXT context = capi::CertFindCertificateInStore(handle, capi::X509_ASN_ENCODING, 0, capi::CERT_FIND_SHA1_HASH, &blob, nullptr);
  ASSERT_NE(context, nullptr);
  const std::u16string text = u"Alice at work";
  ASSERT_TRUE(capi::CertSetCertificateContextProperty(context, capi::CERT_FRIENDLY_NAME_PROP_ID, text.c_str(),
                                                      static_cast<std::uint32_t>(text.size() * 2)));
  capi::CertFreeCertificateContext(context);

  Ref<ksCertStore2> second;
  ASSERT_EQ(store_->QueryInterface(IID_ksCertStore2, reinterpret_cast<void**>(second.Out())), S_OK);
  Ref<ksCert2> cert;
  ASSERT_EQ(second->GetCertByHash(hash.data(), 20, cert.Out()), S_OK);
  plat::BSTR name = nullptr;
  EXPECT_EQ(cert->get_FriendlyName(&name), S_OK);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::u16string(name, plat::SysStringLen(name)), text);
  plat::SysFreeString(name);

  ASSERT_EQ(second->GetCertByHash(Sha1(bob.der).data(), 20, cert.Out()), S_OK);
  name = reinterpret_cast<plat::BSTR>(0x1);
  EXPECT_EQ(cert->get_FriendlyName(&name), S_FALSE);
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(cert->get_FriendlyName(nullptr), E_POINTER);
}

TEST_F(CertObject, HasPrivateKeyOnlyWithAMatchingKeyBesideIt) {
  const auto alice = capi::testing::MakeCertificate("alice");
  const auto bob = capi::testing::MakeCertificate("bob");
  Add(alice.der);
  Ref<ksCert> cert = Find(Sha1(alice.der));
  ASSERT_TRUE(cert);
  VARIANT_BOOL has = VARIANT_TRUE;
  EXPECT_EQ(cert->HasPrivateKey(&has), S_OK);
  EXPECT_EQ(has, VARIANT_FALSE);

  const std::string keyFile = certRoot_.StoreDirectory("MY") + "/" + capi::detail::HashToHex(Sha1(alice.der).data()) + ".key";
  for (const auto* owner : {&bob, &alice}) {
    const auto pkcs8 = owner->Pkcs8();
    ASSERT_TRUE(plat::WriteFileAtomically(keyFile, std::string(pkcs8.begin(), pkcs8.end())));
    ASSERT_EQ(::chmod(keyFile.c_str(), 0600), 0);
    EXPECT_EQ(cert->HasPrivateKey(&has), S_OK);
    EXPECT_EQ(has, owner == &alice ? VARIANT_TRUE : VARIANT_FALSE);
  }
  EXPECT_EQ(cert->HasPrivateKey(nullptr), E_POINTER);
}

}  // namespace
