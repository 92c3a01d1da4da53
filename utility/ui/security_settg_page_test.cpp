#include "utility/ui/security_settg_page.h"

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
#include "platform/win32/test_temp_dir.h"
#include "zelconStrings.h"

namespace {

using zfw::testing::chooseComboItem;
using zfw::testing::click;
using zfw::testing::typeText;
using Texts = std::vector<std::string>;

struct SecurityPageTest : ::testing::Test {
  zfw::testing::FakePlatform fake;
  plat::TestTempDir home;
  ProfileWizardContext wizard;
  bool& adHoc = wizard.adHocFlag;
  int changes = 0;
  std::unique_ptr<CSecuritySettgPage> page;
  std::unique_ptr<zfw::PropertySheet> sheet;

  SecurityPageTest() { zfw::StringTable::install(zelconStrings()); }
  ~SecurityPageTest() override {
    sheet.reset();
    zfw::testing::processEvents();
  }
  CSecuritySettgPage& Make(bool configureNetwork = false) {
    wizard.configureNetwork = configureNetwork;
    wizard.changed = [this] { ++changes; };
    wizard.settingsPath = home.File("Zelcon.ini");
    page = std::make_unique<CSecuritySettgPage>(111, wizard);
    sheet = std::make_unique<zfw::PropertySheet>("Profile");
    sheet->addPage(page.get());
    return *page;
  }
  CSecuritySettgPage& Show() {
    if (!page) Make();
    sheet->create();
    zfw::testing::processEvents();
    return *page;
  }
  Texts Items(int id) {
    Texts t;
    zfw::ComboBox box = page->comboBox(id);
    for (int i = 0; i < box.count(); ++i) t.push_back(box.lbText(i));
    return t;
  }
  std::string Selected(int id) {
    zfw::ComboBox box = page->comboBox(id);
    return box.lbText(box.curSel());
  }
  PROFILE_ENTRY Saved() {
    PROFILE_ENTRY p{};
    page->SaveSecurityToProfile(p);
    return p;
  }
};

PROFILE_ENTRY Record(uint32_t authMode, uint32_t encryption) {
  PROFILE_ENTRY p{};
  p.authMode = authMode;
  p.encryption = encryption;
  return p;
}

TEST_F(SecurityPageTest, AuthenticationListFollowsTheNetworkType) {
  Show();
  EXPECT_EQ(Items(IDC_SEC_AUTH), (Texts{"Open System", "Shared Key", "Auto Switch", "802.1x", "WPA-PSK", "WPA2-PSK",
                                        "WPA", "WPA2", "CCX"}));
  EXPECT_EQ(Selected(IDC_SEC_ENCRYPTION), "Security Off");
  EXPECT_EQ(page->itemText(IDC_SEC_TX_KEY1 + 2), "Key 3 is not set");
  zfw::testing::saveScreenshot(*sheet, "security_page");
  adHoc = true;
  ASSERT_TRUE(sheet->setActivePage(0));
  EXPECT_EQ(Items(IDC_SEC_AUTH), (Texts{"Open System", "Shared Key", "Auto Switch"}));
}

TEST_F(SecurityPageTest, ConfigureNetworkFormStartsWithWep) {
  Make(true);
  Show();
  EXPECT_EQ(Selected(IDC_SEC_ENCRYPTION), "WEP");
  EXPECT_TRUE(page->isItemEnabled(IDC_SEC_CONFIGURE_WEP));
}

TEST_F(SecurityPageTest, EncryptionAndMethodListsFollowTheChoices) {
  const struct {
    int auth, method;
    Texts encryption, methods;
    bool passphrase;
    const char* button;
  } cases[] = {
      {0, -1, {"Security Off", "WEP"}, {}, false, nullptr},
      {1, -1, {"WEP"}, {}, false, nullptr},
      {3, 1, {"WEP"}, {"EAP/TLS (Use Certificate)", "Protected EAP (PEAP) "}, false, "Configure WPA Radius"},
      {4, -1, {"TKIP", "AES"}, {}, true, nullptr},
      {5, -1, {"TKIP", "AES"}, {}, true, nullptr},
      {6, 0, {"TKIP", "AES"}, {"EAP/TLS (Use Certificate)", "Protected EAP (PEAP) ", "Light EAP (LEAP)"}, false,
       "Configure WPA Radius"},
      {6, 2, {"TKIP"}, {"EAP/TLS (Use Certificate)", "Protected EAP (PEAP) ", "Light EAP (LEAP)"}, false,
       "Configure WPA Radius"},
      {7, 2, {"AES"}, {"EAP/TLS (Use Certificate)", "Protected EAP (PEAP) ", "Light EAP (LEAP)"}, false,
       "Configure WPA Radius"},
      {8, 0, {"Security Off", "WEP"}, {"Light EAP (LEAP)"}, false, "CCX Configuration"},
  };
  Show();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.auth);
    chooseComboItem(*page, IDC_SEC_AUTH, c.auth);
    if (c.method >= 0) chooseComboItem(*page, IDC_SEC_EAP_METHOD, c.method);
    EXPECT_EQ(Items(IDC_SEC_ENCRYPTION), c.encryption);
    EXPECT_EQ(page->isItemVisible(IDC_SEC_PASSPHRASE), c.passphrase);
    EXPECT_EQ(page->isItemVisible(IDC_SEC_CONFIGURE_WEP), c.auth < 3);
    EXPECT_EQ(page->itemText(IDC_SEC_WEP_GROUP), c.auth < 3 ? "WEP Key Setting" : "");
    EXPECT_EQ(page->isItemVisible(IDC_SEC_EAP_METHOD), c.button != nullptr);
    if (c.button) {
      EXPECT_EQ(Items(IDC_SEC_EAP_METHOD), c.methods);
      EXPECT_EQ(page->itemText(IDC_SEC_CREDENTIALS), c.button);
    }
  }
  EXPECT_GT(changes, 0);
}

