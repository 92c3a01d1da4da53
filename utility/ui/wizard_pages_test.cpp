// The network, protocol and completion pages of the profile wizard, each on a record.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/gui/base/string_table.h"
#include "platform/gui/property_sheet.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"
#include "platform/win32/test_temp_dir.h"
#include "utility/ui/adv_settg_page.h"
#include "utility/ui/basic_settg_page.h"
#include "utility/ui/complete_wiz.h"
#include "utility/ui/security_settg_page.h"
#include "zelconStrings.h"

namespace {

using zfw::testing::chooseComboItem;
using zfw::testing::click;
using Texts = std::vector<std::string>;

struct WizardPagesTest : ::testing::Test {
  zfw::testing::FakePlatform fake;
  plat::TestTempDir home;
  ProfileWizardContext wizard;
  int changes = 0;
  std::vector<std::string> otherNames = {"<Default>", "Office"};
  CBasicSettgPage network{107, wizard};
  CSecuritySettgPage security{111, wizard};
  CAdvSettgPage protocol{110, wizard};
  CCompleteWiz complete{network, security, protocol, [] { return true; }};
  zfw::PropertySheet sheet{"Profile"};

  WizardPagesTest() {
    zfw::StringTable::install(zelconStrings());
    wizard.changed = [this] { ++changes; };
    wizard.settingsPath = home.File("Zelcon.ini");
    wizard.nameTaken = [this](const std::string& name) {
      for (const std::string& n : otherNames) {
        if (n == name) return true;
      }
      return false;
    };
    for (zfw::PropertyPage* p : std::initializer_list<zfw::PropertyPage*>{&network, &security, &protocol, &complete}) {
      sheet.addPage(p);
    }
  }
  ~WizardPagesTest() override {
    sheet.destroyWindow();
    zfw::testing::processEvents();
  }
  void Show(int page = 0) {
    sheet.create();
    for (int i = 3; i >= page; --i) sheet.setActivePage(i);  // every page gets its window
    zfw::testing::processEvents();
  }
  static Texts Items(zfw::Wnd& w, int id) {
    Texts t;
    zfw::ComboBox box = w.comboBox(id);
    for (int i = 0; i < box.count(); ++i) t.push_back(box.lbText(i));
    return t;
  }
  static std::string Selected(zfw::Wnd& w, int id) { return w.comboBox(id).lbText(w.comboBox(id).curSel()); }
};

TEST_F(WizardPagesTest, NetworkTypeSwitchesTheModeAndChannelControls) {
  wizard.firstChannel = 1;
  wizard.lastChannel = 14;
  Show();
  EXPECT_EQ(Items(network, IDC_NET_TYPE), (Texts{"Infrastructure", "Ad-Hoc"}));
  EXPECT_EQ(Items(network, IDC_NET_WLAN_MODE), (Texts{"Auto", "802.11b"}));
  EXPECT_TRUE(network.isItemVisible(IDC_NET_WLAN_MODE));
  EXPECT_FALSE(network.isItemVisible(IDC_NET_CHANNEL));
  zfw::testing::saveScreenshot(sheet, "network_info_page");

  chooseComboItem(network, IDC_NET_TYPE, 1);
  EXPECT_TRUE(wizard.adHocFlag);
  EXPECT_FALSE(network.isItemVisible(IDC_NET_WLAN_MODE));
  EXPECT_TRUE(network.isItemVisible(IDC_NET_ADHOC_MODE));
  EXPECT_EQ(Selected(network, IDC_NET_ADHOC_MODE), "802.11g");
  const Texts channels = Items(network, IDC_NET_CHANNEL);
  ASSERT_EQ(channels.size(), 15u);
  EXPECT_EQ(channels[0], "Auto Select");
  EXPECT_EQ(channels[1], "CH 1 (2.412 GHz)");
  EXPECT_EQ(channels[13], "CH 13 (2.472 GHz)");
  EXPECT_EQ(channels[14], "CH 14 (2.484 GHz)");
  chooseComboItem(network, IDC_NET_ADHOC_MODE, 0);
  EXPECT_EQ(wizard.wirelessMode, 1u);
  EXPECT_GT(changes, 0);
}

TEST_F(WizardPagesTest, ProfileNameChecks) {
  const struct {
    const char* name;
    const char* message;
  } cases[] = {
      {"", "You have entered an illegal profile name."},
      {"Office", "Profile name already exists! Please enter a new one!"},
      {"office", nullptr},  // names compare exactly
      {"Home", nullptr},
  };
  Show();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fake.boxes.clear();
    sheet.setActivePage(2);
    network.setItemText(IDC_NET_NAME, c.name);
    EXPECT_EQ(network.ValidateProfileName(), c.message ? 0 : 1);
    EXPECT_EQ(fake.boxes.texts(), c.message ? Texts{c.message} : Texts{});
    if (c.message && *c.name) {
      EXPECT_EQ(sheet.activeIndex(), 0);
    }
  }
  wizard.nameTaken = nullptr;  // nothing to compare with ("Configure Network")
  network.setItemText(IDC_NET_NAME, "Office");
  EXPECT_EQ(network.ValidateProfileName(), 1);
}

