#include "ksCert/KsCertName.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ksCert/KsCertLib.h"
#include "ksCert/test_support.h"

namespace {

using kscert_test::Bstr;
using kscert_test::Ref;
using Bytes = std::vector<std::uint8_t>;

class CertName : public ::testing::Test {
protected:
  void SetUp() override { dcfCreateInstance<KsCertLib>(root_.Out()); }

  Ref<ksCertName> Make(const char16_t* text = nullptr) {
    Ref<ksCertName> name;
    EXPECT_EQ(root_->CreateCertName(name.Out()), S_OK);
    if (text != nullptr) {
      Bstr value(text);
      EXPECT_EQ(name->put_Text(value), S_OK);
    }
    return name;
  }
  static std::u16string Text(ksCertName* name) {
    plat::BSTR text = nullptr;
    EXPECT_EQ(name->get_Text(&text), S_OK);
    std::u16string value = text != nullptr ? std::u16string(text, plat::SysStringLen(text)) : u"<null>";
    plat::SysFreeString(text);
    return value;
  }
  static Bytes Encoded(ksCertName* name) {
    std::uint32_t length = 0;
    EXPECT_EQ(name->get_Encoded(nullptr, 0, &length), S_OK);
    Bytes bytes(length);
    EXPECT_EQ(name->get_Encoded(bytes.data(), length, &length), S_OK);
    return bytes;
  }
  static std::int32_t Compare(ksCertName* a, ksCertName* b) {
    std::int32_t result = -1;
    EXPECT_EQ(a->Compare(b, &result), S_OK);
    return result;
  }

