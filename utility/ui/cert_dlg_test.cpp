// The certificate selection and view dialogs over the current user's personal store, filled
// at test time with made certificates.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/cryptoapi/cert_context.h"
#include "platform/cryptoapi/cert_store.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "platform/cryptoapi/test_certificates.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/list_view.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"
#include "platform/gui/testing/modal_hooks.h"
#include "utility/ui/eap_tls_dlg.h"
#include "utility/ui/select_cert_dlg.h"
#include "utility/ui/view_cert_dlg.h"
#include "zelconStrings.h"

namespace {

using capi::testing::CertificateOptions;
using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;
using zfw::testing::click;
using zfw::testing::clickListRow;
using Hash = std::vector<uint8_t>;

// Sets the certificate's expiry to an exact UTC time and signs it again.
void SetNotAfter(TestCertificate& c, const char* generalizedTime) {
  ASN1_TIME* at = ASN1_TIME_new();
  ASSERT_EQ(ASN1_TIME_set_string(at, generalizedTime), 1);
  X509_set1_notAfter(c.x509.get(), at);
  ASN1_TIME_free(at);
  ASSERT_GT(X509_sign(c.x509.get(), c.key.get(), EVP_sha256()), 0);
  unsigned char* out = nullptr;
  const int length = i2d_X509(c.x509.get(), &out);
  ASSERT_GT(length, 0);
  c.der.assign(out, out + length);
  OPENSSL_free(out);
}

Hash Sha1(const TestCertificate& c) {
  Hash hash(20);
  SHA1(c.der.data(), c.der.size(), hash.data());
  return hash;
}

struct CertDlgTest : ::testing::Test {
  zfw::testing::FakePlatform fake;
  capi::testing::ScopedCertRoot root;

  CertDlgTest() { zfw::StringTable::install(zelconStrings()); }

  void AddToPersonalStore(const TestCertificate& c) {
    capi::HCERTSTORE store = capi::CertOpenSystemStore(capi::StoreLocation::CurrentUser, "MY");
    ASSERT_NE(store, nullptr);
    capi::PCCERT_CONTEXT context =
        capi::CertCreateCertificateContext(capi::X509_ASN_ENCODING, c.der.data(), static_cast<uint32_t>(c.der.size()));
    ASSERT_NE(context, nullptr);
    EXPECT_TRUE(capi::CertAddCertificateContextToStore(store, context, capi::CERT_STORE_ADD_ALWAYS, nullptr));
    capi::CertFreeCertificateContext(context);
    capi::CertCloseStore(store, 0);
  }

  struct TwoCertificates {
    TestCertificate alice, bob;
  };
  // "alice" and "bob", both issued by "Corp Root CA", in the personal store.
  TwoCertificates StoreTwoOfOneIssuer() {
    const TestCertificate ca = MakeCertificate("Corp Root CA", {.isCa = true});
    TwoCertificates made{MakeCertificate("alice", {.issuer = &ca, .serial = 2}),
                         MakeCertificate("bob", {.issuer = &ca, .serial = 3})};
    AddToPersonalStore(made.alice);
    AddToPersonalStore(made.bob);
    return made;
  }

  // Runs the selection dialog with `act`; returns its result.
  int RunSelect(std::string& name, uint8_t (&hash)[20], std::function<void(CSelectCertDlg&)> act,
                zfw::testing::ModalHooks* hooks = nullptr) {
    CSelectCertDlg dlg(name, hash);
    std::optional<zfw::testing::ModalHooks> own;  // only one interceptor may be active
    if (hooks == nullptr) hooks = &own.emplace();
    hooks->expect<CSelectCertDlg>(IDD_SELECT_CERT, std::move(act));
    return dlg.doModal();
  }