TEST_F(WizardPagesTest, AdHocRecordRoundTripsAndItsRunningChannelIsLocked) {
  PROFILE_ENTRY p{};
  std::strcpy(p.name, "Games");
  std::strcpy(p.ssid, "lan-party");
  p.networkType = 0;
  p.adHocWlanMode = 1;
  p.channel = 6;
  p.hiddenSsid = 1;
  wizard.channelLocked = true;
  network.LoadBasicFromProfile(p);
  Show();
  EXPECT_EQ(Selected(network, IDC_NET_TYPE), "Ad-Hoc");
  EXPECT_EQ(Selected(network, IDC_NET_CHANNEL), "CH 6 (2.437 GHz)");
  EXPECT_FALSE(network.isItemEnabled(IDC_NET_CHANNEL));
  EXPECT_EQ(wizard.wirelessMode, 1u);
  EXPECT_TRUE(wizard.adHocFlag);
  PROFILE_ENTRY saved{};
  saved.hiddenSsid = 1;
  network.SaveBasicToProfile(saved);
  EXPECT_STREQ(saved.name, "Games");
  EXPECT_STREQ(saved.ssid, "lan-party");
  EXPECT_EQ(saved.networkType, 0u);
  EXPECT_EQ(saved.adHocWlanMode, 1);
  EXPECT_EQ(saved.channel, 6u);
  EXPECT_EQ(saved.wlanMode, 255u);
  EXPECT_EQ(saved.hiddenSsid, 0);
  network.EnableBasicPage(false);
  EXPECT_FALSE(network.isItemEnabled(IDC_NET_NAME));
  EXPECT_FALSE(network.isItemEnabled(IDC_NET_ADHOC_MODE));
}

TEST_F(WizardPagesTest, RateListFollowsTheWirelessMode) {
  const struct {
    uint32_t mode;
    Texts rates;
  } cases[] = {
      {1, {"Auto", "1 Mbps", "2 Mbps", "5.5 Mbps", "11 Mbps"}},
      {2, {"Auto", "6 Mbps", "9 Mbps", "12 Mbps", "18 Mbps", "24 Mbps", "36 Mbps", "48 Mbps", "54 Mbps"}},
      {255,
       {"Auto", "1 Mbps", "2 Mbps", "5.5 Mbps", "6 Mbps", "9 Mbps", "11 Mbps", "12 Mbps", "18 Mbps", "24 Mbps",
        "36 Mbps", "48 Mbps", "54 Mbps"}},
  };
  Show(2);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    wizard.wirelessMode = c.mode;
    sheet.setActivePage(2);
    EXPECT_EQ(Items(protocol, IDC_PROT_RATE), c.rates);
  }
  zfw::testing::saveScreenshot(sheet, "protocol_page");
}

TEST_F(WizardPagesTest, KeepDefaultsAndAdHocDisableWhatTheyShould) {
  Show(2);
  EXPECT_EQ(protocol.isChecked(IDC_PROT_KEEP), 1);
  EXPECT_FALSE(protocol.isItemEnabled(IDC_PROT_RATE));
  EXPECT_FALSE(protocol.isItemEnabled(IDC_PROT_RESET));
  click(protocol, IDC_PROT_KEEP);
  EXPECT_TRUE(protocol.isItemEnabled(IDC_PROT_POWER));
  EXPECT_TRUE(protocol.isItemEnabled(IDC_PROT_FRAG));
  chooseComboItem(protocol, IDC_PROT_POWER, 1);
  wizard.adHocFlag = true;
  sheet.setActivePage(2);
  EXPECT_EQ(Selected(protocol, IDC_PROT_POWER), "Continuous Access");
  EXPECT_FALSE(protocol.isItemEnabled(IDC_PROT_POWER));
}

