#include "platform/cryptoapi/cert_import.h"

#include <openssl/crypto.h>
#include <openssl/pem.h>
#include <openssl/pkcs12.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <memory>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/crl_store.h"
#include "platform/cryptoapi/directory_store.h"
#include "platform/cryptoapi/name_string.h"
#include "platform/cryptoapi/openssl_error_scope.h"
#include "platform/cryptoapi/private_key.h"
#include "platform/cryptoapi/stored_certificate.h"

namespace capi {
namespace {

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct StoreCloser {
  void operator()(CertStore* store) const { CertCloseStore(store, 0); }
};
using StoreHolder = std::unique_ptr<CertStore, StoreCloser>;
struct ContextFreer {
  void operator()(const CertContext* context) const { CertFreeCertificateContext(context); }
};
using ContextHolder = std::unique_ptr<const CertContext, ContextFreer>;

// What a file holds, decoded, before anything is written.
struct FileContents {
  std::vector<std::vector<std::uint8_t>> certificates;  // DER
  std::vector<detail::PrivateKey> keys;
  std::vector<std::vector<std::uint8_t>> revocationLists;  // DER
};

std::vector<std::uint8_t> DerOfCertificate(X509* certificate) {
  unsigned char* der = nullptr;
  const int length = i2d_X509(certificate, &der);
  std::vector<std::uint8_t> bytes;
  if (length > 0) bytes.assign(der, der + length);
  OPENSSL_free(der);
  return bytes;
}

// OpenSSL's password callback over the caller's password.
int GivePassword(char* buffer, int size, int, void* password) {
  const auto* text = static_cast<const std::string*>(password);
  const int length = static_cast<int>(std::min<std::size_t>(text->size(), static_cast<std::size_t>(size)));
  std::copy(text->begin(), text->begin() + length, buffer);
  return length;
}

bool ReadPem(std::string_view bytes, const std::string& password, FileContents& contents, std::string& error) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
  for (;;) {
    char* name = nullptr;
    char* header = nullptr;
    unsigned char* data = nullptr;
    long length = 0;
    if (PEM_read_bio(bio.get(), &name, &header, &data, &length) != 1) break;
    const std::string type(name);
    // Each block on its own, so that a key block can be read with its password.
    std::unique_ptr<BIO, BioFree> block(BIO_new(BIO_s_mem()));
    PEM_write_bio(block.get(), name, header, data, length);
    OPENSSL_free(name);
    OPENSSL_free(header);
    OPENSSL_cleanse(data, static_cast<std::size_t>(length));
    OPENSSL_free(data);
    if (type == "CERTIFICATE" || type == "TRUSTED CERTIFICATE" || type == "X509 CERTIFICATE") {
      X509* certificate = PEM_read_bio_X509_AUX(block.get(), nullptr, nullptr, nullptr);
      if (certificate == nullptr) {
        error = "a certificate in the file cannot be read";
        return false;
      }
      contents.certificates.push_back(DerOfCertificate(certificate));
      X509_free(certificate);
    } else if (type == "X509 CRL") {
      X509_CRL* crl = PEM_read_bio_X509_CRL(block.get(), nullptr, nullptr, nullptr);
      if (crl == nullptr) {
        error = "a revocation list in the file cannot be read";
        return false;
      }
      contents.revocationLists.push_back(detail::EncodeCrl(crl));
      X509_CRL_free(crl);
    } else if (type.ends_with("PRIVATE KEY")) {
      EVP_PKEY* key = PEM_read_bio_PrivateKey(block.get(), nullptr, GivePassword, const_cast<std::string*>(&password));
      if (key == nullptr) {
        error = "a private key in the file cannot be read (wrong or missing password?)";
        return false;
      }
      contents.keys.emplace_back(key, EVP_PKEY_free);
    }
    // Other blocks (parameters, requests) are not store entries: passed over.
  }
  if (contents.certificates.empty() && contents.keys.empty() && contents.revocationLists.empty()) {
    error = "the file holds no certificate, private key or revocation list";
    return false;
  }
  return true;
}

bool ReadPkcs12(PKCS12* p12, const std::string& password, FileContents& contents, std::string& error) {
  EVP_PKEY* key = nullptr;
  X509* certificate = nullptr;
  STACK_OF(X509)* others = nullptr;
  if (PKCS12_parse(p12, password.c_str(), &key, &certificate, &others) != 1) {
    error = "the PKCS#12 file cannot be opened (wrong or missing password?)";
    return false;
  }
  if (certificate != nullptr) contents.certificates.push_back(DerOfCertificate(certificate));
  for (int i = 0; others != nullptr && i < sk_X509_num(others); ++i) {
    contents.certificates.push_back(DerOfCertificate(sk_X509_value(others, i)));
  }
  if (key != nullptr) contents.keys.emplace_back(key, EVP_PKEY_free);
  X509_free(certificate);
  sk_X509_pop_free(others, X509_free);
  return true;
}

bool ReadDer(std::string_view bytes, const std::string& password, FileContents& contents, std::string& error) {
  const auto* start = reinterpret_cast<const unsigned char*>(bytes.data());
  const long length = static_cast<long>(bytes.size());
  auto whole = [&](const unsigned char* end) { return end == start + length; };
  const unsigned char* cursor = start;
  if (X509* certificate = d2i_X509(nullptr, &cursor, length)) {
    const bool exact = whole(cursor);
    if (exact) contents.certificates.push_back(DerOfCertificate(certificate));
    X509_free(certificate);
    if (exact) return true;
  }
  cursor = start;
  if (X509_CRL* crl = d2i_X509_CRL(nullptr, &cursor, length)) {
    const bool exact = whole(cursor);
    if (exact) contents.revocationLists.push_back(detail::EncodeCrl(crl));
    X509_CRL_free(crl);
    if (exact) return true;
  }
  cursor = start;
  if (PKCS12* p12 = d2i_PKCS12(nullptr, &cursor, length)) {
    const bool exact = whole(cursor);
    const bool read = exact && ReadPkcs12(p12, password, contents, error);
    PKCS12_free(p12);
    if (exact) return read;
  }
  detail::PrivateKey key = detail::DecodePrivateKey(start, bytes.size());
  if (key != nullptr) {
    contents.keys.push_back(std::move(key));
    return true;
  }
  error = "the file is no certificate, revocation list, PKCS#12 file or private key";
  return false;
}

std::string TimeText(const ASN1_TIME* time) {
  std::tm when{};
  if (time == nullptr || ASN1_TIME_to_tm(time, &when) != 1) return {};
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &when);
  return text;
}