  Ref<ksCertUtility> root_;
};

TEST_F(CertName, TextRoundTripsAndTheEncodingHoldsTheRdnsReversed) {
  Ref<ksCertName> name = Make(u"CN=a, O=b");
  EXPECT_EQ(Text(name.Get()), u"CN=a, O=b");
  const Bytes der = Encoded(name.Get());
  // SEQUENCE { SET { O=b } SET { CN=a } }: the organisation first.
  const Bytes expected = {0x30, 0x18, 0x31, 0x0A, 0x30, 0x08, 0x06, 0x03, 0x55, 0x04, 0x0A, 0x13, 0x01, 'b',
                          0x31, 0x0A, 0x30, 0x08, 0x06, 0x03, 0x55, 0x04, 0x03, 0x13, 0x01, 'a'};
  EXPECT_EQ(der, expected);

  // Any Unicode text survives, the narrow code page being UTF-8 both ways.
  const char16_t* unicode = u"CN=Jürgen Ωmega 漢字 \U0001F600, O=\"Ünï, Ltd\"";
  EXPECT_EQ(Text(Make(unicode).Get()), unicode);
}

TEST_F(CertName, EmptyAndInvalidValues) {
  Ref<ksCertName> name = Make();
  plat::BSTR text = reinterpret_cast<plat::BSTR>(0x1);
  EXPECT_EQ(name->get_Text(&text), S_OK);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(Encoded(name.Get()), Bytes{});

  for (const char16_t* invalid : {u"CN", u"XX=a", u"CN=\"open", u"CN=a,"}) {
    Ref<ksCertName> bad = Make(u"CN=before");
    Bstr value(invalid);
    EXPECT_EQ(bad->put_Text(value), S_OK);
    std::uint32_t length = 99;
    EXPECT_EQ(bad->get_Encoded(nullptr, 0, &length), S_OK);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(Text(bad.Get()), u"<null>");
  }

  // Bytes that are no name, or a name with bytes after it, leave the name empty.
  const Bytes good = Encoded(Make(u"CN=a").Get());
  Bytes trailing = good;
  trailing.push_back(0);
  for (const Bytes& bytes : {Bytes{0x30, 0x05, 0x31}, Bytes{0x04, 0x00}, trailing}) {
    EXPECT_EQ(name->put_Encoded(bytes.data(), static_cast<std::uint32_t>(bytes.size())), S_OK);
    EXPECT_EQ(Encoded(name.Get()), Bytes{});
  }
  EXPECT_EQ(name->put_Encoded(good.data(), static_cast<std::uint32_t>(good.size())), S_OK);
  EXPECT_EQ(Text(name.Get()), u"CN=a");
  EXPECT_EQ(name->put_Encoded(nullptr, 0), S_OK);
  EXPECT_EQ(Text(name.Get()), u"<null>");
}

TEST_F(CertName, EncodedCopiesOnlyWhenItFits) {
  Ref<ksCertName> name = Make(u"CN=abc");
  const Bytes der = Encoded(name.Get());
  Bytes buffer(der.size() - 1, 0xEE);
  std::uint32_t length = 0;
  EXPECT_EQ(name->get_Encoded(buffer.data(), static_cast<std::uint32_t>(buffer.size()), &length), S_OK);
  EXPECT_EQ(length, der.size());
  EXPECT_EQ(buffer, Bytes(der.size() - 1, 0xEE));
  EXPECT_EQ(name->get_Encoded(buffer.data(), 0, nullptr), E_POINTER);
}

TEST_F(CertName, CompareReportsLeadingParts) {
  Ref<ksCertName> shorter = Make(u"O=org, C=US");
  Ref<ksCertName> longer = Make(u"CN=host, O=org, C=US");  // encoding order: C, O, CN
  Ref<ksCertName> other = Make(u"CN=host, O=ORG, C=US");
  Ref<ksCertName> multi = Make(u"CN=host + OU=unit, O=org, C=US");
  Ref<ksCertName> empty = Make();
  Ref<ksCertName> german = Make(u"O=org, C=DE");
  const struct {
    const char* what;
    ksCertName* a;
    ksCertName* b;
    std::int32_t result;
  } cases[] = {
      {"itself", longer.Get(), longer.Get(), 3},
      {"leading part", shorter.Get(), longer.Get(), 1},
      {"longer one", longer.Get(), shorter.Get(), 2},
      {"value differs in case only", longer.Get(), other.Get(), 0},
      {"first RDN differs", german.Get(), shorter.Get(), 0},
      {"multi-valued against single", multi.Get(), longer.Get(), 0},
      {"multi-valued against itself", multi.Get(), multi.Get(), 3},
      {"no value", empty.Get(), longer.Get(), 0},
      {"against no value", longer.Get(), empty.Get(), 0},
  };
  for (const auto& c : cases) EXPECT_EQ(Compare(c.a, c.b), c.result) << c.what;

  std::int32_t result = -1;
  EXPECT_EQ(longer->Compare(nullptr, &result), S_FALSE);
  EXPECT_EQ(result, 0);

  // Through the second interface the same.
  Ref<ksCertName2> a;
  Ref<ksCertName2> b;
  ASSERT_EQ(shorter->QueryInterface(IID_ksCertName2, reinterpret_cast<void**>(a.Out())), S_OK);
  ASSERT_EQ(longer->QueryInterface(IID_ksCertName2, reinterpret_cast<void**>(b.Out())), S_OK);
  EXPECT_EQ(a->Compare(b.Get(), &result), S_OK);
  EXPECT_EQ(result, 1);
}

TEST_F(CertName, Utf8StringNamesCompareAndReadAsUnicode) {
  // SEQUENCE { SET { SEQUENCE { CN, UTF8String "Zoë" } } }
  const Bytes exact = {0x30, 0x0F, 0x31, 0x0D, 0x30, 0x0B, 0x06, 0x03, 0x55,
                       0x04, 0x03, 0x0C, 0x04, 'Z',  'o',  0xC3, 0xAB};
  Ref<ksCertName> first = Make();
  Ref<ksCertName> second = Make();
  ASSERT_EQ(first->put_Encoded(exact.data(), static_cast<std::uint32_t>(exact.size())), S_OK);
  ASSERT_EQ(second->put_Encoded(exact.data(), static_cast<std::uint32_t>(exact.size())), S_OK);
  EXPECT_EQ(Text(first.Get()), u"CN=Zoë");
  EXPECT_EQ(Compare(first.Get(), second.Get()), 3);
  Ref<ksCertName> fromText = Make(u"CN=Zoë");
  EXPECT_EQ(Compare(first.Get(), fromText.Get()), 3);
}

TEST_F(CertName, InterfacesAndStub) {
  Ref<ksCertName> name = Make(u"CN=a");
  Ref<IUnknown> identity;
  ASSERT_EQ(name->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.Out())), S_OK);
  Ref<IUnknown> first;
  ASSERT_EQ(name->QueryInterface(IID_ksCertNameUnknown, reinterpret_cast<void**>(first.Out())), S_OK);
  EXPECT_EQ(identity.Get(), first.Get());
  std::int32_t value = 5;
  EXPECT_EQ(name->Reserved8(&value), S_FALSE);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(name->get_Text(nullptr), E_POINTER);
}

}  // namespace
