#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hosts/adapterctl/notifier.h"
#include "hosts/adapterctl/sim/sim_adapter.h"
#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/testing/modal_hooks.h"
#include "utility/core/profile_entry.h"
#include "utility/ui/adapter_notification.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/auto_link_dlg.h"
#include "utility/ui/main_page.h"
#include "utility/ui/testing/zelcon_fixture.h"

namespace zelcon_test {
namespace {

using zfw::testing::processEvents;

PROFILE_ENTRY Preferred(std::string_view name, uint32_t prefer = 1, uint32_t networkType = 1) {
  PROFILE_ENTRY p{};
  zelcon::SetFieldText(p.name, name);
  zelcon::SetFieldText(p.ssid, name);
  p.networkType = networkType;
  p.keepAdapterDefaults = 1;
  p.prefer = prefer;
  return p;
}

struct ZelconWorker : ZelconFixture {
  void SetProfiles(CZelconSheet& sheet, const std::vector<PROFILE_ENTRY>& records) {
    auto lock = sheet.LockState();
    while (sheet.Profiles().Size()) sheet.Profiles().Remove(sheet.Profiles().IdAt(0));
    for (const PROFILE_ENTRY& r : records) sheet.Profiles().Append(r);
  }
  std::vector<std::string> SsidsTried() const {
    std::vector<std::string> tried;
    for (const std::string& c : lib.CallTexts()) {
      if (c.rfind("SetSsid(", 0) == 0) tried.push_back(c);
    }
    return tried;
  }
  int Count(const std::string& call) const {
    const std::vector<std::string> calls = lib.CallTexts();
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
  }
  // Moves the manual clock on in small steps, serving the worker, until `done` holds; the
  // milliseconds it took (the test fails rather than hangs when it never holds).
  template <class Done>
  uint64_t RunWorkerUntil(Done done) {
    const uint64_t start = zfw::clock().tickCount();
    for (int step = 0; step < 100000 && !done(); ++step) {
      fake.clock.advance(50);
      processEvents();
      std::this_thread::yield();
    }
    EXPECT_TRUE(done());
    return zfw::clock().tickCount() - start;
  }
};

TEST_F(ZelconWorker, ThePreferListPassTriesPreferredProfilesInOrderUntilOneIsAccepted) {
  CZelconSheet& sheet = *Start();
  struct Case {
    const char* name;
    std::vector<int> setSsidResults;
    std::vector<std::string> tried;
  };
  const Case cases[] = {
      {"a failure goes on to the next", {1, 0},
       {"SetSsid(\"alpha\", 5, 0)", "SetSsid(\"gamma\", 5, 0)"}},
      {"accepted at once", {0}, {"SetSsid(\"alpha\", 5, 0)"}},
      {"all fail", {1, 1}, {"SetSsid(\"alpha\", 5, 0)", "SetSsid(\"gamma\", 5, 0)"}},
      // 4 on a network that is not the profile's: go on.
      {"already on another network", {4, 0},
       {"SetSsid(\"alpha\", 5, 0)", "SetSsid(\"gamma\", 5, 0)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetProfiles(sheet, {Preferred("alpha"), Preferred("beta", 0), Preferred("gamma")});
    lib.QueueResults("SetSsid", c.setSsidResults);
    lib.ClearCalls();
    EXPECT_EQ(sheet.TryPreferredProfiles(), 1);
    EXPECT_EQ(SsidsTried(), c.tried);
    const std::vector<std::string> calls = lib.CallTexts();
    ASSERT_GE(calls.size(), 3u);  // the pass scans first, in the adapter's mode
    EXPECT_EQ(calls[1], "SetNetworkMode(0)");
    EXPECT_EQ(calls[2], "Scan()");
  }
}

TEST_F(ZelconWorker, AnAlreadyJoinedPreferredNetworkEndsThePass) {
  CZelconSheet& sheet = *Start();
  SetProfiles(sheet, {Preferred("alpha"), Preferred("gamma")});
  Associated("alpha");
  lib.SetDword("QueryNetworkMode", 1);
  lib.QueueResults("SetSsid", {4});
  lib.ClearCalls();
  EXPECT_EQ(sheet.TryPreferredProfiles(), 1);
  EXPECT_EQ(SsidsTried(), std::vector<std::string>{"SetSsid(\"alpha\", 5, 0)"});
}

TEST_F(ZelconWorker, NoAdapterOrNoRadioTriesNothing) {
  CZelconSheet& sheet = *Start();
  SetProfiles(sheet, {Preferred("alpha")});
  sheet.m_radio = 0;
  lib.ClearCalls();
  EXPECT_EQ(sheet.TryPreferredProfiles(), 1);
  EXPECT_TRUE(SsidsTried().empty());
  EXPECT_TRUE(Called("Scan()"));

  sheet.m_radio = 1;
  sheet.OpenAdapterSession(0);
  lib.ClearCalls();
  EXPECT_EQ(sheet.TryPreferredProfiles(), 0);
  EXPECT_TRUE(lib.CallTexts().empty());
}

TEST_F(ZelconWorker, EveryFiveSecondsWithoutALinkTheWorkerRunsAutoConfiguration) {
  lib.SetText("QueryProfileInUse", "");
  WorkerSwitches(1, 0);
  PROFILE_ENTRY alpha = Preferred("alpha");
  {
    zelcon::ProfileList list;
    list.Append(alpha);
    ASSERT_TRUE(zelcon::SaveProfiles(list, DataCfg()));
  }
  lib.SetResult("SetSsid", 1);  // never joins
  CZelconSheet& sheet = *Start();
  RunWorkerUntil([&] { return Count("SetSsid(\"alpha\", 5, 0)") >= 1; });
  const uint64_t between = RunWorkerUntil([&] { return Count("SetSsid(\"alpha\", 5, 0)") >= 2; });
  EXPECT_GE(between, 4500u);  // a cycle of 5 s (less the half second the pass may pause)
  EXPECT_EQ(fake.tray.tip, "No Connection");

  // Linked: the cycles leave the adapter alone.
  Associated("alpha");
  sheet.QueryLinkStatus(1);
  RunWorkerUntil([&] { return fake.tray.tip == "Connected"; });
  const int tries = Count("SetSsid(\"alpha\", 5, 0)");
  fake.clock.advance(20000);
  processEvents();
  EXPECT_LE(Count("SetSsid(\"alpha\", 5, 0)"), tries + 1);  // at most the cycle under way
  sheet.OpenAdapterSession(0);  // the worker ends promptly
  EXPECT_FALSE(sheet.Adapter());
}

TEST_F(ZelconWorker, TheAutoLinkRoundTripFindsNothingAndTheWorkerGoesOn) {
  WorkerSwitches(0, 1);
  CZelconSheet& sheet = *Start();
  // No Auto Link access point: the worker rescans itself each cycle and asks the GUI thread.
  RunWorkerUntil([&] { return Count("Scan()") >= 2; });
  EXPECT_EQ(sheet.m_autoLinkCommand.load(), AUTOLINK_NOTHING);
  EXPECT_EQ(sheet.m_autoLinkRunning.load(), 0);
}

TEST_F(ZelconWorker, AnAutoLinkProfileReplacesEveryProfileOfItsNetworkAtTheHead) {
  CZelconSheet& sheet = *Start();
  SetProfiles(sheet, {Preferred("home"), Preferred("office"), Preferred("office", 1, 0),
                      Preferred("office")});
  {
    auto lock = sheet.LockState();
    zelcon::SetFieldText(sheet.Profiles().At(3).name, "office2");
  }
  PROFILE_ENTRY made = Preferred("office");
  zelcon::SetFieldText(made.name, "AutoLink");
  sheet.PlaceAutoLinkProfile(made, 1);
  auto lock = sheet.LockState();
  std::vector<std::string> names;
  for (size_t i = 0; i < sheet.Profiles().Size(); ++i)
    names.emplace_back(zelcon::FieldText(sheet.Profiles().At(i).name));
  EXPECT_EQ(names, (std::vector<std::string>{"AutoLink", "home", "office"}));
  EXPECT_EQ(sheet.CurrentProfile(), sheet.Profiles().IdAt(0));
  EXPECT_TRUE(Called("SetProfileInUse(\"AutoLink\", 8)"));
}

// The utility on the simulated office (hosts/adapterctl/sim/office.scenario), its
// notifications delivered as the program delivers them; the worker runs both passes.
struct ZelconOnTheOfficeScenario : ZelconWorker {
  zelcon::Notifier notifier;
  plat::TestTempDir registry;
  std::unique_ptr<zelcon::SimAdapter> office;

  ZelconOnTheOfficeScenario() {
    notifier.SetPoster(&PostAdapterNotification);
    zelcon::SimScenarioResult loaded =
        zelcon::LoadSimScenario(std::string(ZL_SOURCE_DIR) + "/hosts/adapterctl/sim/office.scenario");
    EXPECT_TRUE(loaded.scenario) << loaded.error;
    if (loaded.scenario)
      office = std::make_unique<zelcon::SimAdapter>(std::move(*loaded.scenario), notifier,
                                                    plat::RegistryStore(registry.Path()));
    WorkerSwitches(1, 1);
  }
  ~ZelconOnTheOfficeScenario() override { Stop(); }  // before the adapter goes
  // Runs the window's events in real time (the scenario's association takes 800 ms) until
  // `done` holds, at most 5 seconds.
  template <class Done>
  bool RunRealTimeUntil(Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < end) {
      processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
  }
};

// In one cycle Auto Configuration joins the strongest open network ("Setup", which also
// offers Auto Link) and the worker opens the Auto Link dialog, which gets the association's
// notice. After Exit the page shows the connection, and the worker leaves the adapter (and
// the user) alone: the dialog does not come back.
TEST_F(ZelconOnTheOfficeScenario, ExitFromAutoLinkAfterAutoConfigurationJoinedShowsTheConnection) {
  ASSERT_TRUE(office);
  zfw::testing::ModalHooks hooks;
  hooks.expect<CAutoLinkDlg>(CAutoLinkDlg::IDD, [&](CAutoLinkDlg& d) {
    // The join under way completes while the dialog is open.
    RunRealTimeUntil([&] { return office->GetConnectStatus(Sheet().Adapter()) != 0; });
    RunRealTimeUntil([&] {
      auto lock = Sheet().LockState();
      return Sheet().Link().connected != 0;
    });
    ASSERT_TRUE(zfw::testing::click(d, zfw::IDCANCEL));  // "E&xit"
  });
  CZelconSheet& sheet = *Start(*office);
  RunWorkerUntil([&] { return hooks.opened().size() == 1 && sheet.m_autoLinkRunning == 0; });
  EXPECT_EQ(sheet.MainPage()->itemText(CMainPage::IDC_STATUS), "Connected");
  EXPECT_EQ(sheet.MainPage()->itemText(CMainPage::IDC_SSID), "Setup");
  EXPECT_EQ(fake.tray.tip, "Connected");
  // Five cycles later: no dialog again (a modal window without a hook fails the test).
  for (int step = 0; step < 500; ++step) {
    fake.clock.advance(50);
    processEvents();
    std::this_thread::yield();
  }
  EXPECT_EQ(hooks.opened().size(), 1u);
  EXPECT_EQ(fake.tray.tip, "Connected");
  sheet.OpenAdapterSession(0);  // the worker ends
}

}  // namespace
}  // namespace zelcon_test
