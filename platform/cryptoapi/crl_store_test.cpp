#include "platform/cryptoapi/crl_store.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>

#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/last_error.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"
#include "platform/win32/atomic_file.h"

namespace capi {
namespace {

using testing::MakeCertificate;
using testing::MakeCrl;

std::string PemOf(const std::vector<std::uint8_t>& der) {
  const unsigned char* cursor = der.data();
  X509_CRL* crl = d2i_X509_CRL(nullptr, &cursor, static_cast<long>(der.size()));
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509_CRL(bio, crl);
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<std::size_t>(length));
  BIO_free(bio);
  X509_CRL_free(crl);
  return pem;
}

TEST(CrlStore, SystemStoreFilesListsByHashAndReadsPemFilesToo) {
  testing::ScopedCertRoot certRoot;
  const auto ca = MakeCertificate("List CA", {.isCa = true});
  const std::vector<std::uint8_t> der = MakeCrl(ca, {3, 4});
  HCERTSTORE store = CertOpenSystemStore(StoreLocation::CurrentUser, "ca");
  ASSERT_NE(store, nullptr);
  ASSERT_TRUE(CertAddEncodedCrlToStore(store, der.data(), static_cast<std::uint32_t>(der.size())));
  std::vector<StoredCrl> lists = CertEnumCrlsInStore(store);
  ASSERT_EQ(lists.size(), 1u);
  const std::string hash = lists[0].hash;
  EXPECT_TRUE(plat::ReadWholeFile(certRoot.StoreDirectory("CA") + "/" + hash + ".crl", 1 << 20).has_value());

  // A list put there by hand as PEM, named by the hash of its DER in lower case.
  const std::vector<std::uint8_t> other = MakeCrl(ca, {5});
  const std::string otherHash = detail::DecodeCrl(other.data(), other.size()).hash;
  std::string lower = otherHash;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_TRUE(plat::WriteFileAtomically(certRoot.StoreDirectory("CA") + "/" + lower + ".crl", PemOf(other)));
  ASSERT_TRUE(plat::WriteFileAtomically(certRoot.StoreDirectory("CA") + "/" + std::string(40, 'A') + ".crl", "junk"));
  lists = CertEnumCrlsInStore(store);
  ASSERT_EQ(lists.size(), 2u);  // the junk file is no list

  EXPECT_TRUE(CertDeleteCrlFromStore(store, otherHash));
  EXPECT_FALSE(CertDeleteCrlFromStore(store, otherHash));
  EXPECT_FALSE(CertDeleteCrlFromStore(store, "../" + hash));
  EXPECT_EQ(CertEnumCrlsInStore(store).size(), 1u);
  CertCloseStore(store, 0);
}

TEST(CrlStore, RefusesWhatIsNoSingleList) {
  HCERTSTORE store = CertOpenMemoryStore();
  const auto ca = MakeCertificate("List CA", {.isCa = true});
  std::vector<std::uint8_t> der = MakeCrl(ca, {});
  std::vector<std::uint8_t> trailing = der;
  trailing.push_back(0);
  const std::vector<std::vector<std::uint8_t>> bad = {{}, {0x30, 0x03, 0x02}, ca.der, trailing};
  for (const auto& bytes : bad) {
    EXPECT_FALSE(CertAddEncodedCrlToStore(store, bytes.data(), static_cast<std::uint32_t>(bytes.size())));
    EXPECT_EQ(GetLastError(), CRYPT_E_ASN1_BADTAG);
  }
  const std::string pem = PemOf(der);
  EXPECT_TRUE(CertAddEncodedCrlToStore(store, reinterpret_cast<const std::uint8_t*>(pem.data()),
                                       static_cast<std::uint32_t>(pem.size())));
  ASSERT_EQ(CertEnumCrlsInStore(store).size(), 1u);
  EXPECT_TRUE(CertDeleteCrlFromStore(store, CertEnumCrlsInStore(store)[0].hash));
  EXPECT_TRUE(CertEnumCrlsInStore(store).empty());
  CertCloseStore(store, 0);
}

}  // namespace
}  // namespace capi
