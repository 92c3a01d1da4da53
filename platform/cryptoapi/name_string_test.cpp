#include "platform/cryptoapi/name_string.h"

#include <gtest/gtest.h>

#include <openssl/err.h>

#include <memory>

#include "platform/cryptoapi/oid_info.h"
#include "platform/cryptoapi/test_certificates.h"

namespace capi {
namespace {

constexpr std::uint32_t kReversed = CERT_X500_NAME_STR | CERT_NAME_STR_REVERSE_FLAG;

struct NameFree {
  void operator()(X509_NAME* name) const { X509_NAME_free(name); }
};
using Name = std::unique_ptr<X509_NAME, NameFree>;

Name Decode(const std::vector<std::uint8_t>& der) {
  const unsigned char* cursor = der.data();
  Name name(d2i_X509_NAME(nullptr, &cursor, static_cast<long>(der.size())));
  ERR_clear_error();  // later tests read the queue
  return name;
}

Name Parse(std::string_view text, std::uint32_t flags = kReversed) {
  std::vector<std::uint8_t> der;
  EXPECT_TRUE(CertStrToName(text, flags, der)) << text;
  return Decode(der);
}

TEST(NameString, TextReadBackGivesTheSameText) {
  const char* texts[] = {
      "CN=a, O=b",
      "CN=server.example.com, OU=Wireless, O=Example Corp, L=Springfield, S=Ohio, C=US",
      "E=alice@example.com, CN=Alice",
      "CN=x + OU=y, O=z",
      "CN=\"a, b\", O=\"quote \"\" inside\"",
      "CN=\" leading\", OU=\"trailing \", O=\"\"",
      "CN=\"tab\t\", OU=\"\tlead\", O=\"carriage\rreturn\"",
      "CN=\"semi;colon\", OU=\"hash#\", O=\"less<\"",
      "OID.1.2.3.4=value, DC=example, DC=com",
      "CN=Jörg Ünïcode 漢字, O=Ω",
      "SERIALNUMBER=1234, STREET=Main Street 1, T=Dr, G=Ada, I=AL, SN=Lovelace",
  };
  for (const char* text : texts) {
    Name name = Parse(text);
    ASSERT_TRUE(name) << text;
    EXPECT_EQ(CertNameToStr(name.get(), kReversed), text);
  }
}

TEST(NameString, ReversedTextEncodesTheLastRdnFirst) {
  Name name = Parse("CN=a, O=b");
  ASSERT_EQ(X509_NAME_entry_count(name.get()), 2);
  EXPECT_EQ(OBJ_obj2nid(X509_NAME_ENTRY_get_object(X509_NAME_get_entry(name.get(), 0))), NID_organizationName);
  EXPECT_EQ(CertNameToStr(name.get(), CERT_X500_NAME_STR), "O=b, CN=a");
  Name plain = Parse("CN=a, O=b", CERT_X500_NAME_STR);
  EXPECT_EQ(OBJ_obj2nid(X509_NAME_ENTRY_get_object(X509_NAME_get_entry(plain.get(), 0))), NID_commonName);
}

TEST(NameString, ValuesGetTheNarrowestFittingStringType) {
  Name name = Parse("CN=plain, O=Ünï, E=a@b.c, C=US, DC=Ünï");
  const struct {
    int index;
    int type;
  } expected[] = {{0, V_ASN1_UTF8STRING}, {1, V_ASN1_PRINTABLESTRING}, {2, V_ASN1_IA5STRING},
                  {3, V_ASN1_UTF8STRING}, {4, V_ASN1_PRINTABLESTRING}};
  for (const auto& e : expected) {
    EXPECT_EQ(ASN1_STRING_type(X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name.get(), e.index))), e.type) << e.index;
  }
}

TEST(NameString, SeparatorsAndSpacesAreReadLeniently) {
  Name name = Parse("  cn = a ;o=b+ou = c  ");
  ASSERT_TRUE(name);
  EXPECT_EQ(CertNameToStr(name.get(), kReversed), "CN=a, O=b + OU=c");
  Name empty = Parse("   ");
  ASSERT_TRUE(empty);
  EXPECT_EQ(X509_NAME_entry_count(empty.get()), 0);
  EXPECT_EQ(CertNameToStr(empty.get(), kReversed), "");
}

TEST(NameString, TextThatIsNotANameIsRefused) {
  const char* texts[] = {"CN", "CN=a,", "XX=a", "CN=\"open", "CN=a\"b", "CN=a=b", "=a", "CN=a, , O=b",
                         "OID.=a", "OID.1..2=a", "CN=#0403", "CN=\"a\" b", "CN=a\nb", "1.2.x=a",
                         "CN=\xC3\x28"};
  for (const char* text : texts) {
    std::vector<std::uint8_t> der = {1};
    EXPECT_FALSE(CertStrToName(text, kReversed, der)) << text;
    EXPECT_TRUE(der.empty()) << text;
  }
  std::vector<std::uint8_t> der;
  EXPECT_FALSE(CertStrToName(std::string(kMaxNameTextBytes + 1, 'a'), kReversed, der));
}

TEST(NameString, ValuesThatAreNoStringsPrintAsHexadecimalDer) {
  // SEQUENCE { SET { SEQUENCE { 1.2.3.4, SEQUENCE {} } } }
  Name name = Decode({0x30, 0x0B, 0x31, 0x09, 0x30, 0x07, 0x06, 0x03, 0x2A, 0x03, 0x04, 0x30, 0x00});
  ASSERT_TRUE(name);
  EXPECT_EQ(CertNameToStr(name.get(), kReversed), "OID.1.2.3.4=\"#3000\"");
}

TEST(NameString, SimpleDisplayNameOfTheSubjectOrWithTheIssuerFlagOfTheIssuer) {
  const testing::TestCertificate ca = testing::MakeCertificate("Corp Root CA", {.isCa = true});
  const testing::TestCertificate alice = testing::MakeCertificate("alice", {.issuer = &ca});
  EXPECT_EQ(CertGetSimpleDisplayName(alice.x509.get()), "alice");
  EXPECT_EQ(CertGetSimpleDisplayName(alice.x509.get(), CERT_NAME_ISSUER_FLAG), "Corp Root CA");
  EXPECT_EQ(CertGetSimpleDisplayName(nullptr, CERT_NAME_ISSUER_FLAG), "");
}

TEST(OidInfo, NamesByGroupAndDottedText) {
  EXPECT_EQ(CryptFindOidName("1.2.840.113549.1.1.11", OidGroup::SignatureAlgorithm), "sha256RSA");
  EXPECT_EQ(CryptFindOidName("1.2.840.10045.4.3.2", OidGroup::SignatureAlgorithm), "sha256ECDSA");
  EXPECT_EQ(CryptFindOidName("1.2.840.113549.1.1.1", OidGroup::PublicKeyAlgorithm), "RSA");
  EXPECT_EQ(CryptFindOidName("1.2.840.113549.1.1.1", OidGroup::SignatureAlgorithm), "");
  EXPECT_EQ(CryptFindOidName("1.3.6.1.4.1.311.20.2.3", OidGroup::ExtensionOrAttribute), "Principal Name");
  ASN1_OBJECT* object = OBJ_nid2obj(NID_sha256WithRSAEncryption);
  EXPECT_EQ(DottedOid(object), "1.2.840.113549.1.1.11");
  EXPECT_EQ(DottedOid(nullptr), "");
}

}  // namespace
}  // namespace capi
