// The display texts of a certificate's fields, by field code, and the number read from one.
#include <arpa/inet.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "ksCert/BstrTokenizer.h"
#include "ksCert/KsCertFieldNames.h"
#include "ksCert/ksCertImpl.h"
#include "platform/cryptoapi/name_string.h"
#include "platform/cryptoapi/oid_info.h"
#include "platform/cryptoapi/openssl_error_scope.h"
#include "platform/win32/ansi_code_page.h"

namespace {

constexpr std::uint32_t kNameFlags = capi::CERT_X500_NAME_STR | capi::CERT_NAME_STR_REVERSE_FLAG;

struct GeneralNamesFree {
  void operator()(GENERAL_NAMES* names) const { GENERAL_NAMES_free(names); }
};
using GeneralNames = std::unique_ptr<GENERAL_NAMES, GeneralNamesFree>;

struct BignumFree {
  void operator()(BIGNUM* number) const { BN_free(number); }
};

std::string HexByte(std::uint8_t byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

std::string VersionText(const X509* info) {
  const long version = X509_get_version(info);
  if (version >= 0 && version <= 2) return "Version " + std::to_string(version + 1);
  return "Version Unknown";
}

// The serial's DER content bytes (two's complement, as the encoding holds them), most
// significant first, in pairs from the most significant end.
std::string SerialText(const X509* info) {
  const ASN1_INTEGER* serial = X509_get0_serialNumber(info);
  unsigned char* der = nullptr;
  const int length = i2d_ASN1_INTEGER(const_cast<ASN1_INTEGER*>(serial), &der);
  std::vector<std::uint8_t> content;
  if (length > 2) {
    // Skip the tag and the length octets.
    std::size_t header = 2;
    if ((der[1] & 0x80) != 0) header += der[1] & 0x7F;
    if (header < static_cast<std::size_t>(length)) content.assign(der + header, der + length);
  }
  OPENSSL_free(der);
  std::string text;
  const std::size_t count = content.size();
  for (std::size_t i = 0; i < count; ++i) {
    text += HexByte(content[i]);
    const std::size_t position = count - 1 - i;  // counted from the least significant byte
    if (position != 0 && position % 2 == count % 2) text += ' ';
  }
  return text;
}

std::string AlgorithmText(const ASN1_OBJECT* algorithm, capi::OidGroup group) {
  const std::string dotted = capi::DottedOid(algorithm);
  const std::string_view name = capi::CryptFindOidName(dotted, group);
  return name.empty() ? dotted : std::string(name);
}

// "Tuesday, March 5, 2002, 3:04:05 PM" in local time; false when the time cannot be read.
bool LocalDateText(const ASN1_TIME* time, std::string& text) {
  static constexpr const char* kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  static constexpr const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                            "July",    "August",   "September", "October", "November", "December"};
  std::tm universal{};
  if (time == nullptr || ASN1_TIME_to_tm(time, &universal) != 1) return false;
  const std::time_t seconds = timegm(&universal);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return false;
  // A 12-hour clock: midnight is 12 AM, noon 12 PM.
  const int hour = local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12;
  const char* half = local.tm_hour < 12 ? "AM" : "PM";
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, "%s, %s %d, %d, %d:%2.2d:%2.2d %s", kDays[local.tm_wday % 7],
                kMonths[local.tm_mon % 12], local.tm_mday, local.tm_year + 1900, hour, local.tm_min, local.tm_sec,
                half);
  text = buffer;
  return true;
}