constexpr std::uint32_t kNameFlags = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG;

StoreHolder OpenStore(StoreLocation location, std::string_view storeName, std::string& error) {
  StoreHolder store(CertOpenSystemStore(location, storeName));
  if (!store) error = "no such store: \"" + std::string(storeName) + "\"";
  return store;
}

}  // namespace

ImportReport ImportIntoStore(StoreLocation location, std::string_view storeName, std::string_view bytes,
                             std::string_view password) {
  ImportReport report;
  detail::OpenSslErrorScope errors;
  std::string secret(password);
  FileContents contents;
  const bool read = bytes.size() <= kMaxImportBytes &&
                    (bytes.find("-----BEGIN") != std::string_view::npos ? ReadPem(bytes, secret, contents, report.error)
                                                                       : ReadDer(bytes, secret, contents, report.error));
  OPENSSL_cleanse(secret.data(), secret.size());
  if (!read) {
    if (report.error.empty()) report.error = "the file is too large";
    return report;
  }
  // Every key must belong to a certificate of the file: checked before anything is written.
  std::vector<int> owner(contents.keys.size(), -1);
  for (std::size_t k = 0; k < contents.keys.size(); ++k) {
    for (std::size_t c = 0; c < contents.certificates.size() && owner[k] < 0; ++c) {
      const unsigned char* cursor = contents.certificates[c].data();
      X509* certificate = d2i_X509(nullptr, &cursor, static_cast<long>(contents.certificates[c].size()));
      if (certificate != nullptr && X509_check_private_key(certificate, contents.keys[k].get()) == 1) {
        owner[k] = static_cast<int>(c);
      }
      X509_free(certificate);
    }
    if (owner[k] < 0) {
      report.error = "a private key in the file belongs to no certificate in the file";
      return report;
    }
  }
  StoreHolder store = OpenStore(location, storeName, report.error);
  if (!store) return report;
  for (std::size_t c = 0; c < contents.certificates.size(); ++c) {
    const std::vector<std::uint8_t>& der = contents.certificates[c];
    ContextHolder context(CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<std::uint32_t>(der.size())));
    const CertContext* added = nullptr;
    if (!context || !CertAddCertificateContextToStore(store.get(), context.get(), CERT_STORE_ADD_ALWAYS, &added)) {
      report.error = "a certificate cannot be filed in the store";
      return report;
    }
    ContextHolder filed(added);
    ++report.certificates;
    for (std::size_t k = 0; k < contents.keys.size(); ++k) {
      if (owner[k] != static_cast<int>(c)) continue;
      std::vector<std::uint8_t> pkcs8 = detail::EncodePrivateKey(*contents.keys[k]);
      const bool kept = !pkcs8.empty() && CertSetPrivateKey(filed.get(), pkcs8.data(), static_cast<std::uint32_t>(pkcs8.size()));
      OPENSSL_cleanse(pkcs8.data(), pkcs8.size());
      if (!kept) {
        report.error = "a private key cannot be filed in the store";
        return report;
      }
      ++report.keys;
    }
  }
  for (const std::vector<std::uint8_t>& der : contents.revocationLists) {
    if (!CertAddEncodedCrlToStore(store.get(), der.data(), static_cast<std::uint32_t>(der.size()))) {
      report.error = "a revocation list cannot be filed in the store";
      return report;
    }
    ++report.revocationLists;
  }
  report.ok = true;
  return report;
}