TEST_F(WizardPagesTest, ThresholdLimits) {
  const struct {
    long frag, rts;
    const char* message;
  } cases[] = {
      {255, 500, "The minimum value of fragmentation threshold is 256"},
      {2347, 500, "The maximum value of fragmentation threshold is 2346"},
      {1000, 2348, "The maximum value of RTS/CTS threshold is 2347"},
      {255, 3000, "The maximum value of RTS/CTS threshold is 2347"},
      {256, 0, nullptr},
      {2346, 2347, nullptr},
  };
  Show(2);
  click(protocol, IDC_PROT_KEEP);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.frag);
    fake.boxes.clear();
    protocol.setItemInt(IDC_PROT_FRAG, c.frag);
    protocol.setItemInt(IDC_PROT_RTS, c.rts);
    EXPECT_EQ(protocol.ValidateThresholds(), c.message ? 0 : 1);
    EXPECT_EQ(fake.boxes.texts(), c.message ? Texts{c.message} : Texts{});
  }
  protocol.setItemInt(IDC_PROT_FRAG, 100);
  click(protocol, IDC_PROT_KEEP);  // kept settings are not checked
  EXPECT_EQ(protocol.ValidateThresholds(), 1);
}

TEST_F(WizardPagesTest, ProtocolSaveResetAndKeptSettings) {
  Show(2);
  click(protocol, IDC_PROT_KEEP);
  chooseComboItem(protocol, IDC_PROT_POWER, 1);
  chooseComboItem(protocol, IDC_PROT_PREAMBLE, 2);
  ASSERT_TRUE(chooseComboItem(protocol, IDC_PROT_RATE, 3));  // 5.5 Mbps in the full list
  protocol.setItemInt(IDC_PROT_FRAG, 1500);
  protocol.setItemInt(IDC_PROT_RTS, 100);
  PROFILE_ENTRY p{};
  protocol.SaveAdvToProfile(p);
  EXPECT_EQ(p.keepAdapterDefaults, 0u);
  EXPECT_EQ(p.powerMode, 1u);
  EXPECT_EQ(p.preamble, 3u);
  EXPECT_EQ(p.dataRate, 11u);
  EXPECT_EQ(p.fragThreshold, 1500u);
  EXPECT_EQ(p.rtsThreshold, 100u);

  click(protocol, IDC_PROT_RESET);
  EXPECT_EQ(Selected(protocol, IDC_PROT_PREAMBLE), "Auto");
  EXPECT_EQ(Selected(protocol, IDC_PROT_RATE), "Auto");
  EXPECT_EQ(protocol.itemInt(IDC_PROT_FRAG), 2346);
  EXPECT_EQ(protocol.itemInt(IDC_PROT_RTS), 2347);

  click(protocol, IDC_PROT_KEEP);
  wizard.createNewProfile = true;
  PROFILE_ENTRY kept{};
  protocol.SaveAdvToProfile(kept);
  EXPECT_EQ(kept.keepAdapterDefaults, 1u);
  EXPECT_EQ(kept.fragThreshold, 2346u);
  EXPECT_EQ(kept.rtsThreshold, 2347u);
  EXPECT_EQ(kept.powerMode + kept.preamble + kept.dataRate, 0u);
}

TEST_F(WizardPagesTest, SummaryListsWhatThePagesShow) {
  Show();
  network.setItemText(IDC_NET_NAME, "Home");
  network.setItemText(IDC_NET_SSID, "home-ap");
  sheet.setActivePage(1);
  ASSERT_TRUE(chooseComboItem(security, IDC_SEC_AUTH, 5));
  sheet.setActivePage(3);
  EXPECT_EQ(complete.itemText(IDC_COMPLETE_SUMMARY),
            "Profile Name = Home\r\n"
            "Network SSID = home-ap\r\n"
            "Network Type = Infrastructure\r\n"
            "Channel = Auto Select\r\n"
            "Security = TKIP\r\n"
            "Authentication = WPA2-PSK\r\n"
            "Power Mode = Continuous Access\r\n"
            "Radio Preamble = Auto\r\n"
            "Transmit Data Rate = Auto\r\n"
            "Fragmentation Threshold = 2346\r\n"
            "RTS Threshold = 2347\r\n");
  zfw::testing::saveScreenshot(sheet, "complete_page");
}

}  // namespace
