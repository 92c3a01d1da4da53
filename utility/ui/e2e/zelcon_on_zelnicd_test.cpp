// The utility's window on the adapter a running zelnicd serves over its control device (the
// library's real backend, no ZELCON_ADAPTER): the main sheet shows the adapter, the About page
// its facts and the driver's release, and after a scan of the office world the site survey
// lists its three access points. On the demo world,
// a WPA2-Personal profile chosen in the main page's profile box connects through the driver
// and the supplicant the library hosts, and the status page shows the connection. A zelnicd
// started after the utility, and started again under it, is found as the program finds it.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <csignal>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "driver/ndis/driver_release.h"
#include "hosts/adapterctl/device/device_adapter.h"
#include "hosts/adapterctl/supplicant/supplicant_host.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "hosts/demo/demo_profiles.h"
#include "hosts/adapterctl/zelcon.h"
#include "platform/gui/desktop/device_node_watcher.h"
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
  ZelconOnTheDemoWorld() : ZelconOnZelnicd({"--world", ZELNICD_WORLDS_DIR "/demo.world"}) {
    std::vector<PROFILE_ENTRY> profiles = demo::DemoProfiles(std::nullopt);
    // The office network with a pass phrase its access point does not take: the handshake
    // stays at its first message until the access point gives up (some seconds).
    for (size_t i = 0, n = profiles.size(); i < n; ++i) {
      if (zelcon::FieldText(profiles[i].name) != "Zelnet Office") continue;
      PROFILE_ENTRY wrong = profiles[i];
      zelcon::SetFieldText(wrong.name, "Zelnet Office, wrong key");
      std::memset(wrong.wpa.passphrase, 'x', 12);
      wrong.wpa.passphraseLength = 12;
      profiles.push_back(wrong);
      zelcon::WipeProfile(wrong);
    }
    EXPECT_TRUE(zelcon::WriteProfileFile(home.File("Data.cfg"), profiles, home.File("Data.cfg")));
    for (PROFILE_ENTRY& p : profiles) zelcon::WipeProfile(p);
  }
  // The user picks the WPA2-Personal office network in the page's profile box; true once the
  // page shows the connection and the supplicant has set the keys.
  bool ConnectWithTheOfficeProfile(CMainPage& page, const std::string& zelnicdOutput) {
    const int office = page.comboBox(CMainPage::IDC_PROFILE_BOX).findStringExact("Zelnet Office");
    EXPECT_GE(office, 0);
    if (office < 0 || !zfw::testing::chooseComboItem(page, CMainPage::IDC_PROFILE_BOX, office)) return false;
    const bool connected = RunUntil([&] {
      const zelcon::SupplicantHost* host = library->Supplicant();
      return page.itemText(CMainPage::IDC_STATUS) == "Connected" && host != nullptr && host->KeysInstalled() >= 2;
    });
    EXPECT_TRUE(connected) << "status \"" << page.itemText(CMainPage::IDC_STATUS) << "\"\n" << zelnicdOutput;
    return connected;
  }
};

