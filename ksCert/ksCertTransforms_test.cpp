// The private-key transforms and the PKCS#12 exports, checked by OpenSSL and the openssl tool.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "ksCert/KsCertLib.h"
#include "ksCert/test_support.h"
#include "platform/cryptoapi/directory_store.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"
#include "platform/win32/atomic_file.h"
#include "platform/win32/test_temp_dir.h"

namespace {

using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;
using kscert_test::Bstr;
using kscert_test::Ref;
using kscert_test::RunCommand;
using kscert_test::Sha1;
using Bytes = std::vector<std::uint8_t>;

class CertTransforms : public ::testing::Test {
protected:
  void SetUp() override { dcfCreateInstance<KsCertLib>(root_.Out()); }

  Ref<ksCertStore> Open(const char16_t* name) {
    Bstr text(name);
    Bstr location(u"Current User");
    Ref<ksCertStore> store;
    EXPECT_EQ(root_->OpenCertStore(text, nullptr, location, store.Out()), S_OK);
    return store;
  }
  void Add(const char16_t* storeName, const TestCertificate& certificate) {
    VARIANT_BOOL added = VARIANT_FALSE;
    EXPECT_EQ(Open(storeName)->AddEncodedCert(certificate.der.data(), static_cast<std::uint32_t>(certificate.der.size()),
                                              kCertFormatDer, &added),
              S_OK);
  }
  // The certificate from the user's MY store, its key filed beside it when withKey.
  Ref<ksCert> Personal(const TestCertificate& certificate, bool withKey = true) {
    Add(u"MY", certificate);
    if (withKey) {
      const std::string keyFile =
          certRoot_.StoreDirectory("MY") + "/" + capi::detail::HashToHex(Sha1(certificate.der).data()) + ".key";
      const Bytes pkcs8 = certificate.Pkcs8();
      EXPECT_TRUE(plat::WriteFileAtomically(keyFile, std::string(pkcs8.begin(), pkcs8.end())));
      EXPECT_EQ(::chmod(keyFile.c_str(), 0600), 0);
    }
    const Bytes hash = Sha1(certificate.der);
    Ref<ksCert> cert;
    EXPECT_EQ(Open(u"MY")->GetCertByHash(hash.data(), 20, cert.Out()), S_OK);
    return cert;
  }
  std::string WriteFile(const std::string& name, const Bytes& bytes) {
    const std::string path = work_.File(name);
    EXPECT_TRUE(plat::WriteFileAtomically(path, std::string(bytes.begin(), bytes.end())));
    return path;
  }
  std::string PublicKeyFile(const TestCertificate& certificate) {
    const std::string path = work_.File("public.pem");
    FILE* file = std::fopen(path.c_str(), "w");
    EXPECT_NE(file, nullptr);
    PEM_write_PUBKEY(file, certificate.key.get());
    std::fclose(file);
    return path;
  }
  // The PKCS#12 export of a slot, sized by a first call.
  static Bytes Export(ksCert* cert, bool chain, const char* password, std::uint32_t passwordLength,
                      HRESULT expected = S_OK) {
    Bytes buffer(1);
    std::uint32_t length = 0;
    auto call = [&] {
      return chain ? cert->ExportCertChain(kCertExportPkcs12, password, passwordLength, buffer.data(),
                                           static_cast<std::uint32_t>(buffer.size()), &length)
                   : cert->ExportCert(kCertExportPkcs12, password, passwordLength, buffer.data(),
                                      static_cast<std::uint32_t>(buffer.size()), &length);
    };
    EXPECT_EQ(call(), expected);
    if (expected != S_OK) return {};
    buffer.assign(length, 0);
    EXPECT_EQ(call(), S_OK);
    buffer.resize(length);
    return buffer;
  }

