#include "platform/cryptoapi/cert_import.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/cryptoapi/directory_store.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"
#include "platform/win32/atomic_file.h"
#include "platform/win32/test_temp_dir.h"

namespace capi {
namespace {

using testing::MakeCertificate;
using testing::TestCertificate;

std::string Sha1Hex(const std::vector<std::uint8_t>& der) {
  std::uint8_t sha1[kSha1HashSize];
  unsigned int length = 0;
  EVP_Digest(der.data(), der.size(), sha1, &length, EVP_sha1(), nullptr);
  return detail::HashToHex(sha1);
}

// PEM text written by one of OpenSSL's PEM writers.
template <class Write>
std::string Pem(Write write) {
  BIO* bio = BIO_new(BIO_s_mem());
  write(bio);
  char* data = nullptr;
  const long length = BIO_get_mem_data(bio, &data);
  std::string text(data, static_cast<std::size_t>(length));
  BIO_free(bio);
  return text;
}

std::string CertificatePem(const TestCertificate& certificate) {
  return Pem([&](BIO* bio) { PEM_write_bio_X509(bio, certificate.x509.get()); });
}

std::string EncryptedKeyPem(const TestCertificate& certificate, const char* password) {
  return Pem([&](BIO* bio) {
    PEM_write_bio_PKCS8PrivateKey(bio, certificate.key.get(), EVP_aes_256_cbc(), password,
                                  static_cast<int>(std::strlen(password)), nullptr, nullptr);
  });
}

std::string CrlPem(const std::vector<std::uint8_t>& der) {
  const unsigned char* cursor = der.data();
  X509_CRL* crl = d2i_X509_CRL(nullptr, &cursor, static_cast<long>(der.size()));
  std::string text = Pem([&](BIO* bio) { PEM_write_bio_X509_CRL(bio, crl); });
  X509_CRL_free(crl);
  return text;
}

std::string RunCommand(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  char chunk[256];
  while (pipe != nullptr && std::fgets(chunk, sizeof chunk, pipe) != nullptr) output += chunk;
  const int raw = pipe != nullptr ? ::pclose(pipe) : -1;
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

class CertImport : public ::testing::Test {
protected:
  bool Filed(const std::string& store, const std::string& name) const {
    struct stat st {};
    return ::stat((certRoot_.StoreDirectory(store) + "/" + name).c_str(), &st) == 0;
  }

  testing::ScopedCertRoot certRoot_;
  TestCertificate ca_ = MakeCertificate("Import CA", {.isCa = true});
  TestCertificate client_ = MakeCertificate("client", {.issuer = &ca_, .serial = 9});
};

TEST_F(CertImport, PemBundleFilesCertificatesTheirKeyOwnerOnlyAndRevocationLists) {
  const std::string bundle = CertificatePem(ca_) + EncryptedKeyPem(client_, "s3cret") + CertificatePem(client_) +
                             CrlPem(testing::MakeCrl(ca_, {5}));
  ImportReport refused = ImportIntoStore(StoreLocation::CurrentUser, "MY", bundle, "wrong");
  EXPECT_FALSE(refused.ok);
  EXPECT_FALSE(Filed("MY", ""));  // nothing written

  ImportReport report = ImportIntoStore(StoreLocation::CurrentUser, "MY", bundle, "s3cret");
  ASSERT_TRUE(report.ok) << report.error;
  EXPECT_EQ(report.certificates, 2u);
  EXPECT_EQ(report.keys, 1u);
  EXPECT_EQ(report.revocationLists, 1u);
  const std::string clientHash = Sha1Hex(client_.der);
  EXPECT_TRUE(Filed("MY", Sha1Hex(ca_.der) + ".der"));
  struct stat key {};
  ASSERT_EQ(::stat((certRoot_.StoreDirectory("MY") + "/" + clientHash + ".key").c_str(), &key), 0);
  EXPECT_EQ(key.st_mode & 0777, 0600u);

  std::vector<StoreEntry> entries;
  ASSERT_TRUE(ListStore(StoreLocation::CurrentUser, "my", entries));
  ASSERT_EQ(entries.size(), 3u);
  int withKey = 0;
  int lists = 0;
  for (const StoreEntry& entry : entries) {
    if (entry.hasPrivateKey) {
      ++withKey;
      EXPECT_EQ(entry.hash, clientHash);
      EXPECT_EQ(entry.subject, "CN=client");
      EXPECT_TRUE(entry.notAfter.ends_with(" UTC"));
    }
    if (entry.isRevocationList) {
      ++lists;
      EXPECT_EQ(entry.subject, "CN=Import CA");
      EXPECT_FALSE(entry.notAfter.empty());
    }
  }
  EXPECT_EQ(withKey, 1);
  EXPECT_EQ(lists, 1);
}

TEST_F(CertImport, Pkcs12FromTheOpensslToolWithItsPassword) {
  // The key and certificate as files, bundled by the openssl tool.
  plat::TestTempDir work;
  ASSERT_TRUE(plat::WriteFileAtomically(work.File("client.pem"), CertificatePem(client_)));
  ASSERT_TRUE(plat::WriteFileAtomically(work.File("key.pem"), EncryptedKeyPem(client_, "k")));
  int status = -1;
  RunCommand("openssl pkcs12 -export -in " + work.File("client.pem") + " -inkey " + work.File("key.pem") +
                 " -passin pass:k -passout pass:p12pass -out " + work.File("client.p12") + " 2>&1",
             &status);
  ASSERT_EQ(status, 0);
  std::optional<std::string> p12 = plat::ReadWholeFile(work.File("client.p12"), 1 << 20);
  ASSERT_TRUE(p12);
  EXPECT_FALSE(ImportIntoStore(StoreLocation::CurrentUser, "MY", *p12, "").ok);
  ImportReport report = ImportIntoStore(StoreLocation::CurrentUser, "MY", *p12, "p12pass");
  ASSERT_TRUE(report.ok) << report.error;
  EXPECT_EQ(report.certificates, 1u);
  EXPECT_EQ(report.keys, 1u);
  EXPECT_TRUE(Filed("MY", Sha1Hex(client_.der) + ".key"));
}

TEST_F(CertImport, RefusesWhatCannotBeFiledWhole) {
  const std::string strayKey = EncryptedKeyPem(client_, "pw") + CertificatePem(ca_);
  const struct {
    const char* what;
    const char* store;
    std::string bytes;
  } cases[] = {
      {"a key without its certificate", "MY", strayKey},
      {"a store name that leaves the store folder", "../MY", CertificatePem(ca_)},
      {"bytes that are nothing", "MY", "hello"},
      {"PEM with nothing of use", "MY", "-----BEGIN FOO-----\nAAAA\n-----END FOO-----\n"},
      {"a certificate with bytes after it", "MY", std::string(ca_.der.begin(), ca_.der.end()) + "x"},
  };
  for (const auto& c : cases) {
    ImportReport report = ImportIntoStore(StoreLocation::CurrentUser, c.store, c.bytes, "pw");
    EXPECT_FALSE(report.ok) << c.what;
    EXPECT_FALSE(report.error.empty()) << c.what;
    EXPECT_FALSE(Filed("MY", "")) << c.what;
  }
}

TEST_F(CertImport, RemovesCertificatesWithTheirKeyAndRevocationLists) {
  const std::vector<std::uint8_t> crl = testing::MakeCrl(ca_, {});
  ASSERT_TRUE(ImportIntoStore(StoreLocation::CurrentUser, "CA",
                              CertificatePem(client_) + EncryptedKeyPem(client_, "x") + CrlPem(crl), "x")
                  .ok);
  std::string error;
  const std::string clientHash = Sha1Hex(client_.der);
  EXPECT_TRUE(RemoveFromStore(StoreLocation::CurrentUser, "CA", clientHash, error)) << error;
  EXPECT_FALSE(Filed("CA", clientHash + ".der"));
  EXPECT_FALSE(Filed("CA", clientHash + ".key"));
  EXPECT_TRUE(RemoveFromStore(StoreLocation::CurrentUser, "CA", Sha1Hex(crl), error)) << error;
  EXPECT_FALSE(RemoveFromStore(StoreLocation::CurrentUser, "CA", Sha1Hex(crl), error));
  EXPECT_NE(error.find("holds nothing"), std::string::npos);
  EXPECT_FALSE(RemoveFromStore(StoreLocation::CurrentUser, "CA", "../" + clientHash, error));
  EXPECT_NE(error.find("not a SHA-1 hash"), std::string::npos);
}

TEST_F(CertImport, TheCommandImportsListsAndRemoves) {
  plat::TestTempDir work;
  const std::string file = work.File("ca.der");
  ASSERT_TRUE(plat::WriteFileAtomically(file, ca_.DerString()));
  ASSERT_TRUE(plat::WriteFileAtomically(work.File("password"), "unused\n"));
  const std::string program = ZELCERT_PROGRAM;
  int status = -1;
  std::string output = RunCommand(program + " import --password-file " + work.File("password") + " root " + file, &status);
  EXPECT_EQ(status, 0) << output;
  EXPECT_TRUE(Filed("ROOT", Sha1Hex(ca_.der) + ".der"));
  output = RunCommand(program + " list ROOT", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(output.find(Sha1Hex(ca_.der) + "  CN=Import CA  valid "), std::string::npos) << output;
  RunCommand(program + " remove ROOT " + Sha1Hex(ca_.der) + " 2>&1", &status);
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(Filed("ROOT", Sha1Hex(ca_.der) + ".der"));
  RunCommand(program + " remove ROOT " + Sha1Hex(ca_.der) + " 2>&1", &status);
  EXPECT_EQ(status, 1);
  RunCommand(program + " frobnicate 2>&1", &status);
  EXPECT_EQ(status, 2);
}

}  // namespace
}  // namespace capi