bool ListStore(StoreLocation location, std::string_view storeName, std::vector<StoreEntry>& entries) {
  entries.clear();
  std::string error;
  StoreHolder store = OpenStore(location, storeName, error);
  if (!store) return false;
  detail::OpenSslErrorScope errors;
  const CertContext* context = nullptr;
  while ((context = CertEnumCertificatesInStore(store.get(), context)) != nullptr) {
    StoreEntry entry;
    std::uint8_t sha1[kSha1HashSize];
    std::uint32_t size = sizeof sha1;
    if (CertGetCertificateContextProperty(context, CERT_SHA1_HASH_PROP_ID, sha1, &size)) {
      entry.hash = detail::HashToHex(sha1);
    }
    entry.subject = CertNameToStr(X509_get_subject_name(context->info), kNameFlags);
    entry.notBefore = TimeText(X509_get0_notBefore(context->info));
    entry.notAfter = TimeText(X509_get0_notAfter(context->info));
    HCRYPTPROV provider = nullptr;
    std::uint32_t keySpec = 0;
    bool mustFree = false;
    entry.hasPrivateKey = CryptAcquireCertificatePrivateKey(context, CRYPT_ACQUIRE_COMPARE_KEY_FLAG, &provider, &keySpec, &mustFree);
    if (entry.hasPrivateKey && mustFree) CryptReleaseContext(provider, 0);
    entries.push_back(std::move(entry));
  }
  for (const StoredCrl& crl : CertEnumCrlsInStore(store.get())) {
    StoreEntry entry;
    entry.hash = crl.hash;
    entry.isRevocationList = true;
    entry.subject = CertNameToStr(X509_CRL_get_issuer(crl.crl.get()), kNameFlags);
    entry.notBefore = TimeText(X509_CRL_get0_lastUpdate(crl.crl.get()));
    entry.notAfter = TimeText(X509_CRL_get0_nextUpdate(crl.crl.get()));
    entries.push_back(std::move(entry));
  }
  return true;
}

bool RemoveFromStore(StoreLocation location, std::string_view storeName, const std::string& hexHash,
                     std::string& error) {
  StoreHolder store = OpenStore(location, storeName, error);
  if (!store) return false;
  const bool isHash = hexHash.size() == 2 * kSha1HashSize &&
                      std::all_of(hexHash.begin(), hexHash.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
  if (!isHash) {
    error = "not a SHA-1 hash: \"" + hexHash + "\"";
    return false;
  }
  std::vector<std::uint8_t> hash(kSha1HashSize);
  for (std::size_t i = 0; i < kSha1HashSize; ++i) {
    hash[i] = static_cast<std::uint8_t>(std::stoul(hexHash.substr(2 * i, 2), nullptr, 16));
  }
  const CryptHashBlob blob{kSha1HashSize, hash.data()};
  const CertContext* found = CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_SHA1_HASH, &blob, nullptr);
  if (found != nullptr) {
    if (CertDeleteCertificateFromStore(found)) return true;
    error = "the certificate cannot be removed";
    return false;
  }
  if (CertDeleteCrlFromStore(store.get(), hexHash)) return true;
  error = "the store holds nothing with the hash " + hexHash;
  return false;
}

}  // namespace capi