  capi::testing::ScopedCertRoot certRoot_;
  plat::TestTempDir work_;
  Ref<ksCertUtility> root_;
};

TEST_F(CertTransforms, RsaSignatureOfTheHandshakeHashIsRawPkcs1ThatOpensslVerifies) {
  const TestCertificate alice = MakeCertificate("alice", {.rsa = true});
  Ref<ksCert> cert = Personal(alice);
  Bytes hash(36);
  for (std::size_t i = 0; i < hash.size(); ++i) hash[i] = static_cast<std::uint8_t>(i * 7 + 1);
  Bytes signature(256, 0xEE);
  std::uint32_t length = 0;
  VARIANT_BOOL done = VARIANT_FALSE;
  // The external signer's road, context ignored.
  ASSERT_EQ(cert->ApplyTransformEx(KS_CERT_TRANSFORM_RSA_SIGN, hash.data(), 36, signature.data(), 256,
                                   reinterpret_cast<void*>(0x1234), &length, &done),
            S_OK);
  EXPECT_EQ(done, VARIANT_TRUE);
  ASSERT_EQ(length, 128u);  // a 1024-bit key
  signature.resize(length);
  const std::string verdict = RunCommand("openssl pkeyutl -verify -pubin -inkey " + PublicKeyFile(alice) +
                                         " -pkeyopt rsa_padding_mode:pkcs1 -in " + WriteFile("hash.bin", hash) +
                                         " -sigfile " + WriteFile("signature.bin", signature) + " 2>&1");
  EXPECT_NE(verdict.find("Signature Verified Successfully"), std::string::npos) << verdict;

  // ApplyTransform gives the same (PKCS #1 type 1 is deterministic).
  Bytes again(256);
  ASSERT_EQ(cert->ApplyTransform(KS_CERT_TRANSFORM_RSA_SIGN, hash.data(), 36, again.data(), 256, &length, &done), S_OK);
  again.resize(length);
  EXPECT_EQ(again, signature);
}

// TLS 1.2 hands the transform the DigestInfo of its digest: the signature is the ordinary
// PKCS #1 v1.5 signature of the message with that digest.
TEST_F(CertTransforms, RsaSignatureOfADigestInfoVerifiesAsTheMessagesSignature) {
  const TestCertificate alice = MakeCertificate("alice", {.rsa = true});
  Ref<ksCert> cert = Personal(alice);
  const std::string message = "handshake messages";
  // SEQUENCE { SEQUENCE { OID sha256, NULL }, OCTET STRING (32) }, then the digest.
  Bytes info = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01, 0x65,
                0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
  Bytes digest(32);
  unsigned int digestLength = 0;
  ASSERT_EQ(EVP_Digest(message.data(), message.size(), digest.data(), &digestLength, EVP_sha256(), nullptr), 1);
  info.insert(info.end(), digest.begin(), digest.end());
  Bytes signature(256);
  std::uint32_t length = 0;
  VARIANT_BOOL done = VARIANT_FALSE;
  ASSERT_EQ(cert->ApplyTransformEx(KS_CERT_TRANSFORM_RSA_SIGN, info.data(), static_cast<std::uint32_t>(info.size()),
                                   signature.data(), 256, nullptr, &length, &done),
            S_OK);
  EXPECT_EQ(done, VARIANT_TRUE);
  EVP_MD_CTX* verify = EVP_MD_CTX_new();
  ASSERT_EQ(EVP_DigestVerifyInit(verify, nullptr, EVP_sha256(), nullptr, alice.key.get()), 1);
  EXPECT_EQ(EVP_DigestVerify(verify, signature.data(), length,
                             reinterpret_cast<const unsigned char*>(message.data()), message.size()),
            1);
  EVP_MD_CTX_free(verify);

  // A DigestInfo followed by anything is not one.
  info.push_back(0);
  EXPECT_EQ(cert->ApplyTransform(KS_CERT_TRANSFORM_RSA_SIGN, info.data(), static_cast<std::uint32_t>(info.size()),
                                 signature.data(), 256, &length, &done),
            S_FALSE);
}

TEST_F(CertTransforms, RefusedTransformsClearTheOutput) {
  const TestCertificate alice = MakeCertificate("alice", {.rsa = true});
  Ref<ksCert> cert = Personal(alice);
  const Bytes input(36, 0x5A);
  const struct {
    const char* what;
    std::int32_t type;
    std::uint32_t inputLength;
    std::uint32_t outputSize;
  } cases[] = {
      {"RSA over a 20-byte value", KS_CERT_TRANSFORM_RSA_SIGN, 20, 256},
      {"DSA over 36 bytes", KS_CERT_TRANSFORM_SIGN_DSA, 36, 256},
      {"DSA with an RSA key", KS_CERT_TRANSFORM_SIGN_DSA, 20, 256},
      {"output one byte short", KS_CERT_TRANSFORM_RSA_SIGN, 36, 127},
      {"empty input", KS_CERT_TRANSFORM_RSA_SIGN, 0, 256},
      {"decrypt of bytes that are no ciphertext", KS_CERT_TRANSFORM_DECRYPT, 36, 256},
  };
  for (const auto& c : cases) {
    Bytes output(256, 0xEE);
    std::uint32_t length = 99;
    VARIANT_BOOL done = VARIANT_TRUE;
    EXPECT_EQ(cert->ApplyTransform(c.type, input.data(), c.inputLength, output.data(), c.outputSize, &length, &done),
              S_FALSE)
        << c.what;
    EXPECT_EQ(length, 0u) << c.what;
    EXPECT_EQ(done, VARIANT_FALSE) << c.what;
    EXPECT_EQ(Bytes(output.begin(), output.begin() + c.outputSize), Bytes(c.outputSize, 0)) << c.what;
  }
  std::uint32_t length = 0;
  VARIANT_BOOL done = VARIANT_FALSE;
  Bytes output(256);
  EXPECT_EQ(cert->ApplyTransform(0, input.data(), 36, nullptr, 256, &length, &done), E_POINTER);
  EXPECT_EQ(cert->ApplyTransform(0, input.data(), 36, output.data(), 256, nullptr, &done), E_POINTER);
  EXPECT_EQ(cert->ApplyTransform(0, input.data(), 36, output.data(), 256, &length, nullptr), E_POINTER);

  // Without a key beside the certificate nothing is signed.
  Ref<ksCert> keyless = Personal(MakeCertificate("keyless", {.rsa = true}), /*withKey=*/false);
  EXPECT_EQ(keyless->ApplyTransform(0, input.data(), 36, output.data(), 256, &length, &done), S_FALSE);
}

TEST_F(CertTransforms, UnknownTypeIsUnsupportedAndOnlyACertClearsDone) {
  const TestCertificate alice = MakeCertificate("alice", {.rsa = true});
  Ref<ksCert> cert = Personal(alice);
  const Bytes input(36, 1);
  Bytes output(8, 0xEE);
  std::uint32_t length = 99;
  VARIANT_BOOL done = VARIANT_TRUE;
  kscert_test::HandledExceptions handled;
  EXPECT_EQ(cert->ApplyTransform(3, input.data(), 36, output.data(), 8, &length, &done), S_FALSE);
  EXPECT_EQ(done, VARIANT_FALSE);
  EXPECT_EQ(length, 99u);
  EXPECT_EQ(output, Bytes(8, 0xEE));
  ASSERT_EQ(handled.All().size(), 1u);
  EXPECT_STREQ(handled.All()[0].Frame(0).message,
               "Error: Only KS_CERT_TRANSFORM_RSA_SIGN and KS_CERT_TRANSFORM_SIGN_DSA are supported\n");

  // A certificate handed out by an array leaves done as the caller set it.
  const ksCertBlob blob{alice.der.data(), static_cast<std::uint32_t>(alice.der.size())};
  Ref<ksCertArray> array;
  ASSERT_EQ(root_->CreateCertArray(&blob, 1, array.Out()), S_OK);
  Ref<ksCert> reference;
  ASSERT_EQ(array->get_Cert(0, reference.Out()), S_OK);
  done = VARIANT_TRUE;
  EXPECT_EQ(reference->ApplyTransform(3, input.data(), 36, output.data(), 8, &length, &done), S_FALSE);
  EXPECT_EQ(done, VARIANT_TRUE);
}

TEST_F(CertTransforms, DsaSignatureIsADerValueThatOpensslVerifies) {
  const TestCertificate dave = MakeCertificate("dave", {.dsa = true});
  Ref<ksCert> cert = Personal(dave);
  Bytes digest(20);
  for (std::size_t i = 0; i < digest.size(); ++i) digest[i] = static_cast<std::uint8_t>(0xA0 + i);
  Bytes signature(128);
  std::uint32_t length = 0;
  VARIANT_BOOL done = VARIANT_FALSE;
  ASSERT_EQ(cert->ApplyTransform(KS_CERT_TRANSFORM_SIGN_DSA, digest.data(), 20, signature.data(), 128, &length, &done),
            S_OK);
  ASSERT_GT(length, 8u);
  EXPECT_EQ(signature[0], 0x30);  // a SEQUENCE of r and s
  EVP_PKEY_CTX* verify = EVP_PKEY_CTX_new(dave.key.get(), nullptr);
  ASSERT_EQ(EVP_PKEY_verify_init(verify), 1);
  EXPECT_EQ(EVP_PKEY_verify(verify, signature.data(), length, digest.data(), digest.size()), 1);
  digest[0] ^= 1;
  EXPECT_NE(EVP_PKEY_verify(verify, signature.data(), length, digest.data(), digest.size()), 1);
  EVP_PKEY_CTX_free(verify);
}

TEST_F(CertTransforms, DecryptsWhatOpensslEncryptedToTheCertificate) {
  const TestCertificate alice = MakeCertificate("alice", {.rsa = true});
  Ref<ksCert> cert = Personal(alice);
  const Bytes secret = {0x03, 0x01, 'p', 'r', 'e', '-', 'm', 'a', 's', 't', 'e', 'r'};
  EVP_PKEY_CTX* encrypt = EVP_PKEY_CTX_new(alice.key.get(), nullptr);
  ASSERT_EQ(EVP_PKEY_encrypt_init(encrypt), 1);
  ASSERT_EQ(EVP_PKEY_CTX_set_rsa_padding(encrypt, RSA_PKCS1_PADDING), 1);
  Bytes ciphertext(128);
  std::size_t size = ciphertext.size();
  ASSERT_EQ(EVP_PKEY_encrypt(encrypt, ciphertext.data(), &size, secret.data(), secret.size()), 1);
  EVP_PKEY_CTX_free(encrypt);

  Bytes plain(128);
  std::uint32_t length = 0;
  VARIANT_BOOL done = VARIANT_FALSE;
  ASSERT_EQ(cert->ApplyTransform(KS_CERT_TRANSFORM_DECRYPT, ciphertext.data(), static_cast<std::uint32_t>(size),
                                 plain.data(), 128, &length, &done),
            S_OK);
  plain.resize(length);
  EXPECT_EQ(plain, secret);
}

TEST_F(CertTransforms, Pkcs12WithAPasswordCarriesTheKeyAndOpensslReadsIt) {
  const TestCertificate alice = MakeCertificate("alice pfx", {.rsa = true});
  Ref<ksCert> cert = Personal(alice);
  // Exactly the given length counts: the bytes after it are not part of the password.
  const char password[] = "secretXYZ";
  const Bytes pfx = Export(cert.Get(), /*chain=*/false, password, 6);
  const std::string file = WriteFile("alice.pfx", pfx);
  const std::string read = RunCommand("openssl pkcs12 -in " + file + " -passin pass:secret -nodes 2>&1");
  EXPECT_NE(read.find("PRIVATE KEY"), std::string::npos) << read;
  EXPECT_NE(read.find("CN = alice pfx"), std::string::npos) << read;
  const std::string wrong = RunCommand("openssl pkcs12 -in " + file + " -passin pass:secretXYZ -nodes 2>&1");
  EXPECT_EQ(wrong.find("PRIVATE KEY"), std::string::npos) << wrong;

  // Without a password only the certificate goes, under the empty password.
  const Bytes plain = Export(cert.Get(), /*chain=*/false, nullptr, 0);
  const std::string certOnly =
      RunCommand("openssl pkcs12 -in " + WriteFile("plain.pfx", plain) + " -passin pass: -nodes 2>&1");
  EXPECT_NE(certOnly.find("BEGIN CERTIFICATE"), std::string::npos) << certOnly;
  EXPECT_EQ(certOnly.find("PRIVATE KEY"), std::string::npos) << certOnly;

  // A password asks for the key: a certificate without one cannot be exported with it.
  Ref<ksCert> keyless = Personal(MakeCertificate("keyless", {.rsa = true}), /*withKey=*/false);
  Export(keyless.Get(), /*chain=*/false, "pw", 2, S_FALSE);
}

TEST_F(CertTransforms, ChainExportCarriesTheChainAsFarAsItIsBuilt) {
  const TestCertificate ca = MakeCertificate("Export Root", {.notAfterDays = 300, .isCa = true});
  const TestCertificate issuing = MakeCertificate("Export Issuing", {.issuer = &ca, .isCa = true});
  const TestCertificate alice = MakeCertificate("alice chain", {.issuer = &issuing});
  Add(u"ROOT", ca);
  Add(u"CA", issuing);
  Ref<ksCert> cert = Personal(alice);
  auto certificatesIn = [&](const Bytes& pfx) {
    const std::string text =
        RunCommand("openssl pkcs12 -in " + WriteFile("chain.pfx", pfx) + " -passin pass:pw -nokeys 2>&1");
    std::size_t count = 0;
    for (std::size_t at = text.find("BEGIN CERTIFICATE"); at != std::string::npos;
         at = text.find("BEGIN CERTIFICATE", at + 1)) {
      ++count;
    }
    return count;
  };
  EXPECT_EQ(certificatesIn(Export(cert.Get(), /*chain=*/true, "pw", 2)), 3u);
  EXPECT_EQ(certificatesIn(Export(cert.Get(), /*chain=*/false, "pw", 2)), 1u);

  // Without its root the chain is exported as far as it goes.
  const std::string rootFile =
      certRoot_.StoreDirectory("ROOT") + "/" + capi::detail::HashToHex(Sha1(ca.der).data()) + ".der";
  ASSERT_EQ(std::remove(rootFile.c_str()), 0);
  EXPECT_EQ(certificatesIn(Export(cert.Get(), /*chain=*/true, "pw", 2)), 2u);

  // Only PKCS#12 carries a chain; an unknown format of ExportCert gives a cleared buffer.
  Bytes buffer(16, 0xEE);
  std::uint32_t length = 99;
  EXPECT_EQ(cert->ExportCertChain(kCertExportDer, nullptr, 0, buffer.data(), 16, &length), S_FALSE);
  EXPECT_EQ(length, 99u);  // the refusal is an exception: nothing touched
  EXPECT_EQ(cert->ExportCert(2, nullptr, 0, buffer.data(), 16, &length), S_FALSE);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(buffer, Bytes(16, 0));
}

}  // namespace
