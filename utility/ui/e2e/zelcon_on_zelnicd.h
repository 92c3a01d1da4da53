#pragma once
// The utility's windows on the adapter a running zelnicd serves over its control device (the
// library's real backend, no ZELCON_ADAPTER), offscreen, with the fake desktop and its manual
// clock; the worker starts idle unless a test turns its switches on.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hosts/adapterctl/device/device_adapter.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "hosts/zelnicd/e2e/zelnicd_process.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"
#include "platform/win32/ini_file.h"
#include "platform/win32/test_temp_dir.h"
#include "utility/ui/adapter_notification.h"
#include "utility/ui/main_page.h"
#include "utility/ui/zelcon_app.h"
#include "utility/ui/zelcon_page.h"
#include "utility/ui/zelcon_sheet.h"
#include "zelconStrings.h"

// A page that notes whether the sheet passed on a scan's end.
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
  explicit ZelconOnZelnicd(std::vector<std::string> arguments = {"--world", ZELNICD_WORLDS_DIR "/office.world"})
      : zelnicd(std::move(arguments)) {}
  zelnicd::testing::ZelnicdProcess zelnicd;
  zfw::testing::FakePlatform fake;
  plat::TestTempDir home;
  zelcon::Notifier notifier;
  std::unique_ptr<zelcon::DeviceAdapter> library;
  std::unique_ptr<CZelconApp> app;

  void SetUp() override {
    ASSERT_TRUE(zelnicd.waitForDevice()) << zelnicd.output();
    ::setenv("ZELCON_HOME", home.Path().c_str(), 1);
    ::setenv("ZELCON_PENTREL_LIBRARY", PENTREL_LIBRARY, 1);
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
    ::unsetenv("ZELCON_PENTREL_LIBRARY");
  }
  // Starts the utility and shows its main page.
  CMainPage& StartOnTheMainPage() {
    app = std::make_unique<CZelconApp>(*library);
    EXPECT_TRUE(app->InitInstance());
    CMainPage& page = *app->Sheet()->MainPage();
    EXPECT_TRUE(app->Sheet()->setActivePage(&page));
    zfw::testing::processEvents();
    return page;
  }
  // Runs the window's events until `done` holds, at most `limit`.
  template <class Done>
  bool RunUntil(Done done, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < end) {
      zfw::testing::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
  }
};
