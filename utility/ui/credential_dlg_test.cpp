// The 802.1X credential dialogs, opened from the security page's credential button.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/base/string_table.h"
#include "platform/gui/property_sheet.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"
#include "platform/gui/testing/modal_hooks.h"
#include "utility/ui/eap_tls_dlg.h"
#include "utility/ui/password_credential_dlg.h"
#include "utility/ui/security_settg_page.h"
#include "zelconStrings.h"

namespace {

using zfw::testing::click;
using zfw::testing::typeText;
using Texts = std::vector<std::string>;

struct CredentialDlgTest : ::testing::Test {
  zfw::testing::FakePlatform fake;
  ProfileWizardContext wizard;
  CSecuritySettgPage page{111, wizard};
  zfw::PropertySheet sheet{"Profile"};

  CredentialDlgTest() {
    zfw::StringTable::install(zelconStrings());
    wizard.credentialDialog = RunCredentialDialog;
    sheet.addPage(&page);
    sheet.create();
    zfw::testing::processEvents();
  }
  ~CredentialDlgTest() override {
    sheet.destroyWindow();
    zfw::testing::processEvents();
  }
  void Family(int authIndex, int methodIndex) {
    ASSERT_TRUE(zfw::testing::chooseComboItem(page, IDC_SEC_AUTH, authIndex));
    ASSERT_TRUE(zfw::testing::chooseComboItem(page, IDC_SEC_EAP_METHOD, methodIndex));
  }
};

TEST_F(CredentialDlgTest, PasswordDialogsNeedALoginAndAPassword) {
  const struct {
    int auth, method, dialog;
    const char* caption;
    const char* login;
    const char* password;
    const char* message;
  } cases[] = {
      {6, 2, IDD_LEAP, "WPA LEAP Radius Configuration", "bob", "", "Illegal login name or password for WPA authentication!"},
      {7, 2, IDD_LEAP, "WPA LEAP Radius Configuration", "", "pw", "Illegal login name or password for WPA authentication!"},
      {8, 0, IDD_LEAP, "CCX LEAP Radius Configuration", "bob", "", "Illegal login name or password for CCX authentication!"},
      {6, 1, IDD_PEAP, "WPA PEAP Radius Configuration", "", "", "Illegal login name or password for WPA authentication!"},
      {7, 1, IDD_PEAP, "WPA2 PEAP Radius Configuration", "bob", "", "Illegal login name or password for WPA authentication!"},
      {3, 1, IDD_PEAP, "WPA PEAP Radius Configuration", "bob", "pw", nullptr},
      {8, 0, IDD_LEAP, "CCX LEAP Radius Configuration", "carol", "pw2", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caption);
    Family(c.auth, c.method);  // a new family empties the credentials
    fake.boxes.clear();
    zfw::testing::ModalHooks hooks;
    hooks.expect<zfw::Dialog>(c.dialog, [&](zfw::Dialog& d) {
      EXPECT_EQ(d.caption(), c.caption);
      typeText(d, IDC_CRED_LOGIN, c.login);
      typeText(d, IDC_CRED_PASSWORD, c.password);
      typeText(d, IDC_CRED_DOMAIN, "CORP");
      if (c.dialog == IDD_PEAP) {
        EXPECT_EQ(d.comboBox(IDC_CRED_INNER).lbText(0), "EAP/MS-CHAP V2");
      }
      click(d, zfw::IDOK);
      EXPECT_EQ(d.isEnded(), c.message == nullptr);
      if (!d.isEnded()) click(d, zfw::IDCANCEL);
    });
    ASSERT_TRUE(click(page, IDC_SEC_CREDENTIALS));
    EXPECT_EQ(fake.boxes.texts(), c.message ? Texts{c.message} : Texts{});
    EXPECT_EQ(page.LoginName(), c.message ? "" : c.login);
    EXPECT_EQ(page.Password(), c.message ? "" : c.password);
    EXPECT_EQ(page.Domain(), c.message ? "" : "CORP");
  }
}

TEST_F(CredentialDlgTest, EapTlsNeedsACertificateAndTakesTheChosenOne) {
  Family(7, 0);  // WPA2, EAP/TLS
  {
    zfw::testing::ModalHooks hooks;
    hooks.expect<CEapTlsDlg>(IDD_EAP_TLS, [&](CEapTlsDlg& d) {
      EXPECT_EQ(d.caption(), "WPA2 EAP/TLS Radius Configuration");
      typeText(d, IDC_CRED_LOGIN, "bob");
      click(d, IDC_TLS_VIEW);  // no certificate: nothing
      click(d, zfw::IDOK);
      EXPECT_FALSE(d.isEnded());
      click(d, zfw::IDCANCEL);
    });
    ASSERT_TRUE(click(page, IDC_SEC_CREDENTIALS));
  }
  EXPECT_EQ(fake.boxes.texts(), Texts{"Illegal login name or certificate for WPA authentication!"});
  EXPECT_EQ(page.LoginName(), "");

  CEapTlsDlg::s_selectCertificate = [](zfw::Wnd&, std::string& name, uint8_t (&hash)[20]) {
    name = "Corp Root CA";
    std::memset(hash, 0xAB, sizeof hash);
    return true;
  };
  {
    zfw::testing::ModalHooks hooks;
    hooks.expect<CEapTlsDlg>(IDD_EAP_TLS, [&](CEapTlsDlg& d) {
      typeText(d, IDC_CRED_LOGIN, "bob");
      click(d, IDC_TLS_BROWSE);
      EXPECT_EQ(d.itemText(IDC_TLS_CERT_NAME), "Corp Root CA");
      EXPECT_TRUE(d.isItemEnabled(IDC_TLS_VIEW));
      zfw::testing::saveScreenshot(d, "eap_tls_dialog");
      click(d, zfw::IDOK);
    });
    ASSERT_TRUE(click(page, IDC_SEC_CREDENTIALS));
  }
  CEapTlsDlg::s_selectCertificate = nullptr;
  EXPECT_EQ(page.LoginName(), "bob");
  EXPECT_EQ(page.CertName(), "Corp Root CA");
  EXPECT_EQ(page.m_certHash[19], 0xAB);
  EXPECT_EQ(page.ValidateSecurity(), 1);
}

}  // namespace
