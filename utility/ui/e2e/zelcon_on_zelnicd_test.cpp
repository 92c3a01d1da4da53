// The utility's window on the adapter a running zelnicd serves over its control device (the
// library's real backend, no ZELCON_ADAPTER): the main sheet shows the adapter, the About page
// its facts and the driver's release, and after a scan of the office world the site survey
// lists its three access points. On the demo world,
// a WPA2-Personal profile chosen in the main page's profile box connects through the driver
// and the supplicant the library hosts, and the status page shows the connection.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "driver/ndis/driver_release.h"
#include "hosts/adapterctl/device/device_adapter.h"
#include "hosts/adapterctl/supplicant/supplicant_host.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "hosts/demo/demo_profiles.h"
#include "platform/gui/list_view.h"
#include "utility/core/profile_file.h"
#include "utility/ui/about_page.h"
#include "utility/ui/adapter_notification.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/e2e/zelcon_on_zelnicd.h"
#include "utility/ui/main_page.h"
#include "utility/ui/site_survey.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

TEST_F(ZelconOnZelnicd, TheSheetShowsTheAdapterAndTheSiteSurveyTheSimulatedNetworks) {
  app = std::make_unique<CZelconApp>(*library);
  ASSERT_TRUE(app->InitInstance());
  CZelconSheet& sheet = *app->Sheet();
  ScanProbe probe;
  sheet.addPage(&probe);
  ASSERT_TRUE(sheet.setActivePage(&probe));
  zfw::testing::processEvents();

  // The adapter is there, radio on, no link yet.
  ASSERT_NE(sheet.Adapter(), nullptr) << zelnicd.output();
  EXPECT_TRUE(sheet.isItemEnabled(IDC_RADIO_OFF));
  EXPECT_EQ(sheet.isChecked(IDC_RADIO_OFF), 0);
  EXPECT_EQ(fake.tray.tip, "No Connection");
  EXPECT_EQ(sheet.MainPage()->itemText(CMainPage::IDC_STATUS), "No Connection");

  // The worker's scan at the start ends with the driver's notification.
  ASSERT_TRUE(RunUntil([&] { return probe.scanned; })) << zelnicd.output();
  ASSERT_TRUE(sheet.setActivePage(2));
  auto* survey = dynamic_cast<CSiteSurvey*>(sheet.activePage());
  ASSERT_NE(survey, nullptr);
  zfw::ListView list = survey->listView(CSiteSurvey::IDC_NETWORK_LIST);
  std::map<std::string, std::string> channels;
  for (int row = 0; row < list.itemCount(); ++row) channels[list.itemText(row, 0)] = list.itemText(row, 3);
  EXPECT_EQ(channels, (std::map<std::string, std::string>{{"Zelnet Guest", "1"}, {"Zelnet Workshop", "6"},
                                                          {"Zelnet Office", "11"}}));
}

TEST_F(ZelconOnZelnicd, TheAboutPageShowsTheAdapterAndTheDriversOwnRelease) {
  app = std::make_unique<CZelconApp>(*library);
  ASSERT_TRUE(app->InitInstance());
  CZelconSheet& sheet = *app->Sheet();
  ASSERT_NE(sheet.Adapter(), nullptr) << zelnicd.output();
  CAboutPage* about = nullptr;
  for (int i = 0; i < sheet.pageCount() && !about; ++i) about = dynamic_cast<CAboutPage*>(sheet.page(i));
  ASSERT_NE(about, nullptr);
  ASSERT_TRUE(sheet.setActivePage(about));
  zfw::testing::processEvents();

  const std::string release = std::string(kDriverVersion) + " (" + kDriverDate + ")";
  EXPECT_EQ(about->itemText(1068), release);                // NDIS Driver Version
  EXPECT_EQ(about->itemText(1048), "00 1E 4D 2D 17 01");   // MAC Address: the simulated chip's
  EXPECT_FALSE(about->itemText(1009).empty());             // Hardware Version
  EXPECT_FALSE(about->itemText(1001).empty());             // Firmware Version
  EXPECT_EQ(about->itemText(1076), "FCC (United States)");
  EXPECT_FALSE(zfw::testing::saveScreenshot(sheet, "zelcon_about_on_zelnicd").empty());
}

struct ZelconOnTheDemoWorld : ZelconOnZelnicd {
  ZelconOnTheDemoWorld() : ZelconOnZelnicd({"--world", ZELNICD_WORLDS_DIR "/demo.world"}) {}
};

TEST_F(ZelconOnTheDemoWorld, AProfileChosenInTheProfileBoxConnectsAndTheStatusPageShowsTheConnection) {
  {
    std::vector<PROFILE_ENTRY> profiles = demo::DemoProfiles(std::nullopt);
    ASSERT_TRUE(zelcon::WriteProfileFile(home.File("Data.cfg"), profiles, home.File("Data.cfg")));
    for (PROFILE_ENTRY& p : profiles) zelcon::WipeProfile(p);
  }
  app = std::make_unique<CZelconApp>(*library);
  ASSERT_TRUE(app->InitInstance());
  CZelconSheet& sheet = *app->Sheet();
  CMainPage& page = *sheet.MainPage();
  ASSERT_TRUE(sheet.setActivePage(&page));
  zfw::testing::processEvents();
  ASSERT_NE(sheet.Adapter(), nullptr) << zelnicd.output();

  // The worker's first scan fills the driver's table; then the user picks the office network.
  const int office = page.comboBox(CMainPage::IDC_PROFILE_BOX).findStringExact("Zelnet Office");
  ASSERT_GE(office, 0);
  ASSERT_TRUE(zfw::testing::chooseComboItem(page, CMainPage::IDC_PROFILE_BOX, office));
  const auto text = [&](int id) { return page.itemText(id); };
  ASSERT_TRUE(RunUntil([&] {
    const zelcon::SupplicantHost* host = library->Supplicant();
    return text(CMainPage::IDC_STATUS) == "Connected" && host != nullptr && host->KeysInstalled() >= 2;
  })) << "status \"" << text(CMainPage::IDC_STATUS) << "\"\n" << zelnicd.output();

  EXPECT_EQ(text(CMainPage::IDC_SSID), "Zelnet Office");
  EXPECT_EQ(text(CMainPage::IDC_BSSID), "02 5A 4C 00 00 03");
  EXPECT_EQ(text(CMainPage::IDC_NETWORK_TYPE), "Infrastructure");
  EXPECT_EQ(text(CMainPage::IDC_SECURITY), "AES");
  EXPECT_EQ(text(CMainPage::IDC_CHANNEL_GROUP), "Channel 11 (2.462 GHz)");
  // The profile in use heads the list now, and the box shows it chosen.
  const zfw::ComboBox box = page.comboBox(CMainPage::IDC_PROFILE_BOX);
  EXPECT_EQ(box.lbText(box.curSel()), "Zelnet Office");
  EXPECT_EQ(fake.tray.tip, "Connected");
  EXPECT_FALSE(zfw::testing::saveScreenshot(sheet, "zelcon_connected_on_zelnicd").empty());
}

}  // namespace
