#include "utility/ui/zelcon_sheet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <functional>
#include <thread>

#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/cross_thread.h"
#include "platform/gui/desktop/tray_icon.h"
#include "platform/gui/testing/modal_hooks.h"
#include "utility/ui/adapter_notification.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/testing/zelcon_fixture.h"

namespace zelcon_test {
namespace {

using zfw::testing::processEvents;

struct ZelconSheetTest : ZelconFixture {
  std::vector<bool> Tabs(CZelconSheet& sheet) {
    std::vector<bool> enabled;
    for (int i = 0; i < sheet.pageCount(); ++i) enabled.push_back(sheet.tabControl().isTabEnabled(i));
    return enabled;
  }
  std::vector<int> PageIds(CZelconSheet& sheet) {
    std::vector<int> ids;
    for (int i = 0; i < sheet.pageCount(); ++i) ids.push_back(sheet.page(i)->templateId());
    return ids;
  }
};

const std::vector<bool> kAllTabs(7, true);
const std::vector<bool> kRadioOffTabs = {true, true, false, false, false, true, true};

TEST_F(ZelconSheetTest, RadioSwitchesThroughTheCheckBoxTheTrayMenuAndTheHotKey) {
  CZelconSheet& sheet = *Start();
  ASSERT_EQ(Tabs(sheet), kAllTabs);
  struct Road {
    const char* name;
    std::function<void()> use;
  };
  const Road roads[] = {
      {"check box", [&] { EXPECT_TRUE(zfw::testing::click(sheet, IDC_RADIO_OFF)); }},
      {"tray menu",
       [&] {
         zfw::testing::ModalHooks hooks;
         hooks.chooseMenu(ID_TRAY_RADIO);
         fake.tray.mouse(zfw::WM_RBUTTONUP);
       }},
      {"hot key", [&] { EXPECT_TRUE(fake.hotKey.press(ID_TRAY_RADIO)); }},
  };
  for (const Road& road : roads) {
    SCOPED_TRACE(road.name);
    ASSERT_TRUE(sheet.setActivePage(3));
    lib.ClearCalls();
    road.use();
    EXPECT_TRUE(Called("SetRadioControl(0)"));
    EXPECT_EQ(sheet.isChecked(IDC_RADIO_OFF), 1);
    EXPECT_EQ(sheet.TrayMenu().itemText(ID_TRAY_RADIO), "Turn Radio On");
    EXPECT_EQ(fake.tray.tip, "No Connection");
    EXPECT_EQ(sheet.activeIndex(), 0);
    EXPECT_EQ(Tabs(sheet), kRadioOffTabs);
    EXPECT_TRUE(sheet.isVisible());

    lib.ClearCalls();
    road.use();
    EXPECT_TRUE(Called("SetRadioControl(1)"));
    EXPECT_EQ(sheet.isChecked(IDC_RADIO_OFF), 0);
    EXPECT_EQ(sheet.TrayMenu().itemText(ID_TRAY_RADIO), "Turn Radio Off");
    EXPECT_EQ(Tabs(sheet), kAllTabs);
  }
}

TEST_F(ZelconSheetTest, HotKeyDoesNothingWhileTheRadioBoxIsDisabled) {
  lib.SetDword("QueryRadioControl", 2);  // the hardware switch is off
  CZelconSheet& sheet = *Start();
  EXPECT_FALSE(sheet.isItemEnabled(IDC_RADIO_OFF));
  EXPECT_EQ(sheet.m_radio, 0u);
  EXPECT_EQ(sheet.isChecked(IDC_RADIO_OFF), 1);
  lib.ClearCalls();
  EXPECT_TRUE(fake.hotKey.press(ID_TRAY_RADIO));  // consumed, nothing switched
  EXPECT_FALSE(Called("SetRadioControl(1)"));

  // The library reports the switch on and off again.
  zfw::sendAppMessage(sheet, HLVN_EVENT_RADIO_ON);
  EXPECT_TRUE(sheet.isItemEnabled(IDC_RADIO_OFF));
  EXPECT_EQ(Tabs(sheet), kAllTabs);
  zfw::sendAppMessage(sheet, HLVN_EVENT_RADIO_OFF);
  EXPECT_FALSE(sheet.isItemEnabled(IDC_RADIO_OFF));
  EXPECT_EQ(Tabs(sheet), kRadioOffTabs);
}

TEST_F(ZelconSheetTest, DisabledTabsCannotBeChosenAndEveryPageHearsTheRadioState) {
  CZelconSheet& sheet = *Start();
  ProbePage probe;
  sheet.addPage(&probe);
  ASSERT_TRUE(zfw::testing::click(sheet, IDC_RADIO_OFF));
  EXPECT_EQ(probe.radioStates, std::vector<int>{0});
  EXPECT_FALSE(sheet.tabControl().clickTab(3));
  EXPECT_EQ(sheet.activeIndex(), 0);
  ASSERT_TRUE(sheet.setActivePage(1));
  EXPECT_TRUE(sheet.tabControl().pressKey(zfw::TabControl::Key::Right));
  EXPECT_EQ(sheet.activeIndex(), 5);  // Site Survey, Statistics and Advanced are skipped

  ASSERT_TRUE(zfw::testing::click(sheet, IDC_RADIO_OFF));
  EXPECT_EQ(probe.radioStates, (std::vector<int>{0, 1}));
  EXPECT_TRUE(sheet.tabControl().clickTab(3));
  EXPECT_EQ(sheet.activeIndex(), 3);
}

// With no adapter nothing can be switched: the Radio Off box shows no tick and takes no click,
// at start and after the card with its radio off went away; a card that comes gives it back.
TEST_F(ZelconSheetTest, TheRadioOffBoxShowsTheAdaptersStateAndNothingWithoutOne) {
  lib.adapter = nullptr;
  CZelconSheet& sheet = *Start();
  sheet.show();
  EXPECT_EQ(sheet.isChecked(IDC_RADIO_OFF), 0);
  EXPECT_FALSE(sheet.isItemEnabled(IDC_RADIO_OFF));

  lib.adapter = zelcon::RecordingAdapterControl::kHandle;
  fake.devices.plug(kOurHardwareId);
  EXPECT_TRUE(sheet.isItemEnabled(IDC_RADIO_OFF));
  ASSERT_TRUE(zfw::testing::click(sheet, IDC_RADIO_OFF));
  EXPECT_EQ(sheet.isChecked(IDC_RADIO_OFF), 1);

  fake.devices.unplug(kOurHardwareId);
  EXPECT_EQ(sheet.isChecked(IDC_RADIO_OFF), 0);
  EXPECT_FALSE(sheet.isItemEnabled(IDC_RADIO_OFF));
}

TEST_F(ZelconSheetTest, AdapterArrivalAndRemovalFollowTheCardWithTheTray) {
  lib.adapter = nullptr;
  CZelconSheet& sheet = *Start();
  EXPECT_EQ(fake.tray.tip, "Card Unplugged");
  EXPECT_EQ(Tabs(sheet), kRadioOffTabs);  // pages stay disabled until a card arrives

  lib.adapter = zelcon::RecordingAdapterControl::kHandle;
  lib.ClearCalls();
  fake.devices.plug("PCI\\VEN_8086&DEV_4222&SUBSYS_00000000");  // someone else's card
  EXPECT_FALSE(Called("OpenAdapter()"));
  fake.devices.plug(kOurHardwareId);
  EXPECT_TRUE(Called("OpenAdapter()"));
  EXPECT_TRUE(Called("SetGUIMonitorMode(0)"));
  EXPECT_EQ(sheet.Adapter(), zelcon::RecordingAdapterControl::kHandle);
  EXPECT_EQ(fake.tray.tip, "No Connection");
  EXPECT_EQ(Tabs(sheet), kAllTabs);

  Associated("office");
  zfw::sendAppMessage(sheet, HLVN_EVENT_ASSOCIATED);
  EXPECT_EQ(fake.tray.tip, "Connected");
  EXPECT_EQ(fake.tray.iconId, 130);

  lib.ClearCalls();
  fake.devices.unplug(kOurHardwareId);
  EXPECT_TRUE(Called("CloseAdapter()"));
  EXPECT_EQ(sheet.Adapter(), nullptr);
  EXPECT_EQ(fake.tray.tip, "Card Unplugged");
  EXPECT_EQ(sheet.isChecked(IDC_RADIO_OFF), 0);
  EXPECT_TRUE(sheet.m_arrivalHandled);

  // The library's own removal notice closes the session as well.
  fake.devices.plug(kOurHardwareId);
  ASSERT_NE(sheet.Adapter(), nullptr);
  zfw::sendAppMessage(sheet, HLVN_EVENT_ADAPTER_REMOVED);
  EXPECT_EQ(sheet.Adapter(), nullptr);
  EXPECT_EQ(fake.tray.tip, "Card Unplugged");
}

TEST_F(ZelconSheetTest, OpeningTheAdapterWritesTheChannelsOfItsRegion) {
  struct Case {
    uint32_t region, first, last;
  };
  const Case cases[] = {{0x31, 10, 11}, {0x40, 1, 14}, {0x77, 1, 11}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.region);
    std::filesystem::remove(home.File("Zelcon.ini"));
    lib.SetDword("QueryRegionCode", c.region);
    CZelconSheet& sheet = *Start();
    EXPECT_EQ(Ini().ReadInt("Advanced", "FirstChan", 0), static_cast<int>(c.first));
    EXPECT_EQ(Ini().ReadInt("Advanced", "LastChan", 0), static_cast<int>(c.last));
    auto lock = sheet.LockState();
    EXPECT_EQ(sheet.Link().firstChannel, c.first);
    EXPECT_EQ(sheet.Link().lastChannel, c.last);
  }
  EXPECT_EQ(Ini().ReadString("Advanced", "FirstChan"), "1");
}

TEST_F(ZelconSheetTest, SettingsChooseThePageSet) {
  std::remove(Ini().Path().c_str());  // every setting at its default
  EXPECT_EQ(PageIds(*Start()), (std::vector<int>{101, 102, 103, 104, 115, 114, 105}));
  plat::IniFile ini = Ini();
  ini.WriteInt("Debug", "Statistics", 1);
  ini.WriteInt("Debug", "DebugWin", 1);
  ini.WriteInt("Debug", "TestPage", 1);
  ini.WriteInt("Advanced", "AutoLink", 0);
  CZelconSheet& sheet = *Start();
  EXPECT_EQ(PageIds(sheet), (std::vector<int>{101, 102, 103, 124, 115, 114, 113, 123, 105}));
  EXPECT_EQ(sheet.m_autoLinkEnabled, 0);
  EXPECT_EQ(sheet.m_autoConfiguration, 1);
}

TEST_F(ZelconSheetTest, NotificationsChangeTheSheetAndReachThePageOnShow) {
  CZelconSheet& sheet = *Start();
  ProbePage probe;
  sheet.addPage(&probe);
  ASSERT_TRUE(sheet.setActivePage(&probe));
  struct Case {
    uint32_t code;
    bool associated;
    bool forwarded;
    const char* tray;
  };
  const Case cases[] = {
      {HLVN_EVENT_CONNECT_FAILED, false, true, "No Connection"},
      {HLVN_EVENT_ASSOCIATED, true, true, "Connected"},
      {HLVN_EVENT_IBSS_FAILED, false, true, "No Connection"},
      {HLVN_EVENT_IBSS_CONNECTED, true, true, "Connected"},
      {HLVN_EVENT_DISCONNECTED, true, false, "Connected"},  // still associated: dropped
      {HLVN_EVENT_DISCONNECTED, false, true, "No Connection"},
      {HLVN_EVENT_SECURITY_OID, false, true, nullptr},
      {HLVN_EVENT_SCAN_COMPLETE, false, true, nullptr},
      {HLVN_EVENT_SWIFTBOND_STEP + 2, false, true, nullptr},
      {APPMSG_PROFILES_CHANGED, false, true, nullptr},
      {APPMSG_STATUS_TEXT, false, true, nullptr},
      {APPMSG_REFRESH_STATUS, false, true, nullptr},
      {ZELCON_NOTIFY_CONNECTION_TEXT, false, true, nullptr},
      {APPMSG_SECOND_INSTANCE, false, false, nullptr},
      {APPMSG_RUN_AUTO_LINK, false, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    if (c.associated) {
      Associated("office");
    } else {
      lib.SetResult("GetConnectStatus", 0);
      lib.SetBytes("QueryBssid", {0, 0, 0, 0, 0, 0});
    }
    probe.messages.clear();
    zfw::sendAppMessage(sheet, c.code, zfw::AppParam{7, "text"});
    EXPECT_EQ(probe.messages.size(), c.forwarded ? 1u : 0u);
    if (c.forwarded && !probe.messages.empty()) {
      EXPECT_EQ(probe.messages[0].text, "text");
    }
    if (c.tray) {
      EXPECT_EQ(fake.tray.tip, c.tray);
    }
    EXPECT_EQ(sheet.activePage(), &probe);
  }

  // Busy closing or connecting: a disconnection is not shown.
  sheet.m_busy = 1;
  probe.messages.clear();
  zfw::sendAppMessage(sheet, HLVN_EVENT_DISCONNECTED);
  EXPECT_TRUE(probe.messages.empty());
  sheet.m_busy = 0;

  // Minimised: the sheet follows, the page does not hear it.
  zfw::testing::minimizeWindow(sheet);
  processEvents();
  Associated("office");
  zfw::sendAppMessage(sheet, HLVN_EVENT_ASSOCIATED);
  EXPECT_TRUE(probe.messages.empty());
  EXPECT_EQ(fake.tray.tip, "Connected");
  EXPECT_FALSE(sheet.isVisible());  // minimising hides to the tray
}

TEST_F(ZelconSheetTest, LibraryNotificationsArriveFromItsThreadAndStopWithTheWindow) {
  CZelconSheet* sheet = Start();
  ASSERT_EQ(lib.Calls().front().text, "Initialize()");
  void* target = lib.Calls().front().handle;
  EXPECT_EQ(target, sheet->handle());
  std::thread([&] { PostAdapterNotification(target, HLVN_EVENT_RADIO_OFF, 0, nullptr); }).join();
  processEvents();
  EXPECT_FALSE(sheet->isItemEnabled(IDC_RADIO_OFF));

  app.reset();  // the sheet is gone: later notifications go nowhere
  std::thread([&] { PostAdapterNotification(target, HLVN_EVENT_RADIO_ON, 0, "x"); }).join();
  processEvents();
}

TEST_F(ZelconSheetTest, TheTrayIconIsAddedAfreshOnceATrayExists) {
  fake.tray.available = false;  // no tray (as offscreen)
  CZelconSheet& sheet = *Start();
  EXPECT_EQ(sheet.TrayIcon().shownIcon(), 0);
  fake.tray.available = true;
  sheet.SetTrayState(2);
  ASSERT_FALSE(fake.tray.calls.empty());
  EXPECT_EQ(fake.tray.calls.back().action, zfw::ITrayIcon::Action::Add);
  EXPECT_EQ(fake.tray.tip, "No Connection");
  sheet.SetTrayState(3);  // the scanning balloon keeps the tip
  EXPECT_EQ(fake.tray.calls.back().action, zfw::ITrayIcon::Action::Modify);
  EXPECT_EQ(fake.tray.tip, "No Connection");
  EXPECT_EQ(fake.tray.balloon, "Auto Configuration:  Scanning in progress...");
  const size_t calls = fake.tray.calls.size();
  sheet.SetTrayState(7);  // no such state
  EXPECT_EQ(fake.tray.calls.size(), calls);

  // From the worker's thread the state is handed to the GUI thread, which shows it.
  std::thread([&] { sheet.SetTrayState(1); }).join();
  EXPECT_EQ(fake.tray.calls.size(), calls);
  processEvents();
  EXPECT_EQ(fake.tray.tip, "Connected");
}

TEST_F(ZelconSheetTest, HidingRestoringAndTheTrayDoubleClick) {
  CZelconSheet& sheet = *Start();
  ASSERT_TRUE(sheet.setActivePage(2));
  EXPECT_TRUE(zfw::testing::click(sheet, zfw::IDOK));
  EXPECT_FALSE(sheet.isVisible());
  fake.tray.mouse(zfw::WM_LBUTTONDBLCLK);
  EXPECT_TRUE(sheet.isVisible());
  EXPECT_EQ(sheet.activeIndex(), 2);
  EXPECT_TRUE(zfw::testing::click(sheet, zfw::IDCANCEL));
  EXPECT_FALSE(sheet.isVisible());
  {
    zfw::testing::ModalHooks hooks;
    hooks.chooseMenu(ID_TRAY_RESTORE);
    fake.tray.mouse(zfw::WM_RBUTTONUP);
  }
  EXPECT_TRUE(sheet.isVisible());
  sheet.m_autoLinkRunning = 1;  // the Auto Link dialog stands in the sheet's place
  zfw::testing::clickCloseBox(sheet);
  sheet.RestoreFromTray();
  EXPECT_FALSE(sheet.isVisible());
}

// A worker that insists on a synchronous call to the GUI thread: closing must serve it.
class InsistentWorkerSheet : public CZelconSheet {
public:
  using CZelconSheet::CZelconSheet;
  zfw::Event sending{zfw::Event::Reset::Manual};
  std::atomic<int> served{0};

protected:
  void AutoConnectThreadProc() override {
    zfw::Event never;
    sending.set();
    // The first call goes out whatever the stop event says: the close must serve it.
    do {
      zfw::guiSend(ref(), APPMSG_REFRESH_STATUS, zfw::AppParam{}, never);
      ++served;
    } while (!StopEvent().isSet());
    Library().Scan(Adapter());  // the worker's last use of the adapter
  }
};

TEST_F(ZelconSheetTest, ClosingWaitsForTheWorkerWhileServingItsCallsAndOnlyThenClosesTheAdapter) {
  CZelconApp zelcon(lib);
  zelcon.m_iniPath = home.File("Zelcon.ini");
  zelcon.m_profilePath = DataCfg();
  InsistentWorkerSheet sheet(zelcon, IDS_CAPTION);
  sheet.create();
  ASSERT_TRUE(sheet.sending.wait());
  lib.ClearCalls();
  EXPECT_EQ(sheet.OpenAdapterSession(0), 1);
  EXPECT_GE(sheet.served.load(), 1);
  const std::vector<std::string> calls = lib.CallTexts();
  const auto scan = std::find(calls.begin(), calls.end(), "Scan()");
  const auto close = std::find(calls.begin(), calls.end(), "CloseAdapter()");
  ASSERT_NE(scan, calls.end());
  ASSERT_NE(close, calls.end());
  EXPECT_LT(scan, close);
  EXPECT_EQ(sheet.OpenAdapterSession(0), 0);  // nothing open any more
}

TEST_F(ZelconSheetTest, ZeroConfigurationOwningTheAdapterShowsFourPages) {
  fake.osInfo = zfw::OsInfo(zfw::OsInfo::emulated("xp"));
  lib.SetText("QueryRegistryPath", "Class\\0000");
  lib.SetText("QueryRegistry", "{GUID}");
  lib.SetDword("QueryRegistryDword", 0x0001);
  CZelconSheet& sheet = *Start();
  EXPECT_EQ(sheet.pageCount(), 7);
  EXPECT_EQ(fake.timers.period(sheet, CZelconSheet::kZeroConfigTimer), 2000u);

  lib.SetDword("QueryRegistryDword", 0x8001);
  lib.ClearCalls();
  fake.timers.advance(2000);
  EXPECT_EQ(PageIds(sheet), (std::vector<int>{101, 104, 105, 130}));
  EXPECT_TRUE(Called("SetGUIMonitorMode(1)"));
  EXPECT_FALSE(sheet.isItemEnabled(IDC_RADIO_OFF));
  EXPECT_TRUE(fake.hotKey.press(ID_TRAY_RADIO));
  EXPECT_FALSE(Called("SetRadioControl(0)"));
  zfw::sendAppMessage(sheet, HLVN_EVENT_RADIO_OFF);  // the page set stays
  EXPECT_EQ(sheet.pageCount(), 4);

  lib.SetDword("QueryRegistryDword", 0x0001);
  fake.timers.advance(2000);
  EXPECT_EQ(sheet.pageCount(), 7);
  EXPECT_TRUE(Called("SetGUIMonitorMode(0)"));
  EXPECT_TRUE(sheet.isItemEnabled(IDC_RADIO_OFF));
}

TEST_F(ZelconSheetTest, Screenshot) {
  Associated("Office");
  lib.SetDword("QueryChannel", 6);
  CZelconSheet& sheet = *Start();
  processEvents();
  EXPECT_FALSE(zfw::testing::saveScreenshot(sheet, "zelcon_main_sheet").empty());
  ASSERT_TRUE(sheet.setActivePage(5));
  EXPECT_FALSE(zfw::testing::saveScreenshot(sheet, "zelcon_admin_page").empty());
}

}  // namespace
}  // namespace zelcon_test
