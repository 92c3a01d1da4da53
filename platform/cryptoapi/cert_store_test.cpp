#include "platform/cryptoapi/cert_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/directory_store.h"
#include "platform/cryptoapi/last_error.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"
#include "platform/win32/atomic_file.h"

namespace capi {
namespace {

using testing::MakeCertificate;
using testing::TestCertificate;

struct StoreClose {
  void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
using StoreHolder = std::unique_ptr<CertStore, StoreClose>;

struct ContextFree {
  void operator()(PCCERT_CONTEXT context) const { CertFreeCertificateContext(context); }
};
using ContextHolder = std::unique_ptr<const CertContext, ContextFree>;

ContextHolder ContextOf(const TestCertificate& certificate) {
  return ContextHolder(CertCreateCertificateContext(X509_ASN_ENCODING, certificate.der.data(),
                                                    static_cast<std::uint32_t>(certificate.der.size())));
}

std::vector<std::uint8_t> Sha1Of(PCCERT_CONTEXT context) {
  std::vector<std::uint8_t> hash(kSha1HashSize);
  std::uint32_t size = kSha1HashSize;
  if (!CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, hash.data(), &size)) hash.clear();
  return hash;
}

ContextHolder FindBySha1(HCERTSTORE store, const std::vector<std::uint8_t>& hash) {
  CryptHashBlob blob{static_cast<std::uint32_t>(hash.size()), hash.data()};
  return ContextHolder(CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                  CERT_FIND_SHA1_HASH, &blob, nullptr));
}

// The DER bytes of every certificate, in enumeration order.
std::vector<std::vector<std::uint8_t>> Enumerate(HCERTSTORE store) {
  std::vector<std::vector<std::uint8_t>> all;
  PCCERT_CONTEXT context = nullptr;
  while ((context = CertEnumCertificatesInStore(store, context)) != nullptr) {
    all.emplace_back(context->encoded, context->encoded + context->encodedLength);
  }
  EXPECT_EQ(GetLastError(), CRYPT_E_NOT_FOUND);
  return all;
}

std::string HexName(const TestCertificate& certificate) {
  auto context = ContextOf(certificate);
  return detail::HashToHex(Sha1Of(context.get()).data());
}

class SystemStore : public ::testing::Test {
protected:
  testing::ScopedCertRoot root_;
  TestCertificate alice_ = MakeCertificate("alice");
  TestCertificate bob_ = MakeCertificate("bob");
};

TEST_F(SystemStore, MissingDirectoryIsAnEmptyStoreUntilTheFirstAdd) {
  StoreHolder store(CertOpenSystemStore(StoreLocation::CurrentUser, "my"));
  ASSERT_NE(store, nullptr);
  EXPECT_TRUE(Enumerate(store.get()).empty());
  EXPECT_EQ(FindBySha1(store.get(), std::vector<std::uint8_t>(20, 1)), nullptr);
  EXPECT_EQ(GetLastError(), CRYPT_E_NOT_FOUND);
  EXPECT_FALSE(std::filesystem::exists(root_.StoreDirectory("MY")));

  auto context = ContextOf(alice_);
  PCCERT_CONTEXT added = nullptr;
  ASSERT_TRUE(CertAddCertificateContextToStore(store.get(), context.get(), CERT_STORE_ADD_ALWAYS, &added));
  ContextHolder addedHolder(added);
  EXPECT_EQ(added->store, store.get());

  const std::string file = root_.StoreDirectory("MY") + "/" + HexName(alice_) + ".der";
  EXPECT_EQ(plat::ReadWholeFile(file, 1 << 20), alice_.DerString());
  struct stat st {};
  ASSERT_EQ(::stat(root_.StoreDirectory("MY").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(SystemStore, WhatOneHandleAddsAnotherFindsByHash) {
  StoreHolder writer(CertOpenSystemStore(StoreLocation::CurrentUser, "MY"));
  StoreHolder reader(CertOpenSystemStore(StoreLocation::CurrentUser, "My"));
  auto alice = ContextOf(alice_);
  auto bob = ContextOf(bob_);
  ASSERT_TRUE(CertAddCertificateContextToStore(writer.get(), alice.get(), CERT_STORE_ADD_ALWAYS, nullptr));
  ASSERT_TRUE(CertAddCertificateContextToStore(writer.get(), bob.get(), CERT_STORE_ADD_ALWAYS, nullptr));
  // Filed under its hash: adding it again leaves one file.
  ASSERT_TRUE(CertAddCertificateContextToStore(writer.get(), bob.get(), CERT_STORE_ADD_ALWAYS, nullptr));

  auto found = FindBySha1(reader.get(), Sha1Of(bob.get()));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::vector<std::uint8_t>(found->encoded, found->encoded + found->encodedLength), bob_.der);
  EXPECT_EQ(found->store, reader.get());

  auto all = Enumerate(reader.get());
  ASSERT_EQ(all.size(), 2u);
  // Hash order.
  const bool aliceFirst = HexName(alice_) < HexName(bob_);
  EXPECT_EQ(all[0], aliceFirst ? alice_.der : bob_.der);
  EXPECT_EQ(all[1], aliceFirst ? bob_.der : alice_.der);

  // Other locations and other stores are apart.
  StoreHolder machine(CertOpenSystemStore(StoreLocation::LocalMachine, "MY"));
  StoreHolder rootStore(CertOpenSystemStore(StoreLocation::CurrentUser, "ROOT"));
  EXPECT_EQ(FindBySha1(machine.get(), Sha1Of(bob.get())), nullptr);
  EXPECT_EQ(FindBySha1(rootStore.get(), Sha1Of(bob.get())), nullptr);
}

TEST_F(SystemStore, OnlyFilesNamedByTheirOwnHashBelongToTheStore) {
  const std::string dir = root_.StoreDirectory("CA");
  std::filesystem::create_directories(dir);
  const std::string aliceHex = HexName(alice_);
  std::string lower = HexName(bob_);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_TRUE(plat::WriteFileAtomically(dir + "/" + lower + ".der", bob_.DerString()));  // accepted
  // Alice's bytes under a hash that is not theirs, and files that are not certificates.
  ASSERT_TRUE(plat::WriteFileAtomically(dir + "/" + std::string(40, 'A') + ".der", alice_.DerString()));
  ASSERT_TRUE(plat::WriteFileAtomically(dir + "/" + aliceHex + ".pem", alice_.DerString()));
  ASSERT_TRUE(plat::WriteFileAtomically(dir + "/alice.der", alice_.DerString()));
  std::filesystem::create_directory(dir + "/" + std::string(40, 'B') + ".der");
  std::string garbage = "not a certificate";
  ASSERT_TRUE(plat::WriteFileAtomically(dir + "/" + std::string(40, 'C') + ".der", garbage));

  StoreHolder store(CertOpenSystemStore(StoreLocation::CurrentUser, "ca"));
  auto all = Enumerate(store.get());
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0], bob_.der);
  auto aliceContext = ContextOf(alice_);
  EXPECT_EQ(FindBySha1(store.get(), Sha1Of(aliceContext.get())), nullptr);
  auto bobContext = ContextOf(bob_);
  EXPECT_NE(FindBySha1(store.get(), Sha1Of(bobContext.get())), nullptr);
  // A hash of the wrong size finds nothing.
  EXPECT_EQ(FindBySha1(store.get(), std::vector<std::uint8_t>(19, 0)), nullptr);
}

TEST_F(SystemStore, FriendlyNameAndDeletionReachTheFiles) {
  StoreHolder store(CertOpenSystemStore(StoreLocation::CurrentUser, "MY"));
  auto alice = ContextOf(alice_);
  const std::u16string name = u"Alice \u263A";
  ASSERT_TRUE(CertSetCertificateContextProperty(alice.get(), CERT_FRIENDLY_NAME_PROP_ID, name.c_str(),
                                                static_cast<std::uint32_t>(name.size() * 2)));
  ASSERT_TRUE(CertAddCertificateContextToStore(store.get(), alice.get(), CERT_STORE_ADD_ALWAYS, nullptr));
  const std::string base = root_.StoreDirectory("MY") + "/" + HexName(alice_);
  EXPECT_EQ(plat::ReadWholeFile(base + ".friendly-name", 100), "Alice \xE2\x98\xBA");

  StoreHolder other(CertOpenSystemStore(StoreLocation::CurrentUser, "MY"));
  auto found = FindBySha1(other.get(), Sha1Of(alice.get()));
  ASSERT_NE(found, nullptr);
  std::u16string read(name.size() + 1, u'x');
  std::uint32_t size = static_cast<std::uint32_t>(read.size() * 2);
  ASSERT_TRUE(CertGetCertificateContextProperty(found.get(), CERT_FRIENDLY_NAME_PROP_ID, read.data(), &size));
  EXPECT_EQ(read, name + u'\0');

  const std::u16string renamed = u"A";
  ASSERT_TRUE(CertSetCertificateContextProperty(found.get(), CERT_FRIENDLY_NAME_PROP_ID, renamed.c_str(), 2));
  EXPECT_EQ(plat::ReadWholeFile(base + ".friendly-name", 100), "A");

  EXPECT_TRUE(CertDeleteCertificateFromStore(found.release()));
  EXPECT_FALSE(std::filesystem::exists(base + ".der"));
  EXPECT_FALSE(std::filesystem::exists(base + ".friendly-name"));
  EXPECT_EQ(FindBySha1(store.get(), Sha1Of(alice.get())), nullptr);
  // Not in a store: nothing to delete, and the context is freed all the same.
  EXPECT_FALSE(CertDeleteCertificateFromStore(CertDuplicateCertificateContext(alice.get())));
}

TEST_F(SystemStore, RefusesBadNamesAndAWriteThatCannotLand) {
  EXPECT_EQ(CertOpenSystemStore(StoreLocation::CurrentUser, "../ROOT"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // The location's directory is a file: nothing can be filed below it.
  std::filesystem::create_directories(root_.Path());
  ASSERT_TRUE(plat::WriteFileAtomically(root_.Path() + "/CurrentUser", "x"));
  StoreHolder store(CertOpenSystemStore(StoreLocation::CurrentUser, "MY"));
  ASSERT_NE(store, nullptr);
  auto alice = ContextOf(alice_);
  EXPECT_FALSE(CertAddCertificateContextToStore(store.get(), alice.get(), CERT_STORE_ADD_ALWAYS, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_WRITE_FAULT);
}

TEST(MemoryStore, KeepsDuplicatesInOrderAndFindsTheFirst) {
  auto alice = MakeCertificate("alice");
  auto bob = MakeCertificate("bob");
  StoreHolder store(CertOpenMemoryStore());
  auto aliceContext = ContextOf(alice);
  auto bobContext = ContextOf(bob);
  PCCERT_CONTEXT first = nullptr;
  ASSERT_TRUE(CertAddCertificateContextToStore(store.get(), bobContext.get(), CERT_STORE_ADD_ALWAYS, &first));
  ContextHolder firstHolder(first);
  ASSERT_TRUE(CertAddCertificateContextToStore(store.get(), aliceContext.get(), CERT_STORE_ADD_ALWAYS, nullptr));
  ASSERT_TRUE(CertAddCertificateContextToStore(store.get(), bobContext.get(), CERT_STORE_ADD_ALWAYS, nullptr));
  EXPECT_EQ(Enumerate(store.get()), (std::vector<std::vector<std::uint8_t>>{bob.der, alice.der, bob.der}));

  // Each search continues after the previous match.
  const auto hash = Sha1Of(bobContext.get());
  CryptHashBlob blob{20, hash.data()};
  PCCERT_CONTEXT match = CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, nullptr);
  ASSERT_NE(match, nullptr);
  EXPECT_EQ(detail::RecordOf(match)->certificate, detail::RecordOf(first)->certificate);
  match = CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, match);
  ASSERT_NE(match, nullptr);
  EXPECT_NE(detail::RecordOf(match)->certificate, detail::RecordOf(first)->certificate);
  match = CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, match);
  EXPECT_EQ(match, nullptr);

  std::vector<std::uint8_t> md5(16);
  std::uint32_t size = 16;
  ASSERT_TRUE(CertGetCertificateContextProperty(aliceContext.get(), CERT_MD5_HASH_PROP_ID, md5.data(), &size));
  CryptHashBlob md5Blob{16, md5.data()};
  ContextHolder byMd5(CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_MD5_HASH, &md5Blob, nullptr));
  ASSERT_NE(byMd5, nullptr);
  EXPECT_EQ(byMd5->encodedLength, alice.der.size());

