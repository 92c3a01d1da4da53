#pragma once
// Display names of object identifiers, by group, as the certificate UI shows them (the
// stand-in for CryptFindOIDInfo's name lookup).
#include <string>
#include <string_view>

#include <openssl/asn1.h>

namespace capi {

enum class OidGroup { SignatureAlgorithm, PublicKeyAlgorithm, ExtensionOrAttribute };

// The display name of a dotted identifier in a group; empty when the group has none.
std::string_view CryptFindOidName(std::string_view dottedOid, OidGroup group);

// The dotted text of an object identifier ("1.2.840.113549.1.1.11"); empty for null.
std::string DottedOid(const ASN1_OBJECT* object);

}  // namespace capi