  // The value column of the view dialog of this certificate.
  std::vector<std::string> ViewRows(const TestCertificate& c, std::vector<std::string>* labels = nullptr) {
    capi::PCCERT_CONTEXT context =
        capi::CertCreateCertificateContext(capi::X509_ASN_ENCODING, c.der.data(), static_cast<uint32_t>(c.der.size()));
    std::vector<std::string> values;
    CViewCertDlg dlg(context);
    zfw::testing::ModalHooks hooks;
    hooks.expect<CViewCertDlg>(IDD_VIEW_CERT, [&](CViewCertDlg& d) {
      zfw::ListView list = d.listView(IDC_VIEW_CERT_LIST);
      for (int row = 0; row < list.itemCount(); ++row) {
        if (labels) labels->push_back(list.itemText(row, 0));
        values.push_back(list.itemText(row, 1));
      }
      click(d, zfw::IDOK);
    });
    dlg.doModal();
    capi::CertFreeCertificateContext(context);
    return values;
  }
};

std::vector<std::string> Row(zfw::ListView list, int row) {
  return {list.itemText(row, 0), list.itemText(row, 1), list.itemText(row, 2)};
}

TEST_F(CertDlgTest, ListsIssuerSubjectAndExpiryOfEveryPersonalCertificate) {
  TestCertificate ca = MakeCertificate("Corp Root CA", {.isCa = true});
  TestCertificate alice = MakeCertificate("alice", {.issuer = &ca, .serial = 2});
  SetNotAfter(alice, "20070305120000Z");
  TestCertificate bob = MakeCertificate("bob", {.issuer = &ca, .serial = 3});
  SetNotAfter(bob, "20301231235959Z");
  TestCertificate self = MakeCertificate("Self Signed");
  SetNotAfter(self, "20291101000000Z");
  for (const auto* c : {&alice, &bob, &self}) AddToPersonalStore(*c);

  const std::map<std::string, std::vector<std::string>> expected = {
      {"alice", {"Corp Root CA", "alice", "Mar 5, 2007"}},
      {"bob", {"Corp Root CA", "bob", "Dec 31, 2030"}},
      {"Self Signed", {"Self Signed", "Self Signed", "Nov 1, 2029"}},
  };
  std::string name = "old";
  uint8_t hash[20] = {};
  RunSelect(name, hash, [&](CSelectCertDlg& d) {
    EXPECT_EQ(d.caption(), "Select Certificate");
    zfw::ListView list = d.listView(IDC_SELECT_CERT_LIST);
    ASSERT_EQ(list.columnCount(), 3);
    ASSERT_EQ(list.itemCount(), 3);
    for (int row = 0; row < 3; ++row) {
      const std::vector<std::string> texts = Row(list, row);
      ASSERT_TRUE(expected.count(texts[1])) << texts[1];
      EXPECT_EQ(texts, expected.at(texts[1]));
    }
    EXPECT_FALSE(d.isItemEnabled(IDC_SELECT_CERT_VIEW));
    zfw::testing::saveScreenshot(d, "select_certificate_dialog");
    click(d, zfw::IDCANCEL);
  });
}

TEST_F(CertDlgTest, SelectReturnsTheChosenCertificateAndCancelLeavesTheCallersValues) {
  const auto [alice, bob] = StoreTwoOfOneIssuer();

  for (const TestCertificate* wanted : {&alice, &bob}) {
    std::string name = "old";
    uint8_t hash[20] = {};
    const std::string subject = wanted == &alice ? "alice" : "bob";
    const int result = RunSelect(name, hash, [&](CSelectCertDlg& d) {
      zfw::ListView list = d.listView(IDC_SELECT_CERT_LIST);
      const int row = list.itemText(0, 1) == subject ? 0 : 1;
      ASSERT_TRUE(clickListRow(d, IDC_SELECT_CERT_LIST, row));
      EXPECT_TRUE(d.isItemEnabled(IDC_SELECT_CERT_VIEW));
      click(d, zfw::IDOK);
    });
    EXPECT_EQ(result, zfw::IDOK);
    EXPECT_EQ(name, "Corp Root CA");
    EXPECT_EQ(Hash(hash, hash + 20), Sha1(*wanted)) << subject;
  }

  // Cancel, and Select without a chosen row, leave the caller's name and hash alone.
  for (int button : {zfw::IDCANCEL, zfw::IDOK}) {
    std::string name = "old";
    uint8_t hash[20];
    std::memset(hash, 0x5A, sizeof hash);
    const int result = RunSelect(name, hash, [&](CSelectCertDlg& d) {
      if (button == zfw::IDCANCEL) {
        ASSERT_TRUE(clickListRow(d, IDC_SELECT_CERT_LIST, 0));
      }
      click(d, button);
    });
    EXPECT_EQ(result, button);
    EXPECT_EQ(name, "old");
    EXPECT_EQ(Hash(hash, hash + 20), Hash(20, 0x5A));
  }
}

TEST_F(CertDlgTest, EmptyOrMissingStoreListsNothing) {
  std::string name = "old";
  uint8_t hash[20] = {};
  RunSelect(name, hash, [&](CSelectCertDlg& d) {
    EXPECT_EQ(d.listView(IDC_SELECT_CERT_LIST).itemCount(), 0);
    click(d, IDC_SELECT_CERT_VIEW);  // disabled, and no row: nothing opens
    click(d, zfw::IDOK);
  });
  EXPECT_EQ(name, "old");
}

TEST_F(CertDlgTest, ViewShowsTheNineFieldsOfACertificate) {
  TestCertificate ca = MakeCertificate("Corp Root CA", {.isCa = true});
  TestCertificate alice = MakeCertificate("alice", {.issuer = &ca, .serial = 0x1234AB});
  SetNotAfter(alice, "20070305120000Z");
  ASN1_TIME* from = ASN1_TIME_new();
  ASN1_TIME_set_string(from, "20060115000000Z");
  X509_set1_notBefore(alice.x509.get(), from);
  ASN1_TIME_free(from);
  SetNotAfter(alice, "20070305120000Z");  // signs again with the new start

  unsigned char* point = nullptr;
  const size_t pointLength = EVP_PKEY_get1_encoded_public_key(alice.key.get(), &point);
  ASSERT_EQ(pointLength, 65u);
  std::string key;
  for (size_t i = 0; i < pointLength; ++i) {
    char one[4];
    std::snprintf(one, sizeof one, "%02X ", point[i]);
    key += one;
  }
  OPENSSL_free(point);

  std::vector<std::string> labels;
  EXPECT_EQ(ViewRows(alice, &labels),
            (std::vector<std::string>{"V3", "AB 34 12 ", "1.2.840.10045.4.3.2", "Corp Root CA", "Jan 15, 2006",
                                      "Mar 5, 2007", "alice", key, "1.2.840.10045.2.1"}));
  EXPECT_EQ(labels, (std::vector<std::string>{"Version", "Serial Number", "Signature Algorithm", "Issuer", "Not Before",
                                              "Not After", "Subject", "Subject Public Key", "PublicKey Algorithm"}));

  // A serial whose top bit is set carries its sign byte, as the store holds it; RSA keys.
  TestCertificate rsa = MakeCertificate("rsa", {.serial = 0x80, .rsa = true});
  const std::vector<std::string> rsaRows = ViewRows(rsa);
  ASSERT_EQ(rsaRows.size(), 9u);
  EXPECT_EQ(rsaRows[1], "80 00 ");
  EXPECT_EQ(rsaRows[2], "1.2.840.113549.1.1.11");
  EXPECT_EQ(rsaRows[8], "1.2.840.113549.1.1.1");
  EXPECT_EQ(rsaRows[7].substr(0, 6), "30 81 ");  // the DER RSAPublicKey of a 1024-bit key
}

TEST_F(CertDlgTest, ViewFromTheListTellsCertificatesOfOneIssuerApartByHash) {
  const auto [alice, bob] = StoreTwoOfOneIssuer();

  for (const std::string subject : {"alice", "bob"}) {
    std::string name;
    uint8_t hash[20] = {};
    zfw::testing::ModalHooks hooks;
    RunSelect(
        name, hash,
        [&](CSelectCertDlg& d) {
          zfw::ListView list = d.listView(IDC_SELECT_CERT_LIST);
          ASSERT_TRUE(clickListRow(d, IDC_SELECT_CERT_LIST, list.itemText(0, 1) == subject ? 0 : 1));
          hooks.expect<CViewCertDlg>(IDD_VIEW_CERT, [&](CViewCertDlg& v) {
            EXPECT_EQ(v.caption(), "View Certificate");
            EXPECT_EQ(v.listView(IDC_VIEW_CERT_LIST).itemText(6, 1), subject);
            if (subject == "alice") zfw::testing::saveScreenshot(v, "view_certificate_dialog");
            click(v, zfw::IDOK);
          });
          click(d, IDC_SELECT_CERT_VIEW);
          click(d, zfw::IDCANCEL);
        },
        &hooks);
    EXPECT_EQ(hooks.opened(), (std::vector<int>{IDD_SELECT_CERT, IDD_VIEW_CERT}));
  }
}

// Both dialogs open over the middle of the window that opened them, not at a corner of the
// screen where it may be far from where the user looks.
TEST_F(CertDlgTest, TheDialogsOpenCentredOnTheWindowThatOpenedThem) {
  StoreTwoOfOneIssuer();
  InstallCertificateDialogs();
  zfw::Dialog owner(999);
  owner.create();
  owner.moveWindow(zfw::Rect{400, 300, 1000, 800});
  owner.show();
  const auto expectCentredOn = [](zfw::Wnd& dialog, zfw::Wnd& parent) {
    const zfw::Rect d = dialog.windowRect(), p = parent.windowRect();
    EXPECT_NEAR(d.left + d.right, p.left + p.right, 6) << "twice the centre's x";
    EXPECT_NEAR(d.top + d.bottom, p.top + p.bottom, 6) << "twice the centre's y";
  };
  std::string name;
  uint8_t hash[20] = {};
  {
    zfw::testing::ModalHooks hooks;
    hooks.expect<CSelectCertDlg>(IDD_SELECT_CERT, [&](CSelectCertDlg& d) {
      expectCentredOn(d, owner);
      ASSERT_TRUE(clickListRow(d, IDC_SELECT_CERT_LIST, 0));
      hooks.expect<CViewCertDlg>(IDD_VIEW_CERT, [&](CViewCertDlg& v) {
        expectCentredOn(v, d);
        click(v, zfw::IDOK);
      });
      click(d, IDC_SELECT_CERT_VIEW);
      click(d, zfw::IDCANCEL);
    });
    CEapTlsDlg::s_selectCertificate(owner, name, hash);
    EXPECT_EQ(hooks.opened(), (std::vector<int>{IDD_SELECT_CERT, IDD_VIEW_CERT}));
  }
  owner.destroyWindow();
  CEapTlsDlg::s_selectCertificate = nullptr;
  CEapTlsDlg::s_viewCertificate = nullptr;
}

TEST_F(CertDlgTest, InstalledDialogsServeTheCredentialDialogsBrowseAndView) {
  TestCertificate ca = MakeCertificate("Corp Root CA", {.isCa = true});
  TestCertificate alice = MakeCertificate("alice", {.issuer = &ca, .serial = 2});
  AddToPersonalStore(alice);
  InstallCertificateDialogs();
  ASSERT_TRUE(CEapTlsDlg::s_selectCertificate);
  ASSERT_TRUE(CEapTlsDlg::s_viewCertificate);

  zfw::Dialog owner(999);
  owner.create();
  std::string name;
  uint8_t hash[20] = {};
  {
    zfw::testing::ModalHooks hooks;
    hooks.expect<CSelectCertDlg>(IDD_SELECT_CERT, [&](CSelectCertDlg& d) {
      ASSERT_TRUE(clickListRow(d, IDC_SELECT_CERT_LIST, 0));
      click(d, zfw::IDOK);
    });
    EXPECT_TRUE(CEapTlsDlg::s_selectCertificate(owner, name, hash));
  }
  EXPECT_EQ(name, "Corp Root CA");
  EXPECT_EQ(Hash(hash, hash + 20), Sha1(alice));
  {
    zfw::testing::ModalHooks hooks;
    hooks.expect<CViewCertDlg>(IDD_VIEW_CERT, [&](CViewCertDlg& v) {
      EXPECT_EQ(v.listView(IDC_VIEW_CERT_LIST).itemText(6, 1), "alice");
      click(v, zfw::IDOK);
    });
    CEapTlsDlg::s_viewCertificate(owner, name, hash);
    // A hash of no stored certificate (or another issuer name) shows nothing.
    hash[0] ^= 0xFF;
    CEapTlsDlg::s_viewCertificate(owner, name, hash);
    hash[0] ^= 0xFF;
    CEapTlsDlg::s_viewCertificate(owner, "Someone Else", hash);
  }
  owner.destroyWindow();
  CEapTlsDlg::s_selectCertificate = nullptr;
  CEapTlsDlg::s_viewCertificate = nullptr;
}

}  // namespace
