#include "utility/ui/main_page.h"

#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <string>
#include <vector>

#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/cross_thread.h"
#include "platform/gui/icons.h"
#include "platform/gui/testing/gui_kit.h"
#include "utility/core/profile_entry.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/testing/zelcon_fixture.h"

namespace zelcon_test {
namespace {

using zfw::testing::processEvents;

const std::vector<uint8_t> kMac = {0x02, 0x1E, 0x4D, 0x00, 0x00, 0x01};
constexpr uint32_t kIfIndex = 3;

PROFILE_ENTRY Profile(std::string_view name, uint32_t authMode = 0, uint32_t encryption = 0) {
  PROFILE_ENTRY p{};
  zelcon::SetFieldText(p.name, name);
  zelcon::SetFieldText(p.ssid, name);
  p.networkType = 1;
  p.keepAdapterDefaults = 1;
  p.authMode = authMode;
  p.encryption = encryption;
  return p;
}

struct ZelconMainPage : ZelconFixture {
  ZelconMainPage() {
    lib.SetBytes("GetMacAddress", kMac);
    zfw::IpAdapterInfo info;
    info.name = "wlan0";
    info.index = kIfIndex;
    info.address = kMac;
    info.dhcpEnabled = true;
    info.ipAddress = "10.0.0.5";
    info.ipMask = "255.255.255.0";
    info.gateway = "10.0.0.1";
    fake.ipHelper.table = {info};
    Counters(0, 0);
  }
  void Counters(uint32_t in, uint32_t out) {
    zfw::IfRow row;
    row.index = kIfIndex;
    row.type = zfw::IF_TYPE_ETHERNET_CSMACD;
    row.physAddress = kMac;
    row.inOctets = in;
    row.outOctets = out;
    fake.ipHelper.rows[kIfIndex] = row;
  }
  void OnOffice() {
    Associated("Office");
    lib.SetDword("QueryNetworkMode", 1);
    lib.SetDword("QueryChannel", 6);
    lib.SetDword("QueryWlanMode", 1);
    lib.SetDword("QueryWepStatus", 4);
    lib.SetDword("QueryRssi", static_cast<uint32_t>(-60));
    lib.SetDword("QueryLinkSpeed", 540000);
  }
  CMainPage& Page() { return *Sheet().MainPage(); }
  std::string Text(int id) { return Page().itemText(id); }
  void Tick() {
    fake.timers.advance(1000);
    processEvents();
  }
};

TEST_F(ZelconMainPage, ShowsTheLinkAndRefreshesSignalSpeedAndThroughputEverySecond) {
  OnOffice();
  lib.SetDword("QueryRssi", static_cast<uint32_t>(-70));  // the bar's mean is the page's rings'
  ASSERT_NE(Start(), nullptr);
  EXPECT_EQ(Text(CMainPage::IDC_STATUS), "Connected");
  EXPECT_EQ(Text(CMainPage::IDC_SSID), "Office");
  EXPECT_EQ(Text(CMainPage::IDC_BSSID), "00 11 22 33 44 55");
  EXPECT_EQ(Text(CMainPage::IDC_NETWORK_TYPE), "Infrastructure");
  EXPECT_EQ(Text(CMainPage::IDC_SECURITY), "TKIP");
  EXPECT_EQ(Text(CMainPage::IDC_CHANNEL_GROUP), "Channel 6 (2.437 GHz)");
  EXPECT_EQ(Page().bandIcon(), CMainPage::IDI_BAND_B);
  EXPECT_EQ(Text(CMainPage::IDC_LINK_SPEED), "54 Mbps");
  EXPECT_EQ(Page().progressBar(CMainPage::IDC_SIGNAL).pos(), 26);
  EXPECT_EQ(Text(CMainPage::IDC_DHCP), "Enable");
  EXPECT_EQ(Text(CMainPage::IDC_IP_ADDRESS), "10.0.0.5");
  EXPECT_EQ(Text(CMainPage::IDC_SUBNET_MASK), "255.255.255.0");
  EXPECT_EQ(Text(CMainPage::IDC_GATEWAY), "10.0.0.1");
  EXPECT_TRUE(fake.timers.isRunning(Page(), CMainPage::kRefreshTimer));

  struct Second {
    uint32_t in, out;
    uint32_t speed;
    const char* tx;
    const char* rx;
    const char* txTop;
    const char* txMiddle;
    const char* speedText;
  };
  const Second series[] = {
      {125'000, 1'250, 55'000, "Current Tx Rate: 10.0 Kbps", "Current Rx Rate: 1.0 Mbps",
       "12.0 Kbps", "6.0 Kbps", "54 Mbps"},
      // the interface was reset: no traffic this second, the scale stays
      {100, 1'260, 55'000, "Current Tx Rate: 80 bps", "Current Rx Rate: 0 bps", "12.0 Kbps",
       "6.0 Kbps", "54 Mbps"},
      {225, 1'260, 55'000, "Current Tx Rate: 0 bps", "Current Rx Rate: 1.0 Kbps", "12.0 Kbps",
       "6.0 Kbps", "54 Mbps"},
  };
  for (const Second& s : series) {
    SCOPED_TRACE(s.rx);
    Counters(s.in, s.out);
    lib.SetDword("QueryLinkSpeed", s.speed);
    Tick();
    EXPECT_EQ(Text(CMainPage::IDC_TX_RATE), s.tx);
    EXPECT_EQ(Text(CMainPage::IDC_RX_RATE), s.rx);
    EXPECT_EQ(Text(CMainPage::IDC_TX_TOP), s.txTop);
    EXPECT_EQ(Text(CMainPage::IDC_TX_MIDDLE), s.txMiddle);
    EXPECT_EQ(Page().progressBar(CMainPage::IDC_SIGNAL).pos(), 26);
    EXPECT_EQ(Text(CMainPage::IDC_LINK_SPEED), s.speedText);
  }
  // The charts scale with the rates: the transmit top is 12 Kbps.
  EXPECT_EQ(Page().Chart(CMainPage::IDC_TX_CHART)->RangeSize(), 12'000u);
  EXPECT_EQ(Page().Chart(CMainPage::IDC_RX_CHART)->RangeSize(), 1'200'000u);
  EXPECT_TRUE(fake.timers.isRunning(Page(), CMainPage::kChartTimer));
  EXPECT_FALSE(zfw::testing::saveScreenshot(Sheet(), "zelcon_main_page").empty());
}

TEST_F(ZelconMainPage, TheBandIconShowsTheRadioOfTheLink) {
  OnOffice();
  ASSERT_NE(Start(), nullptr);
  // The icon on show is the page's control 1041 with the icon's own drawing in it.
  auto shows = [&](int icon) {
    const zfw::Rect at = Page().itemRect(CMainPage::IDC_BAND_ICON);
    return Page().bandIcon() == icon && Page().isItemVisible(CMainPage::IDC_BAND_ICON) &&
           zfw::testing::showsImage(Page(), zfw::iconFor(icon).pixmap(32, 32), at.left, at.top);
  };
  const struct {
    uint32_t channel, wlanMode;
    int icon;
  } links[] = {
      {6, 1, CMainPage::IDI_BAND_B},
      {6, 0, CMainPage::IDI_BAND_OTHER},
      {11, 255, CMainPage::IDI_BAND_OTHER},
      {36, 1, CMainPage::IDI_BAND_A},  // 5 GHz: 802.11a whatever the mode says
  };
  for (const auto& link : links) {
    SCOPED_TRACE(link.channel * 1000 + link.wlanMode);
    lib.SetDword("QueryChannel", link.channel);
    lib.SetDword("QueryWlanMode", link.wlanMode);
    zfw::sendAppMessage(Sheet(), HLVN_EVENT_ASSOCIATED);
    EXPECT_TRUE(shows(link.icon));
  }
  EXPECT_FALSE(zfw::testing::saveScreenshot(Sheet(), "zelcon_main_page_802_11a").empty());
  // The drawings differ: each band has an icon of its own.
  const int icons[] = {CMainPage::IDI_BAND_NONE, CMainPage::IDI_BAND_B, CMainPage::IDI_BAND_A,
                       CMainPage::IDI_BAND_OTHER};
  for (int a : icons) {
    for (int b : icons) {
      if (a != b) {
        EXPECT_NE(zfw::iconFor(a).pixmap(32, 32).toImage(), zfw::iconFor(b).pixmap(32, 32).toImage());
      }
    }
  }

  lib.SetResult("GetConnectStatus", 0);
  lib.SetBytes("QueryBssid", {0, 0, 0, 0, 0, 0});
  zfw::sendAppMessage(Sheet(), HLVN_EVENT_DISCONNECTED);
  EXPECT_EQ(Text(CMainPage::IDC_STATUS), "No Connection");
  EXPECT_TRUE(shows(CMainPage::IDI_BAND_NONE));
}

TEST_F(ZelconMainPage, WithoutALinkTheStatusSaysWhy) {
  CZelconSheet& sheet = *Start();
  EXPECT_EQ(Text(CMainPage::IDC_STATUS), "No Connection");
  EXPECT_EQ(Text(CMainPage::IDC_CHANNEL_GROUP), "Channel Performance");
  EXPECT_EQ(Page().bandIcon(), CMainPage::IDI_BAND_NONE);
  Tick();
  EXPECT_EQ(Text(CMainPage::IDC_TX_RATE), "Current Tx Rate:");
  EXPECT_EQ(Page().progressBar(CMainPage::IDC_SIGNAL).pos(), 0);
  EXPECT_FALSE(zfw::testing::saveScreenshot(Sheet(), "zelcon_main_page_no_connection").empty());
  // Without a link both charts run along the bottom.
  Tick();
  for (int id : {CMainPage::IDC_TX_CHART, CMainPage::IDC_RX_CHART}) {
    const QImage& chart = Page().Chart(id)->Bitmap();
    EXPECT_EQ(chart.pixel(chart.width() - 12, chart.height() - 1), CGraphCtrl::kLine) << id;
  }

  ASSERT_TRUE(zfw::testing::click(sheet, IDC_RADIO_OFF));
  EXPECT_EQ(Text(CMainPage::IDC_STATUS), "No Radio");
  ASSERT_TRUE(zfw::testing::click(sheet, IDC_RADIO_OFF));
  sheet.OpenAdapterSession(0);
  Page().RefreshStatus();
  EXPECT_EQ(Text(CMainPage::IDC_STATUS), "Card Unplugged");
}

TEST_F(ZelconMainPage, ChoosingAProfileConnectsWithIt) {
  CZelconSheet& sheet = *Start();
  {
    auto lock = sheet.LockState();
    sheet.Profiles().Append(Profile("home"));
  }
  zfw::sendAppMessage(Page(), APPMSG_PROFILES_CHANGED);
  const int home = Page().comboBox(CMainPage::IDC_PROFILE_BOX).findStringExact("home");
  ASSERT_GE(home, 0);
  lib.ClearCalls();
  ASSERT_TRUE(zfw::testing::chooseComboItem(Page(), CMainPage::IDC_PROFILE_BOX, home));
  EXPECT_TRUE(Called("SetSsid(\"home\", 4, 0)"));
  EXPECT_EQ(Text(CMainPage::IDC_STATUS), "Scanning for home");
  EXPECT_EQ(sheet.m_busy.load(), 0);
  EXPECT_TRUE(Page().isWindowEnabled());
}

TEST_F(ZelconMainPage, TheLibrarysConnectionTextIsTheStatusUnlessZeroConfigurationOwnsTheAdapter) {
  CZelconSheet& sheet = *Start();
  zfw::sendAppMessage(Page(), ZELCON_NOTIFY_CONNECTION_TEXT, zfw::AppParam{0, "Authenticating..."});
  EXPECT_EQ(Text(CMainPage::IDC_STATUS), "Authenticating...");
  sheet.m_zeroConfigOwns = 1;
  zfw::sendAppMessage(Page(), ZELCON_NOTIFY_CONNECTION_TEXT, zfw::AppParam{0, "Authenticated"});
  EXPECT_EQ(Text(CMainPage::IDC_STATUS), "Authenticating...");
  sheet.m_zeroConfigOwns = 0;
}

TEST_F(ZelconMainPage, TheAuthorizedPortShowsTheConnectionAgainAfterTheSupplicantsTexts) {
  OnOffice();
  ASSERT_NE(Start(), nullptr);
  zfw::sendAppMessage(Page(), ZELCON_NOTIFY_CONNECTION_TEXT, zfw::AppParam{0, "Authenticated"});
  Tick();
  EXPECT_EQ(Text(CMainPage::IDC_STATUS), "Authenticated");
  EXPECT_EQ(Page().progressBar(CMainPage::IDC_SIGNAL).pos(), 0);  // the refresh waits for "Connected"
  zfw::sendAppMessage(Page(), ZELCON_NOTIFY_PORT_AUTHORIZED);
  EXPECT_EQ(Text(CMainPage::IDC_STATUS), "Connected");
  EXPECT_EQ(Text(CMainPage::IDC_SSID), "Office");
  EXPECT_EQ(Page().progressBar(CMainPage::IDC_SIGNAL).pos(), 36);
}

TEST_F(ZelconMainPage, WindowsChangingTheSecurityPutsBackTheSelectedProfiles) {
  OnOffice();
  {
    zelcon::ProfileList list;
    list.Append(Profile("Office", zelcon::kAuthOpen, 0));
    ASSERT_TRUE(zelcon::SaveProfiles(list, DataCfg()));
  }
  lib.SetText("QueryProfileInUse", "Office");
  ASSERT_NE(Start(), nullptr);
  // No profile selected: nothing to put back.
  Page().comboBox(CMainPage::IDC_PROFILE_BOX).setCurSel(-1);
  lib.ClearCalls();
  zfw::sendAppMessage(Page(), HLVN_EVENT_SECURITY_OID);
  EXPECT_TRUE(lib.CallTexts().empty());

  Page().RefreshStatus();
  ASSERT_GE(Page().comboBox(CMainPage::IDC_PROFILE_BOX).curSel(), 0);
  lib.SetDword("QueryAuthMode", 1);
  lib.SetDword("QueryWepStatus", 0);
  lib.ClearCalls();
  zfw::sendAppMessage(Page(), HLVN_EVENT_SECURITY_OID);
  EXPECT_TRUE(Called("SetAuthMode(0)"));
  EXPECT_TRUE(Called("SetWepStatus(1)"));

  {
    auto lock = Sheet().LockState();
    Sheet().Profiles().At(0).authMode = zelcon::kAuthWpaPsk;
  }
  lib.ClearCalls();
  zfw::sendAppMessage(Page(), HLVN_EVENT_SECURITY_OID);
  EXPECT_EQ(lib.CallTexts(), (std::vector<std::string>{"WPAPortDown()", "SetDisassociate()"}));
}

}  // namespace
}  // namespace zelcon_test
