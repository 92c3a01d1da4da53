#include "platform/cryptoapi/oid_info.h"

#include <openssl/objects.h>

#include <vector>

namespace capi {
namespace {

struct OidName {
  std::string_view oid;
  OidGroup group;
  std::string_view name;
};

constexpr OidName kOidNames[] = {
    {"1.2.840.113549.1.1.2", OidGroup::SignatureAlgorithm, "md2RSA"},
    {"1.2.840.113549.1.1.4", OidGroup::SignatureAlgorithm, "md5RSA"},
    {"1.2.840.113549.1.1.5", OidGroup::SignatureAlgorithm, "sha1RSA"},
    {"1.2.840.113549.1.1.11", OidGroup::SignatureAlgorithm, "sha256RSA"},
    {"1.2.840.113549.1.1.12", OidGroup::SignatureAlgorithm, "sha384RSA"},
    {"1.2.840.113549.1.1.13", OidGroup::SignatureAlgorithm, "sha512RSA"},
    {"1.2.840.10040.4.3", OidGroup::SignatureAlgorithm, "sha1DSA"},
    {"1.2.840.10045.4.1", OidGroup::SignatureAlgorithm, "sha1ECDSA"},
    {"1.2.840.10045.4.3.2", OidGroup::SignatureAlgorithm, "sha256ECDSA"},
    {"1.2.840.113549.1.1.1", OidGroup::PublicKeyAlgorithm, "RSA"},
    {"1.2.840.10040.4.1", OidGroup::PublicKeyAlgorithm, "DSA"},
    {"1.2.840.10046.2.1", OidGroup::PublicKeyAlgorithm, "DH"},
    {"1.2.840.10045.2.1", OidGroup::PublicKeyAlgorithm, "ECC"},
    {"1.3.6.1.4.1.311.20.2.3", OidGroup::ExtensionOrAttribute, "Principal Name"},
};

}  // namespace

std::string_view CryptFindOidName(std::string_view dottedOid, OidGroup group) {
  for (const OidName& entry : kOidNames) {
    if (entry.group == group && entry.oid == dottedOid) return entry.name;
  }
  return {};
}

std::string DottedOid(const ASN1_OBJECT* object) {
  if (object == nullptr) return {};
  const int needed = OBJ_obj2txt(nullptr, 0, object, 1);
  if (needed <= 0) return {};
  std::vector<char> text(static_cast<std::size_t>(needed) + 1);
  OBJ_obj2txt(text.data(), needed + 1, object, 1);
  return std::string(text.data());
}

}  // namespace capi
