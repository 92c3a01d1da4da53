// Field texts and field numbers of certificates made here with OpenSSL.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "ksCert/KsCertFieldNames.h"
#include "ksCert/KsCertLib.h"
#include "ksCert/test_support.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/win32/ansi_code_page.h"

namespace {

using kscert_test::Bstr;
using kscert_test::Ref;
using Bytes = std::vector<std::uint8_t>;

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Key = std::unique_ptr<EVP_PKEY, PkeyFree>;

// 2002-03-05 15:04:05 UTC, a Tuesday.
constexpr std::time_t kTuesdayAfternoon = 1015340645;

struct Spec {
  long version = 2;
  Bytes serial = {0x01};
  std::time_t notBefore = kTuesdayAfternoon;
  std::time_t notAfter = kTuesdayAfternoon + 86400;
  std::vector<std::pair<const char*, std::string>> subject = {{"CN", "subject"}};
  const char* altName = nullptr;  // in the openssl configuration syntax
  const char* extendedKeyUsage = nullptr;
  const EVP_PKEY* key = nullptr;  // null: a shared P-256 key
};

const EVP_PKEY* SharedEcKey() {
  static Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  return key.get();
}

Bytes Build(const Spec& spec) {
  X509* x = X509_new();
  X509_set_version(x, spec.version);
  BIGNUM* serial = BN_bin2bn(spec.serial.data(), static_cast<int>(spec.serial.size()), nullptr);
  BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(x));
  BN_free(serial);
  ASN1_TIME_set(X509_getm_notBefore(x), spec.notBefore);
  ASN1_TIME_set(X509_getm_notAfter(x), spec.notAfter);
  X509_NAME* name = X509_get_subject_name(x);
  for (const auto& [key, value] : spec.subject) {
    X509_NAME_add_entry_by_txt(name, key, MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(value.c_str()), -1, -1, 0);
  }
  X509_set_issuer_name(x, name);
  const EVP_PKEY* key = spec.key != nullptr ? spec.key : SharedEcKey();
  X509_set_pubkey(x, const_cast<EVP_PKEY*>(key));
  auto extension = [&](int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, x, x, nullptr, nullptr, 0);
    X509_EXTENSION* made = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    EXPECT_NE(made, nullptr) << value;
    X509_add_ext(x, made, -1);
    X509_EXTENSION_free(made);
  };
  if (spec.altName != nullptr) extension(NID_subject_alt_name, spec.altName);
  if (spec.extendedKeyUsage != nullptr) extension(NID_ext_key_usage, spec.extendedKeyUsage);
  EXPECT_GT(X509_sign(x, const_cast<EVP_PKEY*>(key), EVP_sha256()), 0);
  unsigned char* der = nullptr;
  const int length = i2d_X509(x, &der);
  Bytes bytes(der, der + length);
  OPENSSL_free(der);
  X509_free(x);
  return bytes;
}

// Sets TZ while it lives.
class ScopedZone {
public:
  explicit ScopedZone(const char* zone) : variable_("TZ", zone) { tzset(); }
  ~ScopedZone() { tzset(); }

private:
  capi::testing::ScopedEnvironment variable_;
};

class CertFieldText : public ::testing::Test {
protected:
  void SetUp() override { dcfCreateInstance<KsCertLib>(root_.Out()); }

  // The certificate as the store hands it out (a KsCert).
  Ref<ksCert> Cert(const Bytes& der) {
    Bstr name(u"MY");
    Bstr location(u"Current User");
    Ref<ksCertStore> store;
    EXPECT_EQ(root_->OpenCertStore(name, nullptr, location, store.Out()), S_OK);
    VARIANT_BOOL added = VARIANT_FALSE;
    EXPECT_EQ(store->AddEncodedCert(der.data(), static_cast<std::uint32_t>(der.size()), kCertFormatDer, &added), S_OK);
    const Bytes hash = kscert_test::Sha1(der);
    Ref<ksCert> cert;
    EXPECT_EQ(store->GetCertByHash(hash.data(), 20, cert.Out()), S_OK);
    return cert;
  }
  // The field's text as UTF-8; "<none>" for S_FALSE.
  static std::string Text(ksCert* cert, std::int32_t field) {
    plat::BSTR text = reinterpret_cast<plat::BSTR>(0x1);
    const HRESULT result = cert->GetFieldText(field, &text);
    if (result == S_FALSE) {
      EXPECT_EQ(text, nullptr);
      return "<none>";
    }
    EXPECT_EQ(result, S_OK);
    std::string utf8 = plat::WideToAnsi(std::u16string_view(text, plat::SysStringLen(text)));
    plat::SysFreeString(text);
    return utf8;
  }

