#include "platform/cryptoapi/private_key.h"

#include <gtest/gtest.h>
#include <openssl/err.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/directory_store.h"
#include "platform/cryptoapi/last_error.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"
#include "platform/win32/atomic_file.h"
#include "platform/win32/test_refusal_trace.h"

namespace capi {
namespace {

using testing::MakeCertificate;
using testing::TestCertificate;

PCCERT_CONTEXT ContextOf(const TestCertificate& certificate) {
  return CertCreateCertificateContext(X509_ASN_ENCODING, certificate.der.data(),
                                      static_cast<std::uint32_t>(certificate.der.size()));
}

// What acquiring the key with the compare flag gives: the key spec, or the last error.
struct Acquired {
  bool ok;
  std::uint32_t keySpecOrError;
};

Acquired Acquire(PCCERT_CONTEXT context) {
  HCRYPTPROV provider = nullptr;
  std::uint32_t keySpec = 0;
  bool mustFree = false;
  if (!CryptAcquireCertificatePrivateKey(context, CRYPT_ACQUIRE_COMPARE_KEY_FLAG, &provider, &keySpec, &mustFree)) {
    EXPECT_EQ(provider, nullptr);
    return {false, GetLastError()};
  }
  EXPECT_TRUE(mustFree);
  EXPECT_NE(ProviderKey(provider), nullptr);
  CryptReleaseContext(provider, 0);
  return {true, keySpec};
}

TEST(PrivateKey, KeptInMemoryMustMatchTheCertificate) {
  const auto ec = MakeCertificate("ec");
  const auto rsa = MakeCertificate("rsa", {.rsa = true});
  PCCERT_CONTEXT context = ContextOf(ec);
  EXPECT_FALSE(Acquire(context).ok);
  EXPECT_EQ(GetLastError(), CRYPT_E_NO_KEY_PROPERTY);

  const auto wrong = rsa.Pkcs8();
  ASSERT_TRUE(CertSetPrivateKey(context, wrong.data(), static_cast<std::uint32_t>(wrong.size())));
  EXPECT_EQ(Acquire(context).keySpecOrError, NTE_BAD_PUBLIC_KEY);
  const auto right = ec.Pkcs8();
  ASSERT_TRUE(CertSetPrivateKey(context, right.data(), static_cast<std::uint32_t>(right.size())));
  Acquired acquired = Acquire(context);
  EXPECT_TRUE(acquired.ok);
  EXPECT_EQ(acquired.keySpecOrError, AT_SIGNATURE);

  PCCERT_CONTEXT rsaContext = ContextOf(rsa);
  ASSERT_TRUE(CertSetPrivateKey(rsaContext, wrong.data(), static_cast<std::uint32_t>(wrong.size())));
  EXPECT_EQ(Acquire(rsaContext).keySpecOrError, AT_KEYEXCHANGE);

  // Not one PKCS#8 key: refused, the key kept so far stays.
  std::vector<std::uint8_t> truncated(right.begin(), right.end() - 1);
  std::vector<std::uint8_t> trailing = right;
  trailing.push_back(0);
  for (const auto& bad : {truncated, trailing, std::vector<std::uint8_t>{0x30, 0x00}}) {
    EXPECT_FALSE(CertSetPrivateKey(context, bad.data(), static_cast<std::uint32_t>(bad.size())));
    EXPECT_EQ(GetLastError(), CRYPT_E_ASN1_BADTAG);
    EXPECT_EQ(ERR_peek_error(), 0u);
  }
  EXPECT_TRUE(Acquire(context).ok);
  CertFreeCertificateContext(rsaContext);
  CertFreeCertificateContext(context);
}

TEST(PrivateKey, SystemStoreKeepsItInAnOwnerOnlyFile) {
  testing::ScopedCertRoot root;
  const auto alice = MakeCertificate("alice");
  PCCERT_CONTEXT context = ContextOf(alice);
  const auto pkcs8 = alice.Pkcs8();
  ASSERT_TRUE(CertSetPrivateKey(context, pkcs8.data(), static_cast<std::uint32_t>(pkcs8.size())));
  HCERTSTORE store = CertOpenSystemStore(StoreLocation::CurrentUser, "MY");
  PCCERT_CONTEXT stored = nullptr;
  ASSERT_TRUE(CertAddCertificateContextToStore(store, context, CERT_STORE_ADD_ALWAYS, &stored));

  std::uint8_t hash[20];
  std::uint32_t size = 20;
  ASSERT_TRUE(CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, hash, &size));
  const std::string keyFile = root.StoreDirectory("MY") + "/" + detail::HashToHex(hash) + ".key";
  struct stat st {};
  ASSERT_EQ(::stat(keyFile.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(Acquire(stored).ok);

  // A key file others may read is not used, nor one reached through a link: each is
  // refused with its own error and a trace naming the file and the reason.
  {
    plat::TestRefusalTrace trace;
    ASSERT_EQ(::chmod(keyFile.c_str(), 0640), 0);
    EXPECT_EQ(Acquire(stored).keySpecOrError, NTE_PERM);
    ASSERT_EQ(::chmod(keyFile.c_str(), 0600), 0);
    EXPECT_TRUE(Acquire(stored).ok);
    std::filesystem::rename(keyFile, keyFile + ".real");
    std::filesystem::create_symlink(keyFile + ".real", keyFile);
    EXPECT_EQ(Acquire(stored).keySpecOrError, NTE_PERM);
    std::filesystem::remove(keyFile);
    std::filesystem::rename(keyFile + ".real", keyFile);
    ASSERT_EQ(trace.lines.size(), 2u);
    EXPECT_EQ(trace.lines[0],
              keyFile + ": private key not used: readable or writable by others (mode must be 0600)");
    EXPECT_EQ(trace.lines[1], keyFile + ": private key not used: a symbolic link");
  }
  // Neither is one that is not a key.
  ASSERT_TRUE(plat::WriteFileAtomically(keyFile, "not a key"));
  EXPECT_EQ(Acquire(stored).keySpecOrError, CRYPT_E_NO_KEY_PROPERTY);

  // Setting a key on the stored certificate writes the file again, owner-only.
  ASSERT_EQ(::chmod(keyFile.c_str(), 0644), 0);
  ASSERT_TRUE(CertSetPrivateKey(stored, pkcs8.data(), static_cast<std::uint32_t>(pkcs8.size())));
  ASSERT_EQ(::stat(keyFile.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(Acquire(stored).ok);

  EXPECT_TRUE(CertDeleteCertificateFromStore(stored));
  EXPECT_FALSE(std::filesystem::exists(keyFile));
  CertCloseStore(store, 0);
  CertFreeCertificateContext(context);
}

}  // namespace
}  // namespace capi