bool PublicKeyText(const X509* info, std::string& text) {
  const ASN1_OBJECT* algorithm = nullptr;
  X509_PUBKEY* publicKey = X509_get_X509_PUBKEY(info);
  if (publicKey == nullptr || X509_PUBKEY_get0_param(const_cast<ASN1_OBJECT**>(&algorithm), nullptr, nullptr, nullptr,
                                                     publicKey) != 1) {
    return false;
  }
  text = AlgorithmText(algorithm, capi::OidGroup::PublicKeyAlgorithm);
  if (text != "RSA") return true;
  const EVP_PKEY* key = X509_get0_pubkey(info);
  BIGNUM* modulusValue = nullptr;
  BIGNUM* exponentValue = nullptr;
  const bool read = key != nullptr && EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_N, &modulusValue) == 1 &&
                    EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &exponentValue) == 1;
  std::unique_ptr<BIGNUM, BignumFree> modulus(modulusValue);
  std::unique_ptr<BIGNUM, BignumFree> exponent(exponentValue);
  if (!read) return false;
  const int bits = BN_num_bits(modulus.get());
  // Every byte of the modulus, also when its length is no multiple of 8 bits.
  std::vector<unsigned char> bytes(static_cast<std::size_t>((bits + 7) / 8));
  if (BN_bn2binpad(modulus.get(), bytes.data(), static_cast<int>(bytes.size())) < 0) return false;
  text = "RSA (" + std::to_string(bits) + "), Modulus: ";
  for (unsigned char byte : bytes) text += HexByte(byte);
  char exponentText[32];
  std::snprintf(exponentText, sizeof exponentText, ", Public Exponent: %" PRIx64,
                static_cast<std::uint64_t>(BN_get_word(exponent.get())));
  text += exponentText;
  return true;
}

// The subject alternative name, decoded; null when absent or undecodable (present tells which).
GeneralNames SubjectAltNames(const X509* info, bool* present) {
  *present = X509_get_ext_by_NID(info, NID_subject_alt_name, -1) >= 0;
  if (!*present) return nullptr;
  int critical = 0;
  return GeneralNames(static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(info, NID_subject_alt_name, &critical, nullptr)));
}

// An IP address as text: dotted quad or RFC 5952 text; other lengths give nothing.
std::string AddressText(const ASN1_OCTET_STRING* address) {
  char text[INET6_ADDRSTRLEN] = {};
  const int length = ASN1_STRING_length(address);
  const unsigned char* bytes = ASN1_STRING_get0_data(address);
  if (length == 4 && inet_ntop(AF_INET, bytes, text, sizeof text) != nullptr) return text;
  if (length == 16 && inet_ntop(AF_INET6, bytes, text, sizeof text) != nullptr) return text;
  return {};
}

std::string EntryText(const GENERAL_NAME* name) {
  switch (name->type) {
    case GEN_OTHERNAME: {
      const std::string dotted = capi::DottedOid(name->d.otherName->type_id);
      const std::string_view known = capi::CryptFindOidName(dotted, capi::OidGroup::ExtensionOrAttribute);
      return (known.empty() ? dotted : std::string(known)) + "=" + capi::CertAnyValueToStr(name->d.otherName->value);
    }
    case GEN_EMAIL:
    case GEN_DNS:
    case GEN_URI:
      return capi::CertRdnValueToStr(name->d.ia5);
    case GEN_DIRNAME:
      return capi::CertNameToStr(name->d.directoryName, kNameFlags);
    case GEN_IPADD:
      return AddressText(name->d.iPAddress);
    case GEN_RID:
      return capi::DottedOid(name->d.registeredID);
    default:
      return {};  // X.400 address, EDI party name
  }
}

bool AltNameText(const X509* info, std::string& text) {
  bool present = false;
  GeneralNames names = SubjectAltNames(info, &present);
  if (!names) return false;
  for (int i = 0; i < sk_GENERAL_NAME_num(names.get()); ++i) {
    if (i > 0) text += ", ";
    text += EntryText(sk_GENERAL_NAME_value(names.get(), i));
  }
  return true;
}

bool FirstDnsNameText(const X509* info, std::string& text) {
  bool present = false;
  GeneralNames names = SubjectAltNames(info, &present);
  for (int i = 0; names && i < sk_GENERAL_NAME_num(names.get()); ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names.get(), i);
    if (name->type == GEN_DNS) {
      text = capi::CertRdnValueToStr(name->d.dNSName);
      return true;
    }
  }
  return false;
}

// The last common name of the subject; a UTF8String value is read as UTF-8 throughout.
bool CommonNameText(const X509* info, std::string& text) {
  const X509_NAME* subject = X509_get_subject_name(info);
  for (int i = X509_NAME_entry_count(subject) - 1; i >= 0; --i) {
    const X509_NAME_ENTRY* entry = X509_NAME_get_entry(subject, i);
    if (OBJ_obj2nid(X509_NAME_ENTRY_get_object(entry)) == NID_commonName) {
      text = capi::CertRdnValueToStr(X509_NAME_ENTRY_get_data(entry));
      return true;
    }
  }
  return false;
}

}  // namespace

