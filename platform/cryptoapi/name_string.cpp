#include "platform/cryptoapi/name_string.h"

#include <openssl/asn1.h>
#include <openssl/objects.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "platform/cryptoapi/oid_info.h"
#include "platform/cryptoapi/openssl_error_scope.h"

namespace capi {
namespace {

struct NameKey {
  std::string_view key;
  int nid;
};

constexpr NameKey kNameKeys[] = {
    {"CN", NID_commonName},       {"OU", NID_organizationalUnitName}, {"O", NID_organizationName},
    {"L", NID_localityName},      {"S", NID_stateOrProvinceName},     {"C", NID_countryName},
    {"E", NID_pkcs9_emailAddress}, {"STREET", NID_streetAddress},     {"T", NID_title},
    {"G", NID_givenName},         {"I", NID_initials},                {"SN", NID_surname},
    {"DC", NID_domainComponent},  {"SERIALNUMBER", NID_serialNumber},
};

constexpr std::string_view kOidPrefix = "OID.";

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Upper(x) == Upper(y); });
}

std::string KeyOf(const ASN1_OBJECT* object) {
  const int nid = OBJ_obj2nid(object);
  for (const NameKey& entry : kNameKeys) {
    if (nid != NID_undef && entry.nid == nid) return std::string(entry.key);
  }
  return std::string(kOidPrefix) + DottedOid(object);
}

// White space the reader skips around a value.
bool IsSkippedSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool NeedsQuotes(std::string_view value) {
  if (value.empty() || IsSkippedSpace(value.front()) || IsSkippedSpace(value.back())) return true;
  return value.find_first_of(",+=\"\r\n<>#;") != std::string_view::npos;
}

std::string Quoted(std::string_view value) {
  if (!NeedsQuotes(value)) return std::string(value);
  std::string quoted = "\"";
  for (char c : value) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + '"';
}

std::string Hex(const unsigned char* bytes, std::size_t length) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 0xF];
  }
  return text;
}

bool IsStringType(int type) {
  switch (type) {
    case V_ASN1_UTF8STRING:
    case V_ASN1_PRINTABLESTRING:
    case V_ASN1_IA5STRING:
    case V_ASN1_T61STRING:
    case V_ASN1_BMPSTRING:
    case V_ASN1_UNIVERSALSTRING:
    case V_ASN1_VISIBLESTRING:
    case V_ASN1_NUMERICSTRING:
      return true;
    default:
      return false;
  }
}

struct Asn1TypeFree {
  void operator()(ASN1_TYPE* value) const { ASN1_TYPE_free(value); }
};
struct NameFree {
  void operator()(X509_NAME* name) const { X509_NAME_free(name); }
};
struct ObjectFree {
  void operator()(ASN1_OBJECT* object) const { ASN1_OBJECT_free(object); }
};

std::string HexOfDer(const ASN1_TYPE* value) {
  unsigned char* der = nullptr;
  const int length = i2d_ASN1_TYPE(const_cast<ASN1_TYPE*>(value), &der);
  std::string text = "#";
  if (length > 0) text += Hex(der, static_cast<std::size_t>(length));
  OPENSSL_free(der);
  return text;
}

// One attribute as the text gave it.
struct ParsedAttribute {
  std::unique_ptr<ASN1_OBJECT, ObjectFree> object;
  int nid = NID_undef;
  std::string value;
};

class NameParser {
public:
  explicit NameParser(std::string_view text) : text_(text) {}

  // The RDNs in text order; false when the text is not a name.
  bool Parse(std::vector<std::vector<ParsedAttribute>>& rdns) {
    SkipSpaces();
    if (AtEnd()) return true;  // no RDN at all: the empty name
    for (;;) {
      std::vector<ParsedAttribute> rdn;
      for (;;) {
        ParsedAttribute attribute;
        if (!ParseAttribute(attribute)) return false;
        rdn.push_back(std::move(attribute));
        if (AtEnd() || Peek() != '+') break;
        ++position_;
      }
      rdns.push_back(std::move(rdn));
      if (AtEnd()) return true;
      if (Peek() != ',' && Peek() != ';') return false;
      ++position_;
    }
  }

private:
  bool AtEnd() const { return position_ >= text_.size(); }
  char Peek() const { return text_[position_]; }
  void SkipSpaces() {
    while (!AtEnd() && IsSkippedSpace(Peek())) ++position_;
  }

