#pragma once
// Certificates made at test time with OpenSSL: a P-256 key and a certificate for it, signed
// by itself or by an issuer. For tests only (header-only, never part of the library).
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace capi::testing {

struct TestCertificate {
  std::shared_ptr<EVP_PKEY> key;
  std::shared_ptr<X509> x509;
  std::vector<std::uint8_t> der;

  std::string DerString() const { return std::string(der.begin(), der.end()); }

  // The private key as PKCS#8 DER.
  std::vector<std::uint8_t> Pkcs8() const {
    PKCS8_PRIV_KEY_INFO* info = EVP_PKEY2PKCS8(key.get());
    unsigned char* out = nullptr;
    int length = info != nullptr ? i2d_PKCS8_PRIV_KEY_INFO(info, &out) : 0;
    PKCS8_PRIV_KEY_INFO_free(info);
    if (length <= 0) std::abort();
    std::vector<std::uint8_t> bytes(out, out + length);
    OPENSSL_free(out);
    return bytes;
  }
};

struct CertificateOptions {
  long notBeforeDays = -1;  // relative to now
  long notAfterDays = 30;
  const TestCertificate* issuer = nullptr;  // null: self-signed
  bool isCa = false;
  long serial = 1;
  bool rsa = false;  // an RSA key (1024 bits, quick to make) instead of P-256
  std::size_t rsaBits = 1024;  // 2048 for peers that refuse smaller keys
  bool dsa = false;  // a DSA key (1024 bits, 160-bit q) instead of P-256
  const char* extendedKeyUsage = nullptr;  // e.g. "clientAuth"; null: no such extension
  const char* keyUsage = nullptr;          // e.g. "digitalSignature"; null: no such extension
  const EVP_MD* digest = nullptr;  // what the issuer signs with (EVP_md5() needs an RSA issuer); null: SHA-256
};

// A 1024-bit DSA key with a 160-bit q, so that it signs 20-byte SHA-1 values whole.
inline EVP_PKEY* MakeDsaKey() {
  EVP_PKEY_CTX* paramContext = EVP_PKEY_CTX_new_from_name(nullptr, "DSA", nullptr);
  EVP_PKEY* params = nullptr;
  if (paramContext == nullptr || EVP_PKEY_paramgen_init(paramContext) != 1 ||
      EVP_PKEY_CTX_set_dsa_paramgen_bits(paramContext, 1024) != 1 ||
      EVP_PKEY_CTX_set_dsa_paramgen_q_bits(paramContext, 160) != 1 ||
      EVP_PKEY_paramgen(paramContext, &params) != 1) {
    std::abort();
  }
  EVP_PKEY_CTX_free(paramContext);
  EVP_PKEY_CTX* keyContext = EVP_PKEY_CTX_new_from_pkey(nullptr, params, nullptr);
  EVP_PKEY* key = nullptr;
  if (keyContext == nullptr || EVP_PKEY_keygen_init(keyContext) != 1 || EVP_PKEY_keygen(keyContext, &key) != 1) {
    std::abort();
  }
  EVP_PKEY_CTX_free(keyContext);
  EVP_PKEY_free(params);
  return key;
}

inline TestCertificate MakeCertificate(const std::string& commonName,
                                       const CertificateOptions& options = {}) {
  TestCertificate made;
  made.key.reset(options.dsa   ? MakeDsaKey()
                 : options.rsa ? EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", options.rsaBits)
                               : EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"),
                 EVP_PKEY_free);
  made.x509.reset(X509_new(), X509_free);
  X509* x = made.x509.get();
  if (!made.key || x == nullptr) std::abort();
  X509_set_version(x, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(x), options.serial);
  X509_gmtime_adj(X509_getm_notBefore(x), options.notBeforeDays * 86400);
  X509_gmtime_adj(X509_getm_notAfter(x), options.notAfterDays * 86400);
  X509_NAME* name = X509_get_subject_name(x);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                             reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
  const TestCertificate* issuer = options.issuer != nullptr ? options.issuer : &made;
  X509_set_issuer_name(x, X509_get_subject_name(issuer->x509.get()));
  X509_set_pubkey(x, made.key.get());
  auto addExtension = [&](int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer->x509.get(), x, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (extension == nullptr) std::abort();
    X509_add_ext(x, extension, -1);
    X509_EXTENSION_free(extension);
  };
  if (options.isCa) addExtension(NID_basic_constraints, "critical,CA:TRUE");
  if (options.extendedKeyUsage != nullptr) addExtension(NID_ext_key_usage, options.extendedKeyUsage);
  if (options.keyUsage != nullptr) addExtension(NID_key_usage, options.keyUsage);
  if (X509_sign(x, issuer->key.get(), options.digest != nullptr ? options.digest : EVP_sha256()) <= 0) std::abort();
  unsigned char* out = nullptr;
  int length = i2d_X509(x, &out);
  if (length <= 0) std::abort();
  made.der.assign(out, out + length);
  OPENSSL_free(out);
  return made;
}

// A revocation list of `issuer` (DER) that revokes the given serial numbers, valid from a day
// ago for `nextUpdateDays` days.
inline std::vector<std::uint8_t> MakeCrl(const TestCertificate& issuer, const std::vector<long>& revokedSerials,
                                         long nextUpdateDays = 7) {
  X509_CRL* crl = X509_CRL_new();
  if (crl == nullptr) std::abort();
  X509_CRL_set_version(crl, 1);
  X509_CRL_set_issuer_name(crl, X509_get_subject_name(issuer.x509.get()));
  const time_t now = time(nullptr);
  ASN1_TIME* last = ASN1_TIME_adj(nullptr, now, -1, 0);
  ASN1_TIME* next = ASN1_TIME_adj(nullptr, now, static_cast<int>(nextUpdateDays), 0);
  X509_CRL_set1_lastUpdate(crl, last);
  X509_CRL_set1_nextUpdate(crl, next);
  for (long serial : revokedSerials) {
    X509_REVOKED* revoked = X509_REVOKED_new();
    ASN1_INTEGER* number = ASN1_INTEGER_new();
    ASN1_INTEGER_set(number, serial);
    X509_REVOKED_set_serialNumber(revoked, number);
    X509_REVOKED_set_revocationDate(revoked, last);
    ASN1_INTEGER_free(number);
    X509_CRL_add0_revoked(crl, revoked);
  }
  ASN1_TIME_free(last);
  ASN1_TIME_free(next);
  X509_CRL_sort(crl);
  if (X509_CRL_sign(crl, issuer.key.get(), EVP_sha256()) <= 0) std::abort();
  unsigned char* out = nullptr;
  const int length = i2d_X509_CRL(crl, &out);
  if (length <= 0) std::abort();
  std::vector<std::uint8_t> der(out, out + length);
  OPENSSL_free(out);
  X509_CRL_free(crl);
  return der;
}

}  // namespace capi::testing
