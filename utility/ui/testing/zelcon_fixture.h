#pragma once
// What the utility's window tests start from: the desktop services as fakes (with a manual
// clock and manual timers), a recording adapter-control library that answers as an adapter
// in region 0x10 with the radio on and no link, and a fresh directory for Data.cfg and
// Zelcon.ini.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hosts/adapterctl/testing/recording_adapter_control.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"
#include "platform/win32/ini_file.h"
#include "platform/win32/test_temp_dir.h"
#include "utility/ui/zelcon_app.h"
#include "utility/ui/zelcon_page.h"
#include "utility/ui/zelcon_sheet.h"
#include "zelconStrings.h"

namespace zelcon_test {

// A page that notes what the sheet tells it.
class ProbePage : public CZelconPage {
public:
  ProbePage() : CZelconPage(199, "Probe") {}
  struct Message {
    uint32_t code;
    std::string text;
  };
  std::vector<Message> messages;
  std::vector<int> radioStates;
  int activations = 0;

  intptr_t onAppMessage(uint32_t code, const zfw::AppParam& param) override {
    messages.push_back({code, param.text});
    return 0;
  }
  void OnRadioStateChanged(int radioOn) override { radioStates.push_back(radioOn); }
  bool onSetActive() override {
    ++activations;
    return true;
  }
};

// A profile named and with the SSID `name` that keeps the adapter's radio settings.
inline PROFILE_ENTRY Profile(std::string_view name, uint32_t networkType = 1) {
  PROFILE_ENTRY p{};
  zelcon::SetFieldText(p.name, name);
  zelcon::SetFieldText(p.ssid, name);
  p.networkType = networkType;
  p.keepAdapterDefaults = 1;
  return p;
}

// A hardware id of our adapters, as a device-change notification names it.
inline constexpr const char* kOurHardwareId = "PCI\\VEN_1E4D&DEV_1F00&SUBSYS_00011E4D";

struct ZelconFixture : ::testing::Test {
  zfw::testing::FakePlatform fake;
  zelcon::RecordingAdapterControl lib;
  plat::TestTempDir home;
  std::unique_ptr<CZelconApp> app;

  ZelconFixture() {
    ::setenv("ZELCON_HOME", home.Path().c_str(), 1);
    zfw::StringTable::install(zelconStrings());
    lib.SetDword("QueryRegionCode", 0x10);
    lib.SetDword("QueryRadioControl", 1);
    // The worker stays idle unless a test switches it on (WorkerSwitches).
    WorkerSwitches(0, 0);
  }
  // The two ini switches of the worker, read as the sheet is made.
  void WorkerSwitches(int autoConfiguration, int autoLink) {
    plat::IniFile ini = Ini();
    ini.WriteInt("Advanced", "Auto Configuration", autoConfiguration);
    ini.WriteInt("Advanced", "AutoLink", autoLink);
  }
  ~ZelconFixture() override {
    Stop();
    zfw::testing::processEvents();
    ::unsetenv("ZELCON_HOME");
  }

  // Starts the utility as its program would, on `library` (the recording one unless a test
  // passes another); the sheet, or null when start-up ended it.
  CZelconSheet* Start() { return Start(lib); }
  CZelconSheet* Start(IAdapterControl& library) {
    Stop();
    app = std::make_unique<CZelconApp>(library);
    if (!app->InitInstance()) return nullptr;
    zfw::testing::processEvents();
    if (&library == &lib) WaitForIdleWorkerStart();
    return app->Sheet();
  }
  CZelconSheet& Sheet() { return *app->Sheet(); }
  // With both switches off, the worker's one scan at its start is over before a test goes
  // on (it then waits on the manual clock), so the recorded calls are the test's own.
  void WaitForIdleWorkerStart() {
    CZelconSheet* sheet = app->Sheet();
    if (!sheet || !sheet->Adapter() || sheet->m_autoConfiguration || sheet->m_autoLinkEnabled) return;
    while (!Called("Scan()")) {
      zfw::testing::processEvents();
      std::this_thread::yield();
    }
  }
  // Ends the utility as its program would after the event loop (nothing is saved).
  void Stop() {
    if (app) app->ExitInstance();
    app.reset();
  }

  std::string DataCfg() const { return home.File("Data.cfg"); }
  plat::IniFile Ini() const { return plat::IniFile(home.File("Zelcon.ini")); }
  // The adapter reports an association with `ssid` (a non-zero BSSID).
  void Associated(const std::string& ssid) {
    lib.SetResult("GetConnectStatus", 1);
    lib.SetBytes("QueryBssid", {0, 0x11, 0x22, 0x33, 0x44, 0x55});
    lib.SetText("QuerySsid", ssid);
  }
  bool Called(const std::string& call) const {
    for (const std::string& c : lib.CallTexts()) {
      if (c == call) return true;
    }
    return false;
  }
};

}  // namespace zelcon_test