TEST_F(SecurityPageTest, SwitchingToCcxKeepsOrChoosesTheCipher) {
  Show();
  chooseComboItem(*page, IDC_SEC_AUTH, 8);  // Open System, Security Off -> CCX
  EXPECT_EQ(Selected(IDC_SEC_ENCRYPTION), "Security Off");
  chooseComboItem(*page, IDC_SEC_AUTH, 4);  // WPA-PSK, TKIP -> CCX
  EXPECT_EQ(Selected(IDC_SEC_ENCRYPTION), "TKIP");
  chooseComboItem(*page, IDC_SEC_AUTH, 8);
  EXPECT_EQ(Selected(IDC_SEC_ENCRYPTION), "WEP");
}

TEST_F(SecurityPageTest, StoredMethodShowsItsFamilyAndSavesTheSelectedMethod) {
  const struct {
    uint32_t stored;
    const char* family;
    uint32_t saved;
  } cases[] = {{17, "802.1x", 15}, {16, "802.1x", 16}, {14, "WPA2", 14}, {6, "WPA", 6}, {8, "CCX", 8}, {13, "CCX", 8}};
  Show();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    page->LoadSecurityFromProfile(Record(c.stored, c.stored == 14 ? 3 : 2));
    EXPECT_EQ(Selected(IDC_SEC_AUTH), c.family);
    EXPECT_EQ(Saved().authMode, c.saved);
  }
}

TEST_F(SecurityPageTest, ChangingTheFamilyEmptiesTheCredentials) {
  Show();
  PROFILE_ENTRY p = Record(6, 2);
  std::strcpy(p.wpa.loginName, "alice");
  std::strcpy(p.wpa.password, "secret");
  std::strcpy(p.wpa.domain, "corp");
  std::strcpy(p.wpa.certName, "CA");
  p.wpa.certHash[0] = 0xAB;
  page->LoadSecurityFromProfile(p);
  EXPECT_EQ(page->LoginName(), "alice");
  chooseComboItem(*page, IDC_SEC_AUTH, 7);  // WPA -> WPA2
  EXPECT_EQ(page->LoginName(), "");
  EXPECT_EQ(page->Password(), "");
  EXPECT_EQ(page->Domain(), "");
  EXPECT_EQ(page->CertName(), "");
  EXPECT_EQ(page->m_certHash[0], 0);
  EXPECT_EQ(page->m_eapMethod, 10u);
  const PROFILE_ENTRY saved = Saved();
  EXPECT_EQ(saved.authMode, 10u);
  EXPECT_EQ(saved.wpa.loginName[0], 0);
}

TEST_F(SecurityPageTest, PassphraseRules) {
  const struct {
    std::string phrase, confirm;
    const char* message;  // nullptr: accepted
  } cases[] = {
      {std::string(7, 'p'), std::string(7, 'p'), "The passphrase needs to be 8 to 63 ascii characters. "},
      {std::string(64, 'p'), std::string(64, 'p'), "The passphrase needs to be 8 to 63 ascii characters. "},
      {std::string(8, 'p'), std::string(8, 'p'), nullptr},
      {std::string(63, 'p'), std::string(63, 'p'), nullptr},
      {"password1", "password2", "The passphrases you enter do not match!"},
  };
  Show();
  chooseComboItem(*page, IDC_SEC_AUTH, 5);  // WPA2-PSK
  EXPECT_FALSE(page->isItemEnabled(IDC_SEC_CONFIRM));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.phrase.size());
    fake.boxes.clear();
    page->setItemText(IDC_SEC_PASSPHRASE, c.phrase);
    EXPECT_TRUE(page->isItemEnabled(IDC_SEC_CONFIRM));
    page->setItemText(IDC_SEC_CONFIRM, c.confirm);
    EXPECT_EQ(page->ValidateSecurity(), c.message ? 0 : 1);
    if (c.message) {
      EXPECT_EQ(fake.boxes.texts(), Texts{c.message});
      EXPECT_EQ(page->itemText(IDC_SEC_PASSPHRASE), "");
      EXPECT_EQ(page->itemText(IDC_SEC_CONFIRM), "");
    } else {
      EXPECT_TRUE(fake.boxes.boxes().empty());
      const PROFILE_ENTRY saved = Saved();
      EXPECT_EQ(saved.authMode, 9u);
      EXPECT_EQ(saved.wpa.passphraseLength, c.phrase.size());
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(saved.wpa.passphrase)), c.phrase);
    }
  }
  page->setItemText(IDC_SEC_PASSPHRASE, "");
  EXPECT_FALSE(page->isItemEnabled(IDC_SEC_CONFIRM));
}

