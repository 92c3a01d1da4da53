// The profile wizard in its three forms, driven as a user would through the pages.
#include "utility/ui/profile_wizard.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include <QPixmap>
#include <QSize>

#include "platform/gui/icons.h"
#include "platform/gui/testing/modal_hooks.h"
#include "utility/core/profile_file.h"
#include "utility/core/profile_store.h"
#include "utility/ui/adv_settg_page.h"
#include "utility/ui/basic_settg_page.h"
#include "utility/ui/complete_wiz.h"
#include "utility/ui/password_credential_dlg.h"
#include "utility/ui/security_settg_page.h"
#include "utility/ui/testing/zelcon_fixture.h"
#include "utility/ui/zelcon_images.h"

namespace zelcon_test {
namespace {

using zfw::testing::chooseComboItem;
using zfw::testing::click;
using zfw::testing::typeText;

struct ProfileWizardTest : ZelconFixture {
  // Runs "Create New Profile": `security` fills the security page; returns the new record.
  std::optional<PROFILE_ENTRY> Create(const std::string& name, const std::string& ssid,
                                      std::function<void(CSecuritySettgPage&)> security) {
    CProfileWizard wizard(IDS_CREATE_NEW_PROFILE, &Sheet(), home.File("Zelcon.ini"));
    zfw::testing::ModalHooks hooks;
    hooks.expect<CProfileWizard>(IDS_CREATE_NEW_PROFILE, [&](CProfileWizard& w) {
      CBasicSettgPage& net = *w.NetworkPage();
      EXPECT_EQ(w.wizardButtons(), 0u);  // no name yet: no Next
      typeText(net, IDC_NET_NAME, name);
      typeText(net, IDC_NET_SSID, ssid);
      EXPECT_EQ(w.wizardButtons(), unsigned(zfw::PSWIZB_NEXT));
      ASSERT_TRUE(w.pressButton(zfw::PSBTN_NEXT));
      security(*w.SecurityPage());
      ASSERT_TRUE(w.pressButton(zfw::PSBTN_NEXT));
      ASSERT_TRUE(w.pressButton(zfw::PSBTN_NEXT));
      zfw::testing::saveScreenshot(w, "create_new_profile_" + name);
      ASSERT_TRUE(w.pressButton(zfw::PSBTN_FINISH));
    });
    if (wizard.doModal() != zfw::ID_WIZFINISH) return std::nullopt;
    return wizard.NewProfile();
  }
  // What the Profile Manager does with a new record: add it, save, apply.
  zelcon::ProfileId AddSaveApply(const PROFILE_ENTRY& p) {
    zelcon::ProfileId id;
    {
      auto lock = Sheet().LockState();
      id = Sheet().Profiles().Append(p);
    }
    EXPECT_TRUE(Sheet().SaveProfiles());
    lib.ClearCalls();
    Sheet().ApplyProfile(id);
    return id;
  }
  PROFILE_ENTRY OnDisk(const std::string& name) {
    zelcon::ProfileList list;
    zelcon::LoadProfiles(list, DataCfg());
    const PROFILE_ENTRY* p = list.Find(list.FindByName(name));
    return p ? *p : PROFILE_ENTRY{};
  }
  // The record a user would expect from the pages' defaults.
  static PROFILE_ENTRY Expected(const char* name, const char* ssid) {
    PROFILE_ENTRY p{};
    zelcon::SetFieldText(p.name, name);
    zelcon::SetFieldText(p.ssid, ssid);
    p.networkType = 1;
    p.wlanMode = 255;
    p.keepAdapterDefaults = 1;
    p.fragThreshold = 2346;
    p.rtsThreshold = 2347;
    p.prefer = 1;
    return p;
  }
  // Byte for byte, reserved parts included.
  static void ExpectSame(const PROFILE_ENTRY& a, const PROFILE_ENTRY& b) {
    for (size_t i = 0; i < sizeof a; ++i) {
      if (reinterpret_cast<const uint8_t*>(&a)[i] != reinterpret_cast<const uint8_t*>(&b)[i]) {
        ADD_FAILURE() << "first difference at byte " << i;
        break;
      }
    }
  }
};

TEST_F(ProfileWizardTest, CreatesAWpa2PskProfile) {
  ASSERT_TRUE(Start());
  auto p = Create("Home", "home-ap", [](CSecuritySettgPage& s) {
    ASSERT_TRUE(chooseComboItem(s, IDC_SEC_AUTH, 5));
    ASSERT_TRUE(chooseComboItem(s, IDC_SEC_ENCRYPTION, 1));  // AES
    s.setItemText(IDC_SEC_PASSPHRASE, "correct horse");
    s.setItemText(IDC_SEC_CONFIRM, "correct horse");
  });
  ASSERT_TRUE(p);
  PROFILE_ENTRY expected = Expected("Home", "home-ap");
  expected.authMode = zelcon::kAuthWpa2Psk;
  expected.encryption = 3;
  std::memcpy(expected.wpa.passphrase, "correct horse", 13);
  expected.wpa.passphraseLength = 13;
  ExpectSame(*p, expected);
  AddSaveApply(*p);
  ExpectSame(OnDisk("Home"), expected);
  EXPECT_EQ(lib.CallTexts(), (std::vector<std::string>{
      "QueryNetworkMode()",
      "SetNetworkMode(0)",
      "SsidScan(52 bytes)",
      "SetProfileInUse(\"Home\", 4)",
      "SetAuthMode(7)",
      "SetTpxCCXNetworkEap(0)",
      "SetWPAInformation(1, 9, 3, \"home-ap\")",
      "SetWepStatus(6)",
      "SetNetworkMode(1)",
      "SetWlanMode(255)",
      "SetSsid(\"home-ap\", 7, 0)"}));
}

TEST_F(ProfileWizardTest, CreatesAPeapProfile) {
  ASSERT_TRUE(Start());
  auto p = Create("Corp", "corp-net", [](CSecuritySettgPage& s) {
    ASSERT_TRUE(chooseComboItem(s, IDC_SEC_AUTH, 7));  // WPA2
    ASSERT_TRUE(chooseComboItem(s, IDC_SEC_EAP_METHOD, 1));  // PEAP
    zfw::testing::ModalHooks hooks;
    hooks.expect<zfw::Dialog>(IDD_PEAP, [](zfw::Dialog& d) {
      EXPECT_EQ(d.caption(), "WPA2 PEAP Radius Configuration");
      typeText(d, IDC_CRED_LOGIN, "alice");
      typeText(d, IDC_CRED_PASSWORD, "s3cret");
      typeText(d, IDC_CRED_DOMAIN, "CORP");
      click(d, zfw::IDOK);
    });
    ASSERT_TRUE(click(s, IDC_SEC_CREDENTIALS));
  });
  ASSERT_TRUE(p);
  PROFILE_ENTRY expected = Expected("Corp", "corp-net");
  expected.authMode = zelcon::kAuthWpa2Peap;
  expected.encryption = 2;
  zelcon::SetFieldText(expected.wpa.loginName, "alice");
  zelcon::SetFieldText(expected.wpa.password, "s3cret");
  zelcon::SetFieldText(expected.wpa.domain, "CORP");
  ExpectSame(*p, expected);
  AddSaveApply(*p);
  ExpectSame(OnDisk("Corp"), expected);
  EXPECT_EQ(lib.CallTexts(), (std::vector<std::string>{
      "QueryNetworkMode()",
      "SetNetworkMode(0)",
      "SsidScan(52 bytes)",
      "SetProfileInUse(\"Corp\", 4)",
      "SetAuthMode(6)",
      "SetTpxCCXNetworkEap(0)",
      "WPACreateIdentityPEAP(\"alice\", \"CORP\", \"s3cret\")",
      "SetWPAInformation(1, 11, 2, \"corp-net\")",
      "SetWepStatus(4)",
      "SetNetworkMode(1)",
      "SetWlanMode(255)",
      "SetSsid(\"corp-net\", 8, 0)"}));
}

TEST_F(ProfileWizardTest, CreatesAWepProfile) {
  ASSERT_TRUE(Start());
  auto p = Create("Lab", "lab-ap", [](CSecuritySettgPage& s) {
    ASSERT_TRUE(chooseComboItem(s, IDC_SEC_AUTH, 1));  // Shared Key
    zfw::testing::ModalHooks hooks;
    hooks.expect<CWepKeyDlg>(IDD_WEP_KEY, [](CWepKeyDlg& d) {
      chooseComboItem(d, IDC_WEP_KEY_FORMAT, kWepHex);
      typeText(d, IDC_WEP_KEY1 + 1, "0123456789");
      click(d, zfw::IDOK);
    });
    ASSERT_TRUE(click(s, IDC_SEC_CONFIGURE_WEP));
  });
  ASSERT_TRUE(p);
  PROFILE_ENTRY expected = Expected("Lab", "lab-ap");
  expected.authMode = zelcon::kAuthShared;
  expected.encryption = 1;
  expected.txKeyIndex = 2;
  expected.wepKeys[1].length = 5;
  std::memcpy(expected.wepKeys[1].key, "\x01\x23\x45\x67\x89", 5);
  ExpectSame(*p, expected);
  AddSaveApply(*p);
  ExpectSame(OnDisk("Lab"), expected);
  EXPECT_EQ(lib.CallTexts(), (std::vector<std::string>{
      "QueryNetworkMode()",
      "SetNetworkMode(0)",
      "SsidScan(52 bytes)",
      "SetProfileInUse(\"Lab\", 3)",
      "SetAuthMode(1)",
      "SetTpxCCXNetworkEap(0)",
      "SetWPAInformation(1, 1, 1, \"lab-ap\")",
      "SetWepStatus(0)",
      "SetWepKey(1, , 0, 0)",
      "SetWepKey(2, 0123456789, 5, 1)",
      "SetWepKey(3, , 0, 0)",
      "SetWepKey(4, , 0, 0)",
      "SetWepKey(2, 0123456789, 5, 1)",
      "SetNetworkMode(1)",
      "SetWlanMode(255)",
      "SetSsid(\"lab-ap\", 6, 0)"}));
}

TEST_F(ProfileWizardTest, ATakenNameRefusesFinishAndShowsTheNetworkPage) {
  ASSERT_TRUE(Start());
  CProfileWizard wizard(IDS_CREATE_NEW_PROFILE, &Sheet(), home.File("Zelcon.ini"));
  zfw::testing::ModalHooks hooks;
  hooks.expect<CProfileWizard>(IDS_CREATE_NEW_PROFILE, [&](CProfileWizard& w) {
    typeText(*w.NetworkPage(), IDC_NET_NAME, "<Default>");
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(w.pressButton(zfw::PSBTN_NEXT));
    EXPECT_FALSE(w.pressButton(zfw::PSBTN_FINISH));
    EXPECT_EQ(w.activeIndex(), 0);
    EXPECT_EQ(fake.boxes.texts(), std::vector<std::string>{"Profile name already exists! Please enter a new one!"});
    w.pressButton(zfw::PSBTN_CANCEL);
  });
  EXPECT_EQ(wizard.doModal(), zfw::IDCANCEL);
  EXPECT_FALSE(wizard.NewProfile());
}

TEST_F(ProfileWizardTest, CreateNewProfileShowsItsHeaderBitmapAndOnItsLastPageItsWatermark) {
  ASSERT_TRUE(Start());
  using Place = zfw::PropertySheet::WizardBitmap;
  // The bitmap shown in `place` is the wizard's own drawing, whole and in place.
  auto shows = [](CProfileWizard& w, Place place) {
    zfw::testing::processEvents();
    zfw::Rect at;
    const int id = w.wizardBitmapShown(place, &at);
    if (id != 0 && !zfw::testing::showsImage(w, zfw::bitmapFor(id), at.left, at.top)) return -1;
    return id;
  };
  CProfileWizard wizard(IDS_CREATE_NEW_PROFILE, &Sheet(), home.File("Zelcon.ini"));
  zfw::testing::ModalHooks hooks;
  hooks.expect<CProfileWizard>(IDS_CREATE_NEW_PROFILE, [&](CProfileWizard& w) {
    typeText(*w.NetworkPage(), IDC_NET_NAME, "Home");
    for (int page = 0; page < 3; ++page) {
      SCOPED_TRACE(page);
      EXPECT_EQ(shows(w, Place::Header), IDB_WIZARD_HEADER);
      EXPECT_EQ(shows(w, Place::Watermark), 0);
      if (page == 0) {
        EXPECT_FALSE(zfw::testing::saveScreenshot(w, "create_new_profile_header").empty());
      }
      ASSERT_TRUE(w.pressButton(zfw::PSBTN_NEXT));
    }
    EXPECT_EQ(w.activePage(), w.CompletePage());
    EXPECT_EQ(shows(w, Place::Watermark), IDB_WIZARD_WATERMARK);
    EXPECT_EQ(shows(w, Place::Header), 0);
    EXPECT_FALSE(zfw::testing::saveScreenshot(w, "create_new_profile_watermark").empty());
    w.pressButton(zfw::PSBTN_CANCEL);
  });
  EXPECT_EQ(wizard.doModal(), zfw::IDCANCEL);
  // The two are drawings of their own sizes, not blank.
  EXPECT_EQ(zfw::bitmapFor(IDB_WIZARD_HEADER).size(), QSize(49, 49));
  EXPECT_EQ(zfw::bitmapFor(IDB_WIZARD_WATERMARK).size(), QSize(164, 314));
  // The other forms have neither.
  CProfileWizard configure(IDS_CONFIGURE_NETWORK, &Sheet(), home.File("Zelcon.ini"));
  hooks.expect<CProfileWizard>(IDS_CONFIGURE_NETWORK, [&](CProfileWizard& w) {
    EXPECT_EQ(shows(w, Place::Header), 0);
    EXPECT_EQ(shows(w, Place::Watermark), 0);
    w.pressButton(zfw::PSBTN_CANCEL);
  });
  EXPECT_EQ(configure.doModal(), zfw::IDCANCEL);
}

TEST_F(ProfileWizardTest, ConfigureNetworkShowsOnlyTheSecurityPageAndWritesOnOk) {
  ASSERT_TRUE(Start());
  PROFILE_ENTRY record = Expected("Games", "lan");
  record.networkType = 0;
  const PROFILE_ENTRY before = record;
  CProfileWizard wizard(IDS_CONFIGURE_NETWORK, &Sheet(), home.File("Zelcon.ini"));
  EXPECT_EQ(wizard.pageCount(), 1);
  wizard.ScatterProfile(record);
  wizard.SetConfigureTarget(&record);
  zfw::testing::ModalHooks hooks;
  hooks.expect<CProfileWizard>(IDS_CONFIGURE_NETWORK, [&](CProfileWizard& w) {
    CSecuritySettgPage& s = *w.SecurityPage();
    EXPECT_EQ(s.comboBox(IDC_SEC_AUTH).count(), 3);  // ad hoc
    EXPECT_EQ(s.comboBox(IDC_SEC_ENCRYPTION).lbText(s.comboBox(IDC_SEC_ENCRYPTION).curSel()), "Security Off");
    ASSERT_TRUE(chooseComboItem(s, IDC_SEC_ENCRYPTION, 1));  // WEP without a key
    w.dispatchCommand(zfw::IDOK, zfw::BN_CLICKED);
    EXPECT_FALSE(w.isEnded());
    EXPECT_EQ(fake.boxes.texts(), std::vector<std::string>{"Please select a Tx WEP Key!"});
    ASSERT_TRUE(chooseComboItem(s, IDC_SEC_ENCRYPTION, 0));
    ASSERT_TRUE(chooseComboItem(s, IDC_SEC_AUTH, 2));  // Auto Switch
    w.dispatchCommand(zfw::IDOK, zfw::BN_CLICKED);
  });
  EXPECT_EQ(wizard.doModal(), zfw::IDOK);
  PROFILE_ENTRY expected = before;
  expected.authMode = zelcon::kAuthAuto;
  ExpectSame(record, expected);  // only the security fields are written
}

TEST_F(ProfileWizardTest, EmbeddedFormTellsOfChangesAndGathersOnlyValidPages) {
  ASSERT_TRUE(Start());
  zelcon::ProfileId office;
  PROFILE_ENTRY stored = Expected("Office", "office-ap");
  {
    auto lock = Sheet().LockState();
    Sheet().Profiles().Append(Expected("Home", "home-ap"));
    office = Sheet().Profiles().Append(stored);
  }
  CProfileWizard wizard(0, &Sheet(), home.File("Zelcon.ini"));
  EXPECT_EQ(wizard.WizardForm(), 0);
  EXPECT_FALSE(wizard.isWizardMode());
  int changes = 0;
  wizard.SetChangeHandler([&] { ++changes; });
  wizard.ScatterProfile(stored, office);
  wizard.create();
  zfw::testing::processEvents();
  EXPECT_EQ(changes, 0);
  typeText(*wizard.NetworkPage(), IDC_NET_SSID, "2");
  EXPECT_EQ(changes, 1);

  PROFILE_ENTRY record = stored;
  EXPECT_EQ(wizard.GatherProfile(record), 1);  // its own name is not taken
  EXPECT_STREQ(record.ssid, "office-ap2");

  wizard.NetworkPage()->setItemText(IDC_NET_NAME, "Home");
  record = stored;
  EXPECT_EQ(wizard.GatherProfile(record), 0);
  ExpectSame(record, stored);
}

}  // namespace
}  // namespace zelcon_test
