// The utility's window on the adapter a running zelnicd serves over its control device (the
// library's real backend, no ZELCON_ADAPTER): the main sheet shows the adapter, and after a
// scan of the demo world the site survey lists its three access points.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hosts/adapterctl/device/device_adapter.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/list_view.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"
#include "platform/win32/ini_file.h"
#include "platform/win32/test_temp_dir.h"
#include "utility/ui/adapter_notification.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/main_page.h"
#include "utility/ui/site_survey.h"
#include "utility/ui/zelcon_app.h"
#include "utility/ui/zelcon_page.h"
#include "utility/ui/zelcon_sheet.h"
#include "zelconStrings.h"

namespace {

// A page that notes which notifications the sheet passed on.
class ScanProbe : public CZelconPage {
public:
  ScanProbe() : CZelconPage(199, "Probe") {}
  bool scanned = false;
  intptr_t onAppMessage(uint32_t code, const zfw::AppParam&) override {
    if (code == HLVN_EVENT_SCAN_COMPLETE) scanned = true;
    return 0;
  }
};

struct ZelconOnZelnicd : ::testing::Test {
  zelnicd::testing::ZelnicdProcess zelnicd{{"--world", ZELNICD_WORLDS_DIR "/office.world"}};
  zfw::testing::FakePlatform fake;
  plat::TestTempDir home;
  zelcon::Notifier notifier;
  std::unique_ptr<zelcon::DeviceAdapter> library;
  std::unique_ptr<CZelconApp> app;

  void SetUp() override {
    ASSERT_TRUE(zelnicd.waitForDevice()) << zelnicd.output();
    ::setenv("ZELCON_HOME", home.Path().c_str(), 1);
    zfw::StringTable::install(zelconStrings());
    // The worker scans once at its start and then waits (no automatic joining).
    plat::IniFile ini(home.File("Zelcon.ini"));
    ini.WriteInt("Advanced", "Auto Configuration", 0);
    ini.WriteInt("Advanced", "AutoLink", 0);
    notifier.SetPoster(&PostAdapterNotification);
    library = std::make_unique<zelcon::DeviceAdapter>(notifier, plat::RegistryStore(zelnicd.registryRoot()),
                                                      zelnicd.devicePath());
  }
  void TearDown() override {
    if (app) app->ExitInstance();
    app.reset();
    zfw::testing::processEvents();
    library.reset();
    ::unsetenv("ZELCON_HOME");
  }
  // Runs the window's events until `done` holds, at most 20 seconds.
  template <class Done>
  bool RunUntil(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < end) {
      zfw::testing::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
  }
};

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

}  // namespace