  bool ParseAttribute(ParsedAttribute& attribute) {
    SkipSpaces();
    const std::size_t start = position_;
    while (!AtEnd() && (std::isalnum(static_cast<unsigned char>(Peek())) != 0 || Peek() == '.')) ++position_;
    if (!ResolveKey(text_.substr(start, position_ - start), attribute)) return false;
    SkipSpaces();
    if (AtEnd() || Peek() != '=') return false;
    ++position_;
    SkipSpaces();
    if (!AtEnd() && Peek() == '"') {
      if (!ParseQuoted(attribute.value)) return false;
    } else if (!ParseUnquoted(attribute.value)) {
      return false;
    }
    SkipSpaces();
    return true;
  }

  static bool IsDotted(std::string_view text) {
    if (text.empty() || text.front() == '.' || text.back() == '.' || text.find("..") != std::string_view::npos) {
      return false;
    }
    return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
  }

  static bool ResolveKey(std::string_view key, ParsedAttribute& attribute) {
    for (const NameKey& entry : kNameKeys) {
      if (EqualsIgnoringCase(key, entry.key)) {
        attribute.nid = entry.nid;
        attribute.object.reset(OBJ_nid2obj(entry.nid) != nullptr ? OBJ_dup(OBJ_nid2obj(entry.nid)) : nullptr);
        return attribute.object != nullptr;
      }
    }
    if (key.size() > kOidPrefix.size() && EqualsIgnoringCase(key.substr(0, kOidPrefix.size()), kOidPrefix)) {
      key.remove_prefix(kOidPrefix.size());
    }
    if (!IsDotted(key)) return false;
    attribute.object.reset(OBJ_txt2obj(std::string(key).c_str(), 1));
    if (!attribute.object) return false;
    attribute.nid = OBJ_obj2nid(attribute.object.get());
    return true;
  }

  bool ParseQuoted(std::string& value) {
    ++position_;  // the opening quote
    for (;;) {
      if (AtEnd()) return false;
      const char c = text_[position_++];
      if (c != '"') {
        value += c;
        continue;
      }
      if (!AtEnd() && Peek() == '"') {  // a doubled quote stands for one
        value += '"';
        ++position_;
        continue;
      }
      return true;
    }
  }

  bool ParseUnquoted(std::string& value) {
    if (!AtEnd() && Peek() == '#') return false;  // the hexadecimal form is not read
    while (!AtEnd() && Peek() != ',' && Peek() != ';' && Peek() != '+') {
      const char c = text_[position_++];
      if (c == '"' || c == '=' || c == '<' || c == '>' || c == '\n' || c == '\r') return false;
      value += c;
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
    return true;
  }

  std::string_view text_;
  std::size_t position_ = 0;
};

bool IsPrintableStringCharacter(unsigned char c) {
  return std::isalnum(c) != 0 || std::string_view(" '()+,-./:=?").find(static_cast<char>(c)) != std::string_view::npos;
}

bool IsWellFormedUtf8(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t at = 0;
  while (at < text.size()) {
    unsigned long character = 0;
    const int used = UTF8_getc(bytes + at, static_cast<int>(text.size() - at), &character);
    if (used <= 0 || (character >= 0xD800 && character <= 0xDFFF)) return false;
    at += static_cast<std::size_t>(used);
  }
  return true;
}

// The string type a parsed value is encoded with; V_ASN1_UNDEF when it cannot be.
int EncodingFor(const ParsedAttribute& attribute) {
  const std::string& value = attribute.value;
  const bool printable = std::all_of(value.begin(), value.end(),
                                     [](char c) { return IsPrintableStringCharacter(static_cast<unsigned char>(c)); });
  const bool ascii = std::all_of(value.begin(), value.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (attribute.nid == NID_pkcs9_emailAddress || attribute.nid == NID_domainComponent) {
    if (ascii) return V_ASN1_IA5STRING;
  } else if (printable) {
    return V_ASN1_PRINTABLESTRING;
  }
  return IsWellFormedUtf8(value) ? V_ASN1_UTF8STRING : V_ASN1_UNDEF;
}

}  // namespace

std::string CertRdnValueToStr(const ASN1_STRING* value) {
  if (value == nullptr) return {};
  const int type = ASN1_STRING_type(value);
  if (IsStringType(type)) {
    unsigned char* utf8 = nullptr;
    const int length = ASN1_STRING_to_UTF8(&utf8, value);
    if (length >= 0) {
      std::string text(reinterpret_cast<const char*>(utf8), static_cast<std::size_t>(length));
      OPENSSL_free(utf8);
      return text;
    }
  }
  std::unique_ptr<ASN1_TYPE, Asn1TypeFree> any(ASN1_TYPE_new());
  if (!any || ASN1_TYPE_set1(any.get(), type, value) != 1) return "#";
  return HexOfDer(any.get());
}

std::string CertAnyValueToStr(const ASN1_TYPE* value) {
  if (value == nullptr) return {};
  if (IsStringType(value->type)) return CertRdnValueToStr(value->value.asn1_string);
  return HexOfDer(value);
}

std::string CertNameToStr(const X509_NAME* name, std::uint32_t flags) {
  if (name == nullptr) return {};
  detail::OpenSslErrorScope errors;
  std::vector<std::string> rdns;
  int currentSet = -1;
  for (int i = 0; i < X509_NAME_entry_count(name); ++i) {
    const X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, i);
    const std::string attribute = KeyOf(X509_NAME_ENTRY_get_object(entry)) + "=" +
                                  Quoted(CertRdnValueToStr(X509_NAME_ENTRY_get_data(entry)));
    const int set = X509_NAME_ENTRY_set(entry);
    if (rdns.empty() || set != currentSet) {
      rdns.push_back(attribute);
    } else {
      rdns.back() += " + " + attribute;
    }
    currentSet = set;
  }
  if ((flags & CERT_NAME_STR_REVERSE_FLAG) != 0) std::reverse(rdns.begin(), rdns.end());
  std::string text;
  for (const std::string& rdn : rdns) {
    if (!text.empty()) text += ", ";
    text += rdn;
  }
  return text;
}

