#include "ksSupp/certificate_hash.h"

#include <gtest/gtest.h>

#include <vector>

#include <dcf/sha1.h>

#include "ksCert/KsCertLib.h"
#include "ksSupp/fake_cert_library.h"
#include "platform/cryptoapi/test_certificates.h"

namespace {

// A certificate whose get_Hash answers as told: result, the length it reports and, when it
// fits, the bytes.
class HashingCert : public fake_cert::Cert {
public:
  HashingCert(HRESULT result, std::vector<std::uint8_t> bytes)
      : fake_cert::Cert({}), result_(result), bytes_(std::move(bytes)) {}
  HRESULT get_Hash(std::uint8_t* buffer, std::uint32_t size, std::uint32_t* length) override {
    ++calls;
    *length = static_cast<std::uint32_t>(bytes_.size());
    if (result_ == S_OK && bytes_.size() <= size) std::copy(bytes_.begin(), bytes_.end(), buffer);
    return result_;
  }
  int calls = 0;

private:
  HRESULT result_;
  std::vector<std::uint8_t> bytes_;
};

TEST(ReadCertificateHash, OnlyS_OKWithTwentyBytesIsAHash) {
  const std::vector<std::uint8_t> twenty(20, 0xC5);
  struct Case {
    const char* name;
    HRESULT result;
    std::vector<std::uint8_t> bytes;
    bool isHash;
    int calls;
  };
  const Case cases[] = {
      {"S_OK, 20 bytes", S_OK, twenty, true, 1},
      {"S_FALSE, 20 bytes", S_FALSE, twenty, false, 1},
      {"S_OK, 16 bytes", S_OK, std::vector<std::uint8_t>(16, 1), false, 1},
      {"S_OK, 32 bytes after enlarging", S_OK, std::vector<std::uint8_t>(32, 1), false, 2},
      {"S_OK, nothing", S_OK, {}, false, 1},
  };
  for (const Case& c : cases) {
    HashingCert cert(c.result, c.bytes);
    std::uint8_t hash[20] = {};
    EXPECT_EQ(ReadCertificateHash(cert, hash), c.isHash) << c.name;
    EXPECT_EQ(cert.calls, c.calls) << c.name;
    if (c.isHash) {
      EXPECT_EQ(std::vector<std::uint8_t>(hash, hash + 20), twenty);
    }
  }
}

TEST(ReadCertificateHash, FailureCodesAreThrown) {
  HashingCert cert(E_OUTOFMEMORY, {});
  std::uint8_t hash[20];
  try {
    ReadCertificateHash(cert, hash);
    ADD_FAILURE() << "no exception";
  } catch (const dcfRunTimeException& e) {
    EXPECT_EQ(e.Code(), E_OUTOFMEMORY);
    EXPECT_STREQ(e.Frame(0).message, "error return from get_Hash call in certificate utility object");
    EXPECT_EQ(e.Frame(0).line, 138);
  }
}

// The certificate library's own certificate object gives the SHA-1 of its DER bytes.
TEST(ReadCertificateHash, CertificateLibraryObject) {
  const auto made = capi::testing::MakeCertificate("server.example");
  ksCertUtility* root = nullptr;
  dcfCreateInstance<KsCertLib>(&root);
  const ksCertBlob blob{made.der.data(), static_cast<std::uint32_t>(made.der.size())};
  ksCertArray* array = nullptr;
  ASSERT_EQ(root->CreateCertArray(&blob, 1, &array), S_OK);
  ksCert* cert = nullptr;
  ASSERT_EQ(array->get_Cert(0, &cert), S_OK);

  std::uint8_t hash[20] = {};
  EXPECT_TRUE(ReadCertificateHash(*cert, hash));
  std::uint8_t expected[20];
  Sha1Digest(expected, made.der.data(), made.der.size());
  EXPECT_EQ(std::vector<std::uint8_t>(hash, hash + 20), std::vector<std::uint8_t>(expected, expected + 20));
  cert->Release();
  array->Release();
  root->Release();
}

}  // namespace