TEST_F(ZelconOnTheDemoWorld, AProfileChosenInTheProfileBoxConnectsAndTheStatusPageShowsTheConnection) {
  CMainPage& page = StartOnTheMainPage();
  CZelconSheet& sheet = *app->Sheet();
  ASSERT_NE(sheet.Adapter(), nullptr) << zelnicd.output();

  // The worker's first scan fills the driver's table; then the user picks the office network.
  ASSERT_TRUE(ConnectWithTheOfficeProfile(page, zelnicd.output()));
  const auto text = [&](int id) { return page.itemText(id); };

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

// The connection texts the library posted, for a test that looks for one that must not come.
std::mutex g_textsMutex;
std::vector<std::string> g_texts;

void RecordingPoster(void* window, uint32_t code, intptr_t param, const char* text) {
  if (code == ZELCON_NOTIFY_CONNECTION_TEXT && text != nullptr) {
    std::lock_guard lock(g_textsMutex);
    g_texts.emplace_back(text);
  }
  PostAdapterNotification(window, code, param, text);
}

// The utility runs before zelnicd (zelnicd's first run only made its run directory) and
// watches for its control device as the program does.
struct ZelconBeforeZelnicd : ZelconOnTheDemoWorld {
  void SetUp() override {
    ZelconOnTheDemoWorld::SetUp();
    ASSERT_EQ(zelnicd.stop(SIGTERM), 0) << zelnicd.output();
    notifier.SetPoster(&RecordingPoster);
    ForgetPostedTexts();
  }
  // How many times the library posted `text` since the texts were last forgotten.
  size_t TimesPosted(const std::string& text) {
    std::lock_guard lock(g_textsMutex);
    return static_cast<size_t>(std::count(g_texts.begin(), g_texts.end(), text));
  }
  void ForgetPostedTexts() {
    std::lock_guard lock(g_textsMutex);
    g_texts.clear();
  }
};

// zelnicd starting after the utility (the order of a log-in) and again under it: its control
// device appearing is the adapter's arrival, and its going (or, for a zelnicd killed without
// a halt, its connection's hang-up) the removal. The page follows ("Card Unplugged", then the
// adapter), a profile connects on each zelnicd, and a connection the killed zelnicd cut short
// is not reported failed on the next one.
TEST_F(ZelconBeforeZelnicd, TheAdapterArrivesWhenZelnicdStartsAndGoesWhenItIsKilled) {
  zfw::DeviceNodeWatcher controlDevice(fake.devices, zelnicd.devicePath(), kZelconAdapterHardwareId);
  ASSERT_TRUE(controlDevice.start());
  CMainPage& page = StartOnTheMainPage();
  CZelconSheet& sheet = *app->Sheet();
  const auto status = [&] { return page.itemText(CMainPage::IDC_STATUS); };
  EXPECT_EQ(sheet.Adapter(), nullptr);
  EXPECT_EQ(status(), "Card Unplugged");
  const auto arrived = [&] { return sheet.Adapter() != nullptr && status() == "No Connection"; };
  const auto removed = [&] { return sheet.Adapter() == nullptr && status() == "Card Unplugged"; };
  {
    zelnicd::testing::ZelnicdProcess first(zelnicd);
    ASSERT_TRUE(RunUntil(arrived)) << "status \"" << status() << "\"\n" << first.output();
    ASSERT_TRUE(ConnectWithTheOfficeProfile(page, first.output()));
    // Killed while a connection is under way: the handshake of a wrong pass phrase.
    ForgetPostedTexts();
    const int wrong = page.comboBox(CMainPage::IDC_PROFILE_BOX).findStringExact("Zelnet Office, wrong key");
    ASSERT_TRUE(zfw::testing::chooseComboItem(page, CMainPage::IDC_PROFILE_BOX, wrong));
    ASSERT_TRUE(RunUntil([&] { return TimesPosted("Waiting for keys...") > 0; })) << status();
    first.stop(SIGKILL);
    ASSERT_TRUE(RunUntil(removed)) << "status \"" << status() << "\"";
  }
  ForgetPostedTexts();
  zelnicd::testing::ZelnicdProcess again(zelnicd);  // in place of the socket the killed one left
  ASSERT_TRUE(RunUntil(arrived)) << "status \"" << status() << "\"\n" << again.output();
  ASSERT_TRUE(ConnectWithTheOfficeProfile(page, again.output()));
  EXPECT_EQ(TimesPosted("Authentication failed"), 0u);
  EXPECT_EQ(TimesPosted("Authenticated"), 1u);
  EXPECT_EQ(again.stop(SIGTERM), 0) << again.output();
  ASSERT_TRUE(RunUntil(removed)) << "status \"" << status() << "\"";
}

}  // namespace