  capi::testing::ScopedCertRoot certRoot_;
  Ref<ksCertUtility> root_;
};

TEST_F(CertFieldText, FieldsOfGeneratedCertificates) {
  ScopedZone utc("UTC");
  const struct {
    const char* what;
    Spec spec;
    std::int32_t field;
    const char* text;
  } cases[] = {
      {"version 3", {}, kCertFieldVersion, "Version 3"},
      {"version 1", {.version = 0}, kCertFieldVersion, "Version 1"},
      {"four-byte serial", {.serial = {1, 2, 3, 4}}, kCertFieldSerialNumber, "0102 0304"},
      {"three-byte serial", {.serial = {0x0A, 0x0B, 0x0C}}, kCertFieldSerialNumber, "0A0B 0C"},
      {"sixteen-byte serial",
       {.serial = {0x11, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
       kCertFieldSerialNumber,
       "1102 0304 0506 0708 090A 0B0C 0D0E 0F10"},
      {"serial with its sign byte", {.serial = {0x80}}, kCertFieldSerialNumber, "0080"},
      {"signature algorithm", {}, kCertFieldSignatureAlgorithm, "sha256ECDSA"},
      {"subject reversed",
       {.subject = {{"C", "US"}, {"O", "Example, Inc."}, {"CN", "server"}}},
       kCertFieldSubjectName,
       "CN=server, O=\"Example, Inc.\", C=US"},
      {"issuer", {.subject = {{"O", "org"}, {"CN", "self"}}}, kCertFieldIssuer, "CN=self, O=org"},
      {"not before", {}, kCertFieldNotBefore, "Tuesday, March 5, 2002, 3:04:05 PM"},
      {"not after", {}, kCertFieldNotAfter, "Wednesday, March 6, 2002, 3:04:05 PM"},
      {"midnight is 12 AM", {.notBefore = kTuesdayAfternoon - 15 * 3600 + 60}, kCertFieldNotBefore,
       "Tuesday, March 5, 2002, 12:05:05 AM"},
      {"noon is 12 PM", {.notBefore = kTuesdayAfternoon - 3 * 3600 + 26 * 60}, kCertFieldNotBefore,
       "Tuesday, March 5, 2002, 12:30:05 PM"},
      {"no unique ids", {}, kCertFieldSubjectUniqueId, "<none>"},
      {"alternative names",
       {.altName = "email:alice@example.com, DNS:a.example.com, IP:192.0.2.7, IP:2001:db8::1, "
                   "URI:http://example.com/, RID:1.2.3.4, otherName:1.3.6.1.4.1.311.20.2.3;UTF8:alice@REALM, "
                   "otherName:1.2.3.5;UTF8:other"},
       kCertFieldSubjectAlternateName,
       "alice@example.com, a.example.com, 192.0.2.7, 2001:db8::1, http://example.com/, 1.2.3.4, "
       "Principal Name=alice@REALM, 1.2.3.5=other"},
      {"no alternative name", {}, kCertFieldSubjectAlternateName, "<none>"},
      {"first DNS name after an e-mail", {.altName = "email:a@b.c, DNS:first.example, DNS:second.example"},
       kCertFieldSubjectAltDnsName, "first.example"},
      {"no DNS name", {.altName = "email:a@b.c"}, kCertFieldSubjectAltDnsName, "<none>"},
      {"last common name", {.subject = {{"CN", "a"}, {"OU", "b"}, {"CN", "c"}}}, kCertFieldCommonName, "c"},
      {"UTF8String common name", {.subject = {{"CN", "Jürgen Ωmega 漢字"}}}, kCertFieldCommonName, "Jürgen Ωmega 漢字"},
      {"no common name", {.subject = {{"O", "org"}}}, kCertFieldCommonName, "<none>"},
      {"usage list", {.extendedKeyUsage = "serverAuth,clientAuth"}, kCertFieldExtendedKeyUsage,
       "1.3.6.1.5.5.7.3.1, 1.3.6.1.5.5.7.3.2"},
      {"no usage extension", {}, kCertFieldExtendedKeyUsage, "KELMORA_EKU_USAGE_ALL"},
      {"issuer alternative name never", {.altName = "DNS:x"}, kCertFieldIssuerAlternateName, "<none>"},
      {"basic constraints never", {}, kCertFieldBasicConstraints, "<none>"},
      {"no friendly name", {}, kCertFieldFriendlyName, "<none>"},
      {"simple display: organisation before e-mail",
       {.subject = {{"emailAddress", "e@x"}, {"O", "org"}}}, kCertFieldSubjectSimpleDisplay, "org"},
      {"simple display: alternative e-mail", {.subject = {{"L", "town"}}, .altName = "DNS:d, email:alt@x"},
       kCertFieldSubjectSimpleDisplay, "alt@x"},
      {"simple display: first value", {.subject = {{"L", "town"}, {"C", "US"}}}, kCertFieldSubjectSimpleDisplay, "town"},
      {"code 0", {}, 0, "<none>"},
      {"code 19", {}, 19, "<none>"},
      {"code -1", {}, -1, "<none>"},
  };
  for (const auto& c : cases) {
    Ref<ksCert> cert = Cert(Build(c.spec));
    ASSERT_TRUE(cert) << c.what;
    EXPECT_EQ(Text(cert.Get(), c.field), c.text) << c.what;
  }
}

TEST_F(CertFieldText, DatesFollowTheLocalZone) {
  Ref<ksCert> cert = Cert(Build({}));
  {
    ScopedZone east("XYZ-10");  // ten hours ahead of UTC: past midnight, a day later
    EXPECT_EQ(Text(cert.Get(), kCertFieldNotBefore), "Wednesday, March 6, 2002, 1:04:05 AM");
  }
  ScopedZone west("XYZ+3");
  EXPECT_EQ(Text(cert.Get(), kCertFieldNotBefore), "Tuesday, March 5, 2002, 12:04:05 PM");
}

TEST_F(CertFieldText, RsaKeyTextCarriesEveryModulusByte) {
  for (unsigned bits : {1024u, 1020u}) {
    Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<std::size_t>(bits)));
    ASSERT_TRUE(key);
    BIGNUM* modulus = nullptr;
    ASSERT_EQ(EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_N, &modulus), 1);
    char* hex = BN_bn2hex(modulus);
    const std::string modulusHex(hex);
    OPENSSL_free(hex);
    BN_free(modulus);
    Ref<ksCert> cert = Cert(Build({.key = key.get()}));
    const std::string text = Text(cert.Get(), kCertFieldSubjectPublicKeyInfo);
    EXPECT_EQ(text, "RSA (" + std::to_string(bits) + "), Modulus: " + modulusHex + ", Public Exponent: 10001");
    EXPECT_EQ(modulusHex.size(), 256u);  // (bits + 7) / 8 bytes
  }
  EXPECT_EQ(Text(Cert(Build({})).Get(), kCertFieldSubjectPublicKeyInfo), "ECC");
}