bool CertStrToName(std::string_view text, std::uint32_t flags, std::vector<std::uint8_t>& der) {
  der.clear();
  if (text.size() > kMaxNameTextBytes) return false;
  detail::OpenSslErrorScope errors;
  std::vector<std::vector<ParsedAttribute>> rdns;
  if (!NameParser(text).Parse(rdns)) return false;
  if ((flags & CERT_NAME_STR_REVERSE_FLAG) != 0) std::reverse(rdns.begin(), rdns.end());
  std::unique_ptr<X509_NAME, NameFree> name(X509_NAME_new());
  if (!name) return false;
  for (const std::vector<ParsedAttribute>& rdn : rdns) {
    bool first = true;
    for (const ParsedAttribute& attribute : rdn) {
      const int type = EncodingFor(attribute);
      if (type == V_ASN1_UNDEF ||
          X509_NAME_add_entry_by_OBJ(name.get(), attribute.object.get(), type,
                                     reinterpret_cast<const unsigned char*>(attribute.value.data()),
                                     static_cast<int>(attribute.value.size()), -1, first ? 0 : -1) != 1) {
        return false;
      }
      first = false;
    }
  }
  unsigned char* encoded = nullptr;
  const int length = i2d_X509_NAME(name.get(), &encoded);
  if (length <= 0) return false;
  der.assign(encoded, encoded + length);
  OPENSSL_free(encoded);
  return true;
}

std::string CertGetSimpleDisplayName(const X509* info, std::uint32_t flags) {
  if (info == nullptr) return {};
  detail::OpenSslErrorScope errors;
  const bool ofIssuer = (flags & CERT_NAME_ISSUER_FLAG) != 0;
  const X509_NAME* subject = ofIssuer ? X509_get_issuer_name(info) : X509_get_subject_name(info);
  for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
    const int index = X509_NAME_get_index_by_NID(subject, nid, -1);
    if (index >= 0) return CertRdnValueToStr(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index)));
  }
  auto* names = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(info, ofIssuer ? NID_issuer_alt_name : NID_subject_alt_name, nullptr, nullptr));
  std::string email;
  bool found = false;
  for (int i = 0; names != nullptr && i < sk_GENERAL_NAME_num(names) && !found; ++i) {
    const GENERAL_NAME* name = sk_GENERAL_NAME_value(names, i);
    if (name->type == GEN_EMAIL) {
      email = CertRdnValueToStr(name->d.rfc822Name);
      found = true;
    }
  }
  GENERAL_NAMES_free(names);
  if (found) return email;
  if (X509_NAME_entry_count(subject) > 0) return CertRdnValueToStr(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, 0)));
  return {};
}

}  // namespace capi