bool ksCertImpl::GetFieldText(std::int32_t field, std::u16string& out) const {
  out.clear();
  if (!context_ || field <= kCertFieldUnknown || field > kCertFieldSubjectSimpleDisplay) return false;
  const X509* info = context_->info;
  capi::detail::OpenSslErrorScope errors;
  std::string text;
  bool produced = true;
  switch (static_cast<CertField>(field)) {
    case kCertFieldVersion:
      text = VersionText(info);
      break;
    case kCertFieldSerialNumber:
      text = SerialText(info);
      break;
    case kCertFieldSignatureAlgorithm: {
      const X509_ALGOR* algorithm = X509_get0_tbs_sigalg(info);
      const ASN1_OBJECT* oid = nullptr;
      X509_ALGOR_get0(&oid, nullptr, nullptr, algorithm);
      text = AlgorithmText(oid, capi::OidGroup::SignatureAlgorithm);
      break;
    }
    case kCertFieldIssuer:
      text = capi::CertNameToStr(X509_get_issuer_name(info), kNameFlags);
      break;
    case kCertFieldSubjectName:
      text = capi::CertNameToStr(X509_get_subject_name(info), kNameFlags);
      break;
    case kCertFieldNotBefore:
      produced = LocalDateText(X509_get0_notBefore(info), text);
      break;
    case kCertFieldNotAfter:
      produced = LocalDateText(X509_get0_notAfter(info), text);
      break;
    case kCertFieldSubjectPublicKeyInfo:
      produced = PublicKeyText(info, text);
      break;
    case kCertFieldIssuerUniqueId:
    case kCertFieldSubjectUniqueId: {
      const ASN1_BIT_STRING* issuerId = nullptr;
      const ASN1_BIT_STRING* subjectId = nullptr;
      X509_get0_uids(info, &issuerId, &subjectId);
      produced = (field == kCertFieldIssuerUniqueId ? issuerId : subjectId) != nullptr;
      text = "Needs Conversion";
      break;
    }
    case kCertFieldIssuerAlternateName:
    case kCertFieldBasicConstraints:
      produced = false;  // never a text
      break;
    case kCertFieldSubjectAlternateName:
      produced = AltNameText(info, text);
      break;
    case kCertFieldCommonName:
      produced = CommonNameText(info, text);
      break;
    case kCertFieldSubjectAltDnsName:
      produced = FirstDnsNameText(info, text);
      break;
    case kCertFieldExtendedKeyUsage:
      return EnhancedKeyUsageText(out);
    case kCertFieldFriendlyName: {
      plat::BSTR name = nullptr;
      if (!DoGetFriendlyName(&name)) return false;
      out.assign(name, plat::SysStringLen(name));
      plat::SysFreeString(name);
      return true;
    }
    case kCertFieldSubjectSimpleDisplay:
      text = capi::CertGetSimpleDisplayName(info);
      break;
    default:
      return false;
  }
  if (!produced) return false;
  out = plat::AnsiToWide(text);
  return true;
}

bool ksCertImpl::GetFieldNumber(std::int32_t field, std::int32_t* value) const {
  *value = 0;
  std::u16string text;
  if (!GetFieldText(field, text)) return false;
  BstrTokenizer tokens(text, std::u16string_view(u" ,\0;", 4));
  if (tokens.Next().empty()) return false;
  // As wcstol reads base 10: leading white space, a sign, then digits up to the first other
  // character; the value is held to the 32-bit range.
  std::size_t at = 0;
  while (at < text.size() && (text[at] == u' ' || (text[at] >= u'\t' && text[at] <= u'\r'))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) negative = text[at++] == u'-';
  std::int64_t number = 0;
  const std::size_t firstDigit = at;
  for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
    number = std::min<std::int64_t>(number * 10 + (text[at] - u'0'), std::int64_t{INT32_MAX} + 1);
  }
  if (at == firstDigit) return false;
  if (negative) number = -number;
  *value = static_cast<std::int32_t>(std::clamp<std::int64_t>(number, INT32_MIN, INT32_MAX));
  return true;
}