TEST_F(SecurityPageTest, MissingTransmitKeyAndCredentialsAreRefused) {
  const struct {
    int auth, method;
    const char* login;
    const char* password;
    const char* cert;
    const char* message;
  } cases[] = {
      {1, -1, "", "", "", "Please select a Tx WEP Key!"},
      {6, 2, "bob", "", "", "Illegal login name or password for WPA authentication!"},
      {7, 0, "bob", "pw", "", "Illegal login name or certificate for WPA authentication!"},
      {3, 1, "", "pw", "", "Illegal login name or password for WPA authentication!"},
      {8, 0, "bob", "", "", "Illegal login name or password for CCX authentication!"},
      {7, 0, "bob", "", "CA", nullptr},
      {6, 1, "bob", "pw", "", nullptr},
      {0, -1, "", "", "", nullptr},
  };
  Show();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message ? c.message : "accepted");
    fake.boxes.clear();
    chooseComboItem(*page, IDC_SEC_AUTH, c.auth);
    if (c.method >= 0) chooseComboItem(*page, IDC_SEC_EAP_METHOD, c.method);
    page->SetLoginName(c.login);
    page->SetPassword(c.password);
    page->SetCertName(c.cert);
    EXPECT_EQ(page->ValidateSecurity(), c.message ? 0 : 1);
    EXPECT_EQ(fake.boxes.texts(), c.message ? Texts{c.message} : Texts{});
  }
  const std::string long40(45, 'x');
  page->SetLoginName(long40);
  EXPECT_EQ(std::string(Saved().wpa.loginName), std::string(39, 'x'));
}

TEST_F(SecurityPageTest, WepKeysFromTheDialogRelabelTheRadiosAndAreSaved) {
  Show();
  chooseComboItem(*page, IDC_SEC_ENCRYPTION, 1);
  EXPECT_FALSE(page->isItemEnabled(IDC_SEC_TX_KEY1));
  zfw::testing::ModalHooks hooks;
  hooks.expect<CWepKeyDlg>(IDD_WEP_KEY, [](CWepKeyDlg& d) {
    typeText(d, IDC_WEP_KEY1 + 2, "abcde");
    click(d, zfw::IDOK);
  });
  changes = 0;
  EXPECT_TRUE(click(*page, IDC_SEC_CONFIGURE_WEP));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(page->itemText(IDC_SEC_TX_KEY1 + 2), "Select Key 3 as Transmit key");
  EXPECT_TRUE(page->isItemEnabled(IDC_SEC_TX_KEY1 + 2));
  EXPECT_EQ(page->checkedRadioButton(IDC_SEC_TX_KEY1, IDC_SEC_TX_KEY1 + 3), IDC_SEC_TX_KEY1 + 2);
  EXPECT_EQ(page->ValidateSecurity(), 1);
  const PROFILE_ENTRY saved = Saved();
  EXPECT_EQ(saved.encryption, 1u);
  EXPECT_EQ(saved.txKeyIndex, 3u);
  EXPECT_EQ(saved.wepKeys[2].length, 5u);
  EXPECT_EQ(std::memcmp(saved.wepKeys[2].key, "abcde", 5), 0);
}

TEST_F(SecurityPageTest, LoadBeforeTheWindowAndARememberedDisable) {
  Make();
  PROFILE_ENTRY p = Record(9, 3);
  std::memcpy(p.wpa.passphrase, "correct horse", 13);
  page->LoadSecurityFromProfile(p);
  page->EnableSecurityPage(false);
  PROFILE_ENTRY untouched{};
  EXPECT_EQ(page->SaveSecurityToProfile(untouched), 1);
  EXPECT_EQ(untouched.authMode, 0u);
  EXPECT_EQ(page->ValidateSecurity(), 1);
  Show();
  EXPECT_EQ(Selected(IDC_SEC_AUTH), "WPA2-PSK");
  EXPECT_EQ(Selected(IDC_SEC_ENCRYPTION), "AES");
  EXPECT_EQ(page->itemText(IDC_SEC_CONFIRM), "correct horse");
  EXPECT_FALSE(page->isItemEnabled(IDC_SEC_AUTH));
  EXPECT_FALSE(page->isItemEnabled(IDC_SEC_PASSPHRASE));
  EXPECT_EQ(changes, 0);  // showing a profile is no change
  page->EnableSecurityPage(true);
  EXPECT_TRUE(page->isItemEnabled(IDC_SEC_AUTH));
  const PROFILE_ENTRY saved = Saved();
  EXPECT_EQ(saved.authMode, 9u);
  EXPECT_EQ(saved.encryption, 3u);
  EXPECT_EQ(saved.wpa.passphraseLength, 13u);
}

}  // namespace