TEST_F(CertFieldText, FieldNumbersReadTheLeadingDecimal) {
  const struct {
    const char* what;
    Spec spec;
    std::int32_t field;
    HRESULT result;
    std::int32_t value;
  } cases[] = {
      {"version text is no number", {}, kCertFieldVersion, S_FALSE, 0},
      {"serial starting with digits", {.serial = {0x12, 0x34, 0xAB}}, kCertFieldSerialNumber, S_OK, 1234},
      {"serial behind its sign byte", {.serial = {0xAB}}, kCertFieldSerialNumber, S_OK, 0},
      {"common name with a sign", {.subject = {{"CN", " -42 apples"}}}, kCertFieldCommonName, S_OK, -42},
      {"held to 32 bits", {.subject = {{"CN", "99999999999"}}}, kCertFieldCommonName, S_OK, 2147483647},
      {"no text", {}, kCertFieldBasicConstraints, S_FALSE, 0},
      {"only delimiters", {.subject = {{"CN", " ;, "}}}, kCertFieldCommonName, S_FALSE, 0},
  };
  for (const auto& c : cases) {
    Ref<ksCert> cert = Cert(Build(c.spec));
    std::int32_t value = 77;
    EXPECT_EQ(cert->GetFieldNumber(c.field, &value), c.result) << c.what;
    EXPECT_EQ(value, c.value) << c.what;
  }
  Ref<ksCert> cert = Cert(Build({}));
  EXPECT_EQ(cert->GetFieldNumber(1, nullptr), E_POINTER);
  EXPECT_EQ(cert->GetFieldText(1, nullptr), E_POINTER);
  // ksCert2 reaches the same text.
  Ref<ksCert2> second;
  ASSERT_EQ(cert->QueryInterface(IID_ksCert2, reinterpret_cast<void**>(second.Out())), S_OK);
  plat::BSTR text = nullptr;
  ASSERT_EQ(second->GetFieldText(kCertFieldVersion, &text), S_OK);
  EXPECT_EQ(std::u16string(text), u"Version 3");
  plat::SysFreeString(text);
}

}  // namespace
