#pragma once
// X.500 names as text, the way the certificate-store services print and read them
// (CertNameToStr, CertStrToName, CertRDNValueToStr): keys CN, OU, O, L, S, C, E, STREET, T,
// G, I, SN, DC and SERIALNUMBER, other attributes as "OID.1.2.3"; RDNs joined by ", ",
// the attributes of a multi-valued RDN by " + "; a value in double quotes (quotes inside
// doubled) when it is empty or holds , + = " newline < > # ; or leading or trailing spaces.
// Text is UTF-8, the narrow code page here.
#include <openssl/x509.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace capi {

constexpr std::uint32_t CERT_X500_NAME_STR = 3;
// The RDNs in the reverse of their encoding order (most significant last).
constexpr std::uint32_t CERT_NAME_STR_REVERSE_FLAG = 0x2000000;

// The text of a name; empty for a name without RDNs.
std::string CertNameToStr(const X509_NAME* name, std::uint32_t flags);

// Parses the text into the DER of a name. Printable values are encoded as PrintableString,
// others as UTF8String (C always printable, E and DC as IA5String). False for text that is
// not a name (unknown key, unbalanced quote, stray characters, a value too long to encode).
bool CertStrToName(std::string_view text, std::uint32_t flags, std::vector<std::uint8_t>& der);

// The text of one attribute value: its characters as UTF-8 for the string types, otherwise
// "#" and the hexadecimal of its DER.
std::string CertRdnValueToStr(const ASN1_STRING* value);

// The text of any ASN.1 value in the same way (an other-name's value).
std::string CertAnyValueToStr(const ASN1_TYPE* value);

// The simple display name of a certificate (CertGetNameString, CERT_NAME_SIMPLE_DISPLAY_TYPE):
// the first common name, organisational unit, organisation or e-mail address of the subject,
// in that order of preference; else the first e-mail address of the subject alternative
// name; else the first attribute value of the subject; else empty. With
// CERT_NAME_ISSUER_FLAG the same of the issuer (and the issuer alternative name).
constexpr std::uint32_t CERT_NAME_ISSUER_FLAG = 0x1;
std::string CertGetSimpleDisplayName(const X509* info, std::uint32_t flags = 0);

// Largest text CertStrToName reads; longer text is not a name.
constexpr std::size_t kMaxNameTextBytes = 64 * 1024;

}  // namespace capi
