#include "ksLib_OSSL/tls_context.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <openssl/err.h>
#include <openssl/pem.h>

#include "ksLib_OSSL/cipher_list.h"
#include "platform/cryptoapi/test_certificates.h"

namespace {

using capi::testing::MakeCertificate;

struct ContextDeleter {
  void operator()(RefCounted* object) const { object->Release(); }
};

// A context on a configuration holding `ids` (none: the configuration stays empty).
std::unique_ptr<TlsContext, ContextDeleter> MakeContext(const std::vector<std::uint32_t>& ids,
                                                        TlsConfig** configOut = nullptr) {
  TlsConfig* config = nullptr;
  EXPECT_EQ(TlsConfig::Create(&config), 0);
  for (const std::uint32_t id : ids) config->AddCipherSuite(id);
  TlsContext* context = nullptr;
  EXPECT_EQ(TlsContext::Create(config, &context), 0);
  if (configOut != nullptr) *configOut = config;
  config->Release();  // the context holds its own reference
  return std::unique_ptr<TlsContext, ContextDeleter>(context);
}

// The cipher string puts the forward-secret AES-GCM suites of TLS 1.2 first, then keeps the
// configuration's order and names only what OpenSSL 3 serves; a list of nothing servable is
// refused.
TEST(TlsContext, CipherListFromTheConfiguredSuites) {
  struct Case {
    std::vector<std::uint32_t> ids;
    std::string list;
    std::int32_t result;
  };
  const Case cases[] = {
      {{0x35, 0x07, 0x03, 0x1234, 0x2F}, kTls12ForwardSecretSuites + std::string(":AES256-SHA:AES128-SHA:"), 0},
      // SPEKE is not carried by the engine.
      {{0x8001, 0x39}, kTls12ForwardSecretSuites + std::string(":DHE-RSA-AES256-SHA:"), 0},
      {{0x07, 0x03, 0x1234, 0x16, 0x0A}, "", TlsContext::kCipherListRefused},
  };
  for (const Case& c : cases) {
    auto context = MakeContext(c.ids);
    EXPECT_EQ(context->ApplyConfiguration(), c.result);
    EXPECT_EQ(context->CipherList(), c.list);
  }
}

TEST(TlsContext, EmptyConfigurationTakesTheClientDefaultAndKeepsIt) {
  TlsConfig* config = nullptr;
  auto context = MakeContext({}, &config);
  ASSERT_EQ(context->ApplyConfiguration(), 0);
  const auto& suites = config->CipherSuites();
  EXPECT_EQ(std::vector<std::uint16_t>(suites.begin(), suites.end()),
            std::vector<std::uint16_t>(std::begin(kDefaultClientCipherSuites),
                                       std::end(kDefaultClientCipherSuites)));
  EXPECT_EQ(std::vector<std::uint16_t>(suites.begin(), suites.begin() + 21),
            (std::vector<std::uint16_t>{0x16, 0x13, 0x66, 0x15, 0x12, 0x0A, 0x05, 0x04, 0x07,
                                        0x09, 0x63, 0x65, 0x60, 0x62, 0x61, 0x64, 0x14, 0x11,
                                        0x03, 0x06, 0x08}));
  EXPECT_EQ(context->CipherList(),
            kTls12ForwardSecretSuites +
                std::string(":DHE-RSA-AES256-SHA:DHE-RSA-AES128-SHA:DHE-DSS-AES256-SHA:DHE-DSS-AES128-SHA:"
                            "AES256-SHA:AES128-SHA:"));
  STACK_OF(SSL_CIPHER)* offered = SSL_CTX_get_ciphers(context->Handle());
  ASSERT_NE(offered, nullptr);
  std::vector<std::uint16_t> tls12;
  for (int i = 0; i < sk_SSL_CIPHER_num(offered); ++i) {
    const SSL_CIPHER* cipher = sk_SSL_CIPHER_value(offered, i);
    const std::uint16_t id = SSL_CIPHER_get_protocol_id(cipher);
    if ((id >> 8) != 0x13) tls12.push_back(id);  // TLS 1.3 suites are never negotiated here
  }
  // The forward-secret AES-GCM suites of TLS 1.2 first, in the ClientHello's order, then the
  // configured ones.
  EXPECT_EQ(tls12, (std::vector<std::uint16_t>{0xC02B, 0xC02F, 0xC02C, 0xC030, 0x39, 0x33, 0x38, 0x32,
                                               0x35, 0x2F}));
}

// The loaders' results for each kind of bad input, and the key that must match the
// certificate.
TEST(TlsContext, CertificateAndKeyLoaders) {
  const auto client = MakeCertificate("client", {.rsa = true});
  const auto other = MakeCertificate("other", {.rsa = true});
  const std::string pem = [&] {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, client.x509.get());
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<std::size_t>(length));
    BIO_free(bio);
    return text;
  }();
  const std::vector<std::uint8_t> garbage = {0x30, 0x03, 0x01, 0x02};
  auto context = MakeContext({0x2F});

  struct Case {
    std::uint32_t type;
    const std::uint8_t* bytes;
    std::uint32_t length;
    std::int32_t result;
  };
  const Case cases[] = {
      {TlsContext::kDer, client.der.data(), static_cast<std::uint32_t>(client.der.size()), 0},
      {TlsContext::kPem, reinterpret_cast<const std::uint8_t*>(pem.data()),
       static_cast<std::uint32_t>(pem.size()), 0},
      {TlsContext::kDer, garbage.data(), 4, TlsContext::kDerUnreadable},
      {TlsContext::kPem, garbage.data(), 4, TlsContext::kPemUnreadable},
      {3, client.der.data(), static_cast<std::uint32_t>(client.der.size()), TlsContext::kBadType},
      {TlsContext::kDer, client.der.data(), 0, TlsContext::kBioWriteFailed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(context->UseCertificateDer(c.type, c.bytes, c.length), c.result);
    EXPECT_EQ(context->AddChainCertificateDer(c.type, c.bytes, c.length), c.result);
  }
  ASSERT_EQ(context->UseCertificateDer(TlsContext::kDer, client.der.data(),
                                       static_cast<std::uint32_t>(client.der.size())),
            0);
  const auto wrongKey = other.Pkcs8();
  EXPECT_EQ(context->UsePrivateKeyDer(wrongKey.data(), static_cast<std::uint32_t>(wrongKey.size())),
            TlsContext::kKeyRefused);
  EXPECT_EQ(context->UsePrivateKeyDer(garbage.data(), 4), TlsContext::kDerUnreadable);
  const auto key = client.Pkcs8();
  EXPECT_EQ(context->UsePrivateKeyDer(key.data(), static_cast<std::uint32_t>(key.size())), 0);
  EXPECT_EQ(ERR_peek_error(), 0u) << "the loaders leave OpenSSL's error queue clean";
}

}  // namespace