  EXPECT_TRUE(CertDeleteCertificateFromStore(CertDuplicateCertificateContext(first)));
  EXPECT_EQ(Enumerate(store.get()), (std::vector<std::vector<std::uint8_t>>{alice.der, bob.der}));
}

TEST(MemoryStore, ContextsKeepTheirStoreAliveAfterClose) {
  auto alice = MakeCertificate("alice");
  HCERTSTORE store = CertOpenMemoryStore();
  auto context = ContextOf(alice);
  PCCERT_CONTEXT added = nullptr;
  ASSERT_TRUE(CertAddCertificateContextToStore(store, context.get(), CERT_STORE_ADD_ALWAYS, &added));
  CertCloseStore(store, CERT_CLOSE_STORE_FORCE_FLAG);
  // The store is still there for the context (ASan reports a use after free otherwise).
  PCCERT_CONTEXT again = CertEnumCertificatesInStore(added->store, nullptr);
  ASSERT_NE(again, nullptr);
  CertFreeCertificateContext(again);
  CertFreeCertificateContext(added);
}

TEST(LdapStore, LdapIsUnreachableAndOnlyResyncIsControlled) {
  EXPECT_EQ(CertOpenLdapStore("ldap://directory.example/CN=x?userCertificate"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  StoreHolder store(CertOpenMemoryStore());
  EXPECT_TRUE(CertControlStore(store.get(), 0, CERT_STORE_CTRL_AUTO_RESYNC, nullptr));
  EXPECT_FALSE(CertControlStore(store.get(), 0, 1, nullptr));
  auto alice = MakeCertificate("alice");
  auto context = ContextOf(alice);
  EXPECT_FALSE(CertAddCertificateContextToStore(store.get(), context.get(), 1, nullptr));
}

}  // namespace
}  // namespace capi
