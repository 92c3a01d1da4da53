#include "utility/ui/zelcon_sheet.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/base/clock.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/cross_thread.h"
#include "platform/gui/desktop/device_watcher.h"
#include "platform/gui/desktop/tray_icon.h"
#include "platform/gui/icons.h"
#include "platform/gui/message_box.h"
#include "platform/gui/platform.h"
#include "utility/core/adapter_hardware_id.h"
#include "utility/core/profile_connect.h"
#include "utility/core/profile_store.h"
#include "utility/core/region_channels.h"
#include "utility/core/zero_config_flag.h"
#include "utility/ui/about_page.h"
#include "utility/ui/admin_tool.h"
#include "utility/ui/advanced_page.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/auto_link_dlg.h"
#include "utility/ui/debug_stats_page.h"
#include "utility/ui/debug_win.h"
#include "utility/ui/main_page.h"
#include "utility/ui/profile_manager.h"
#include "utility/ui/readme_page.h"
#include "utility/ui/site_survey.h"
#include "utility/ui/statistics.h"
#include "utility/ui/test_page.h"
#include "utility/ui/zelcon_app.h"

namespace {

enum : int {
  IDS_OK = 61240,
  IDS_CANCEL = 61241,
  IDS_CARD_UNPLUGGED = 61252,
  IDS_CONNECTED = 61253,
  IDS_NO_CONNECTION = 61254,
  IDS_SCANNING = 61255,
  IDS_TURN_RADIO_OFF = 61257,
  IDS_TURN_RADIO_ON = 61258,
  IDS_RADIO_OFF_BOX = 61259,
};
enum : int { IDI_SHEET = 128, IDI_CONNECTED = 130, IDI_NO_CONNECTION = 132, IDI_UNPLUGGED = 146 };

// What of the profile list is saved when it moves: the order and the prefer marks.
std::vector<std::pair<zelcon::ProfileId, uint32_t>> ListShape(const zelcon::ProfileList& list) {
  std::vector<std::pair<zelcon::ProfileId, uint32_t>> shape;
  for (size_t i = 0; i < list.Size(); ++i) shape.emplace_back(list.IdAt(i), list.At(i).prefer);
  return shape;
}

}  // namespace

// The lock is held only while the list or the link status is read or written: never across
// an adapter call, a send to the GUI thread or a message box.
template <class Change>
auto CZelconSheet::ChangeProfiles(Change change) {
  std::vector<std::pair<zelcon::ProfileId, uint32_t>> before;
  {
    auto lock = LockState();
    before = ListShape(m_profiles);
  }
  zelcon::ConnectContext ctx{m_lib, m_adapter.load(), m_radio.load(), m_profiles, m_link,
                             [this](zelcon::TrayState tray) { SetTrayState(tray); }, &m_stateMutex};
  auto result = change(ctx);
  bool moved;
  {
    auto lock = LockState();
    moved = ListShape(m_profiles) != before;
  }
  if (moved) SaveProfiles();
  return result;
}

CZelconSheet::CZelconSheet(CZelconApp& app, int captionId)
    : zfw::PropertySheet(captionId), m_app(app), m_lib(app.Library()) {
  m_autoConfiguration = app.ReadIniInt("Advanced", "Auto Configuration", 1);
  m_autoLinkEnabled = app.ReadIniInt("Advanced", "AutoLink", 1);
  m_trace = app.ReadIniInt("Debug", "Trace", 0);
  m_refreshRatePs = app.ReadIniInt("Debug", "RefreshRatePS", 0);
  m_link.firstChannel = static_cast<uint32_t>(app.ReadIniInt("Advanced", "FirstChan", 1));
  m_link.lastChannel = static_cast<uint32_t>(app.ReadIniInt("Advanced", "LastChan", 11));
  zfw::registerIconFile(IDI_SHEET, "Quarro.ico");  // from the current directory
  m_trayMenu.appendItem(ID_TRAY_RESTORE, "&Restore");
  m_trayMenu.appendItem(ID_TRAY_RADIO, "&Turn Radio Off");
  m_trayMenu.appendItem(ID_TRAY_EXIT, "E&xit");
  CreatePages();
  m_profileFileState = zelcon::LoadProfiles(m_profiles, app.m_profilePath);
  if (m_profileFileState == zelcon::ProfileFileState::kUnreadable)
    TellProfileFileProblem("The profile file " + app.m_profilePath +
                           " could not be read. Profile changes will not be saved to it.");
}

CZelconSheet::~CZelconSheet() {
  StopWorker();
  if (void* adapter = m_adapter.exchange(nullptr)) m_lib.CloseAdapter(adapter);
  if (zfw::hasPlatform()) m_trayIcon.SetIcon(0);
  destroyWindow();
  // The pages go before the sheet; none of them may be shown in another's place meanwhile.
  while (pageCount() > 0) removePage(0);
}

void CZelconSheet::CreatePages() {
  m_mainPage = std::make_unique<CMainPage>();
  m_profileManager = std::make_unique<CProfileManager>();
  m_siteSurvey = std::make_unique<CSiteSurvey>();
  if (m_app.ReadIniInt("Debug", "Statistics", 0)) {
    m_statistics = std::make_unique<CDebugStatsPage>();
  } else {
    m_statistics = std::make_unique<CStatistics>();
  }
  m_advancedPage = std::make_unique<CAdvancedPage>();
  m_adminTool = std::make_unique<CAdminTool>();
  if (m_app.ReadIniInt("Debug", "DebugWin", 0)) m_debugWin = std::make_unique<CDebugWin>();
  if (m_app.ReadIniInt("Debug", "TestPage", 0)) m_testPage = std::make_unique<CTestPage>();
  m_aboutPage = std::make_unique<CAboutPage>();
  m_readmePage = std::make_unique<CReadmePage>();  // made, shown only under Zero Configuration
  ShowPageSet(false);
}

void CZelconSheet::ShowPageSet(bool zeroConfigOwns) {
  while (pageCount() > 0) removePage(0);
  std::vector<zfw::PropertyPage*> pages;
  if (zeroConfigOwns) {
    pages = {m_mainPage.get(), m_statistics.get(), m_aboutPage.get(), m_readmePage.get()};
  } else {
    pages = {m_mainPage.get(),   m_profileManager.get(), m_siteSurvey.get(),
             m_statistics.get(), m_advancedPage.get(),   m_adminTool.get(),
             m_debugWin.get(),   m_testPage.get(),       m_aboutPage.get()};
  }
  for (zfw::PropertyPage* page : pages) {
    if (page) addPage(page);
  }
  if (isCreated()) ShowFirstPage();
}

// --- the window -----------------------------------------------------------------------------

bool CZelconSheet::OnInitDialog() {
  zfw::PropertySheet::onInitDialog();
  setIcon(IDI_SHEET);
  // The sheet's own buttons and the radio switch along a strip 40 pixels high at the bottom.
  setFooterHeight(40);
  addFooterButton(zfw::IDOK, zfw::loadString(IDS_OK), Edge::Right, 220, 35, 90, 25);
  addFooterButton(zfw::IDCANCEL, zfw::loadString(IDS_CANCEL), Edge::Right, 110, 35, 90, 25, true);
  addFooterCheck(IDC_RADIO_OFF, zfw::loadString(IDS_RADIO_OFF_BOX), Edge::Left, 20, 35, 180, 15);

  m_trayIcon.Create(*this, [this](uint32_t mouseMessage) { OnTrayNotify(mouseMessage); });
  m_stopEvent.reset();
  m_commandEvent.reset();
  m_lib.Initialize(handle());
  m_tabCtrl.Attach(*this);

  EnablePages(0);
  OpenAdapterSession(1);
  if (void* adapter = m_adapter.load()) m_lib.SetGUIMonitorMode(adapter, 0);
  if (m_app.m_osVersion == kOsXp) {
    m_zeroConfigTimer = setTimer(kZeroConfigTimer, 2000);
    PollZeroConfig();
  }
  return true;
}

void CZelconSheet::onDestroy() {
  m_zeroConfigTimer = 0;
  zfw::PropertySheet::onDestroy();
}

void CZelconSheet::ReselectCurrentPage() {
  if (activeIndex() >= 0) setActivePage(activeIndex());
}

void CZelconSheet::ShowFirstPage() { setActivePage(0); }

// The shell took the icon: there is a tray to live in.
bool CZelconSheet::HasTray() const { return m_trayIcon.shownIcon() != 0; }

// Without a tray a hidden sheet could not be brought back: it is minimised instead.
void CZelconSheet::HideToTray() {
  if (HasTray()) {
    hide();
  } else {
    minimize();
  }
}

void CZelconSheet::onClose() {
  if (HasTray()) {
    hide();  // the utility stays in the tray
  } else {
    OnTrayExit();  // nothing else could end it: the close box saves and ends
  }
}

void CZelconSheet::onMinimize() {
  if (HasTray()) hide();
}

bool CZelconSheet::onCommand(int id, int code) {
  if (code == zfw::BN_CLICKED) {
    switch (id) {
      case zfw::IDOK:
        OnHideOk();
        return true;
      case zfw::IDCANCEL:
        pressButton(zfw::PSBTN_CANCEL);  // each page drops its changes
        HideToTray();
        return true;
      case IDC_RADIO_OFF:
      case ID_TRAY_RADIO:
        ToggleRadio();
        return true;
      case ID_TRAY_RESTORE:
        RestoreFromTray();
        return true;
      case ID_TRAY_EXIT:
        OnTrayExit();
        return true;
    }
  }
  return zfw::PropertySheet::onCommand(id, code);
}

void CZelconSheet::onTimer(int id) {
  if (id == kZeroConfigTimer) PollZeroConfig();
}

void CZelconSheet::OnHideOk() {
  if (activePage() == m_profileManager.get() && !m_profileManager->OnSaveProfile()) return;
  pressButton(zfw::PSBTN_OK);  // each page applies
  HideToTray();
}

void CZelconSheet::RestoreFromTray() {
  if (m_autoLinkRunning) return;
  ReselectCurrentPage();
  if (activePage() == m_profileManager.get()) m_profileManager->RefreshWizardPage();
  if (!m_adapter.load()) ShowFirstPage();
  restore();
  bringToFront();
}

void CZelconSheet::OnTrayNotify(uint32_t mouseMessage) {
  if (mouseMessage == zfw::WM_LBUTTONDBLCLK) RestoreFromTray();
  if (mouseMessage == zfw::WM_RBUTTONUP) m_trayIcon.ShowMenu(m_trayMenu);
}

void CZelconSheet::OnHotKey(int id) {
  if (id == ID_TRAY_RADIO && isItemEnabled(IDC_RADIO_OFF)) ToggleRadio();
}

void CZelconSheet::OnTrayExit() {
  m_app.UnregisterAdapterNotification();
  // The worker ends before the list is saved, so nothing changes it after the save.
  StopWorker();
  m_savedAtEnd = SaveProfiles();
  if (void* adapter = m_adapter.load()) {
    m_lib.SetBoostMode(adapter, 1);
    m_busy = 1;
    OpenAdapterSession(0);
  }
  m_trayIcon.SetIcon(0);
  m_app.UnregisterRadioHotKey();
  destroyWindow();
}

void CZelconSheet::OnEndSession() {
  m_sessionEnding = true;
  StopWorker();
  if (void* adapter = m_adapter.load()) m_lib.UnlockPages(adapter);
  m_savedAtEnd = SaveProfiles();
}

// --- the adapter session ----------------------------------------------------------------------

int CZelconSheet::OpenAdapterSession(int open) {
  if (!open) {
    void* adapter = m_adapter.load();
    if (!adapter) {
      SetTrayState(zelcon::kTrayUnplugged);
      return 0;
    }
    m_busy = 1;
    StopWorker();
    EnablePages(0);
    m_lib.CloseAdapter(adapter);
    m_adapter = nullptr;
    QueryLinkStatus(0);
    if (isVisible()) ShowFirstPage();
    UpdateRadioUi();
    return 1;
  }

  m_busy = 0;
  if (m_adapter.load()) return 1;
  void* adapter = nullptr;
  m_lib.OpenAdapter(adapter);
  if (!adapter) {
    SetTrayState(zelcon::kTrayUnplugged);
    UpdateRadioUi();
    return 1;
  }
  m_adapter = adapter;
  m_lib.GetMacAddress(adapter, m_macAddress, sizeof m_macAddress);
  uint32_t region = 0;
  m_lib.QueryRegionCode(adapter, region);
  const zelcon::RegionChannels channels = zelcon::ChannelsForRegion(region);
  {
    auto lock = LockState();
    m_link.regionCode = channels.regionCode;
    m_link.firstChannel = channels.firstChannel;
    m_link.lastChannel = channels.lastChannel;
  }
  m_app.WriteIniInt("Advanced", "FirstChan", static_cast<int>(channels.firstChannel));
  m_app.WriteIniInt("Advanced", "LastChan", static_cast<int>(channels.lastChannel));

  if (m_lib.GetConnectStatus(adapter) != 0) {
    QueryLinkStatus(1);
    m_radio = 1;
    ChangeProfiles([](zelcon::ConnectContext& ctx) {
      zelcon::PickProfileInUse(ctx);
      return 0;
    });
  } else {
    QueryLinkStatus(0);
    uint32_t radio = m_radio;
    if (m_lib.QueryRadioControl(adapter, radio) == 0) m_radio = radio;
  }
  if (m_radio == 2) {  // switched off by the hardware switch: the box cannot turn it on
    m_radio = 0;
    enableItem(IDC_RADIO_OFF, false);
  } else if (!m_zeroConfigOwns) {
    enableItem(IDC_RADIO_OFF, true);
  }
  UpdateRadioUi();
  m_stopEvent.reset();
  m_workerThread.start([this] { AutoConnectThreadProc(); });

  if (isVisible()) ReselectCurrentPage();
  OnAdapterNotify(APPMSG_PROFILES_CHANGED, zfw::AppParam{});
  bool connected;
  {
    auto lock = LockState();
    connected = m_link.connected != 0;
  }
  if (connected) ApplyProfile(CurrentProfile());
  m_lib.SetBoostMode(adapter, static_cast<uint32_t>(m_app.ReadIniInt("Advanced", "BoostMode", 1)));
  return 1;
}

void CZelconSheet::StopWorker() {
  m_stopEvent.set();
  if (waitForWorker(m_workerThread, 3000)) return;
  // The adapter must not close under the worker: wait on, still serving its calls.
  std::fprintf(stderr, "zelcon: the worker has not ended after 3 s; waiting for it\n");
  waitForWorker(m_workerThread, zfw::kInfinite);
}

void CZelconSheet::QueryLinkStatus(int connected) {
  SetTrayState(zelcon::QueryLinkStatus(m_lib, m_adapter.load(), static_cast<uint32_t>(connected),
                                       m_link, m_stateMutex));
}

void CZelconSheet::UpdateRadioUi() {
  void* adapter = m_adapter.load();
  if (!adapter) {  // nothing to switch: no tick, no click
    checkItem(IDC_RADIO_OFF, 0);
    enableItem(IDC_RADIO_OFF, false);
    return;
  }
  if (m_radio != 0) {
    SetTrayState(m_lib.GetConnectStatus(adapter) ? zelcon::kTrayConnected
                                                 : zelcon::kTrayNoConnection);
    m_radio = 1;
    checkItem(IDC_RADIO_OFF, 0);
    m_trayMenu.setItemText(ID_TRAY_RADIO, zfw::loadString(IDS_TURN_RADIO_OFF));
    EnablePages(1);
  } else {
    SetTrayState(zelcon::kTrayNoConnection);
    checkItem(IDC_RADIO_OFF, 1);
    m_trayMenu.setItemText(ID_TRAY_RADIO, zfw::loadString(IDS_TURN_RADIO_ON));
    ShowFirstPage();
    EnablePages(0);
  }
  if (m_mainPage) m_mainPage->RefreshStatus();
}

void CZelconSheet::ToggleRadio() {
  void* adapter = m_adapter.load();
  if (!adapter) return;
  m_radio = m_radio == 1 ? 0 : 1;
  m_lib.SetRadioControl(adapter, m_radio);
  UpdateRadioUi();
}

void CZelconSheet::EnablePages(int enable) {
  if (m_zeroConfigOwns) return;
  if (!enable) {
    show();
    ReselectCurrentPage();
    zfw::sleep(50);
    ShowFirstPage();
  }
  for (int i = 0; i < pageCount(); ++i) {
    if (auto* zelconPage = dynamic_cast<CZelconPage*>(page(i))) zelconPage->OnRadioStateChanged(enable);
  }
  // Site Survey, Statistics and Advanced in the standard page set.
  for (int tab : {2, 3, 4}) m_tabCtrl.EnableTab(tab, enable);
}

void CZelconSheet::SetTrayState(int state) {
  if (!zfw::isGuiThread()) {
    // The tray belongs to the GUI thread; the worker must not wait for it.
    zfw::postAppMessage(ref(), APPMSG_SET_TRAY_STATE, zfw::AppParam{state, {}});
    return;
  }
  if (!isCreated() || state < 0 || state > 3) return;
  // Icon, tip and balloon of each state; 0: none (the tip stays as it is).
  struct TrayLook {
    int icon, tip, balloon;
  };
  static constexpr TrayLook kLooks[] = {
      {IDI_UNPLUGGED, IDS_CARD_UNPLUGGED, 0},
      {IDI_CONNECTED, IDS_CONNECTED, 0},
      {IDI_NO_CONNECTION, IDS_NO_CONNECTION, 0},
      {IDI_NO_CONNECTION, 0, IDS_SCANNING},
  };
  const TrayLook& look = kLooks[state];
  const std::string tip = zfw::loadString(static_cast<uint32_t>(look.tip));
  const std::string balloon = zfw::loadString(static_cast<uint32_t>(look.balloon));
  m_trayIcon.SetIconWithBalloon(look.icon, look.tip ? tip.c_str() : nullptr,
                                look.balloon ? balloon.c_str() : nullptr);
}

// --- profiles ---------------------------------------------------------------------------------

int CZelconSheet::ApplyProfile(zelcon::ProfileId profile) {
  return ChangeProfiles(
      [profile](zelcon::ConnectContext& ctx) { return zelcon::ApplyProfile(ctx, profile); });
}

void CZelconSheet::MakeProfileCurrent(zelcon::ProfileId profile) {
  ChangeProfiles([profile](zelcon::ConnectContext& ctx) {
    zelcon::MakeProfileCurrent(ctx, profile);
    return 0;
  });
}

void CZelconSheet::PlaceAutoLinkProfile(const PROFILE_ENTRY& profile, int makeCurrent) {
  ChangeProfiles([&](zelcon::ConnectContext& ctx) {
    zelcon::ProfileId placed;
    {
      auto lock = ctx.LockState();
      placed = ctx.profiles.PlaceReplacing(profile);
    }
    if (makeCurrent) zelcon::MakeProfileCurrent(ctx, placed);
    return 0;
  });
}

bool CZelconSheet::SaveProfiles() {
  const std::string& path = m_app.m_profilePath;
  if (path.empty()) return false;
  zelcon::ProfileSaveResult result;
  {
    auto lock = LockState();
    result = zelcon::SaveProfiles(m_profiles, path, m_profileFileState);
  }
  // Told with the lock released: a message box must not hold up the worker.
  switch (result) {
    case zelcon::ProfileSaveResult::kSaved:
      return true;
    case zelcon::ProfileSaveResult::kSavedAfterBackup:
      TellProfileFileProblem("The profile file " + path +
                             " was damaged; the profiles after the damage could not be read. "
                             "The original file has been kept as " +
                             zelcon::BackupPathOf(path) + ".");
      return true;
    case zelcon::ProfileSaveResult::kRefused:
      return false;  // told when it was loaded
    case zelcon::ProfileSaveResult::kFailed:
      break;
  }
  TellProfileFileProblem("The profiles could not be saved to " + path + ".");
  return false;
}

void CZelconSheet::TellProfileFileProblem(const std::string& text) {
  if (m_sessionEnding) {
    // The session is ending: a box would hold up the log-off (or, offscreen, the end).
    std::fprintf(stderr, "zelcon: %s\n", text.c_str());
  } else if (zfw::isGuiThread()) {
    zfw::messageBox(text, zfw::MB_ICONEXCLAMATION);
  } else {
    // The worker holds the state lock here; the GUI thread may be waiting for it.
    zfw::postAppMessage(ref(), APPMSG_PROFILE_FILE_PROBLEM, zfw::AppParam{0, text});
  }
}

bool CZelconSheet::ImportProfiles(const std::string& path) {
  // The file is read before the lock is taken: the worker never waits for the disk.
  zelcon::ProfileReadResult read = zelcon::ReadProfileFile(path);
  {
    auto lock = LockState();
    zelcon::AppendImported(m_profiles, read);
  }
  SaveProfiles();
  return read.complete;
}

bool CZelconSheet::ExportProfiles(const std::string& path) {
  auto lock = LockState();
  return zelcon::ExportProfiles(m_profiles, path, m_app.m_profilePath);
}

// --- notifications ----------------------------------------------------------------------------

intptr_t CZelconSheet::onAppMessage(uint32_t code, const zfw::AppParam& param) {
  return OnAdapterNotify(code, param);
}

intptr_t CZelconSheet::OnAdapterNotify(uint32_t code, const zfw::AppParam& param) {
  void* adapter = m_adapter.load();
  switch (code) {
    case HLVN_EVENT_CONNECT_FAILED:
    case HLVN_EVENT_IBSS_FAILED:
      if (adapter && !m_lib.GetConnectStatus(adapter)) QueryLinkStatus(0);
      break;
    case HLVN_EVENT_ASSOCIATED:
    case HLVN_EVENT_IBSS_CONNECTED:
      QueryLinkStatus(1);
      break;
    case HLVN_EVENT_ADAPTER_REMOVED:
      if (m_autoLinkRunning) {
        m_autoLinkCommand = AUTOLINK_CONNECTED;
        m_commandEvent.set();
      }
      OpenAdapterSession(0);
      break;
    case HLVN_EVENT_DISCONNECTED:
      // Still associated (or busy closing, or nothing open): not a disconnection to show.
      if (!adapter || m_busy || m_lib.GetConnectStatus(adapter)) return 0;
      QueryLinkStatus(0);
      break;
    case HLVN_EVENT_RADIO_ON:
      enableItem(IDC_RADIO_OFF, true);
      m_radio = 1;
      UpdateRadioUi();
      break;
    case HLVN_EVENT_RADIO_OFF:
      enableItem(IDC_RADIO_OFF, false);
      m_radio = 0;
      UpdateRadioUi();
      break;
    case APPMSG_SECOND_INSTANCE:
      ReselectCurrentPage();
      return 0;
    case APPMSG_RUN_AUTO_LINK:
      if (!m_autoLinkRunning) RunAutoLink();
      return 0;
    case APPMSG_SET_TRAY_STATE:
      SetTrayState(static_cast<int>(param.value));
      return 0;
    case APPMSG_PROFILE_FILE_PROBLEM:
      TellProfileFileProblem(param.text);
      return 0;
  }
  ForwardToActivePage(code, param);
  return 0;
}

void CZelconSheet::ForwardToActivePage(uint32_t code, const zfw::AppParam& param) {
  if (isMinimized()) return;
  if (zfw::PropertyPage* page = activePage()) zfw::sendAppMessage(*page, code, param);
}

void CZelconSheet::RunAutoLink() {
  m_autoLinkRunning = 1;
  uint32_t command = AUTOLINK_NOTHING;
  CAutoLinkDlg dialog(*this, this);
  if (dialog.FindAccessPoints() > 0) {
    const bool wasVisible = isVisible();
    hide();
    m_autoLinkDlg = &dialog;
    const int result = dialog.doModal();
    m_autoLinkDlg = nullptr;
    m_lib.Initialize(handle());
    void* adapter = m_adapter.load();
    bool showSheet = false;
    if (!adapter) {
      command = AUTOLINK_CONNECTED;  // the adapter went: nothing to connect with
    } else {
      // The dialog had the library's notices meanwhile: a link that came up while it ran
      // (Auto Configuration's, say) is known from the adapter only.
      const bool associated = m_lib.GetConnectStatus(adapter) != 0;
      QueryLinkStatus(associated ? 1 : 0);
      if (result == zfw::IDOK && associated) {
        PlaceAutoLinkProfile(dialog.Profile(), 1);
        showSheet = true;
        command = AUTOLINK_CONNECTED;
      } else if (result != zfw::IDOK && dialog.ProfileReady()) {
        PlaceAutoLinkProfile(dialog.Profile(), 0);
        showSheet = true;
        command = AUTOLINK_PROFILE_READY;
      }
    }
    m_autoLinkCommand = command;
    m_commandEvent.set();
    ReselectCurrentPage();
    if (wasVisible || showSheet) {
      show();
      ShowFirstPage();
    }
  } else {
    m_autoLinkCommand = command;
    m_commandEvent.set();
  }
  m_lib.Initialize(handle());
  m_autoLinkRunning = 0;
}

// --- devices and Zero Configuration -------------------------------------------------------

namespace {

// Whether a device change is about one of our adapters.
bool IsOurDevice(IAdapterControl& lib, int osVersion, const zfw::DeviceChange& change) {
  if (osVersion != kOsWin9x) {
    return change.deviceType == zfw::DBT_DEVTYP_DEVICEINTERFACE && zelcon::IsOurAdapter(change.name);
  }
  if (change.deviceType != zfw::DBT_DEVTYP_DEVNODE) return false;
  char key[64];
  std::snprintf(key, sizeof key, "%s\\%X", "Config Manager\\Enum", change.devNode);
  char hardwareKey[200] = {};
  if (lib.QueryRegistry(key, "HardWareKey", hardwareKey, sizeof hardwareKey) != 0) return false;
  hardwareKey[sizeof hardwareKey - 1] = '\0';
  return zelcon::IsOurAdapter(hardwareKey);
}

}  // namespace

void CZelconSheet::OnDeviceChange(const zfw::DeviceChange& change) {
  const bool xp = m_app.m_osVersion == kOsXp;
  switch (change.event) {
    case zfw::DBT_DEVICEARRIVAL:
      if (m_adapter.load() || !IsOurDevice(m_lib, m_app.m_osVersion, change)) return;
      OpenAdapterSession(1);
      m_arrivalHandled = true;
      if (xp) {
        m_zeroConfigTimer = setTimer(kZeroConfigTimer, 2000);
        PollZeroConfig();
      }
      m_lib.SetGUIMonitorMode(m_adapter.load(), m_zeroConfigOwns ? 1 : 0);
      return;
    case zfw::DBT_DEVICEREMOVECOMPLETE:
      if (!m_adapter.load() || !IsOurDevice(m_lib, m_app.m_osVersion, change)) return;
      killTimer(kZeroConfigTimer);
      m_zeroConfigTimer = 0;
      if (m_autoLinkRunning) {
        m_autoLinkCommand = AUTOLINK_CONNECTED;
        m_commandEvent.set();
      }
      if (OpenAdapterSession(0) == 1) m_arrivalHandled = true;
      if (m_autoLinkDlg) m_autoLinkDlg->OnAdapterRemoved();
      return;
    case zfw::DBT_DEVNODES_CHANGED:
      if (m_app.m_osVersion != kOsWin9x) return;
      if (!m_arrivalHandled && !m_adapter.load()) OpenAdapterSession(1);
      m_arrivalHandled = false;
      return;
  }
}

void CZelconSheet::PollZeroConfig() {
  bool owns = false;
  if (!zelcon::QueryZeroConfigFlag(m_lib, m_adapter.load(), owns)) return;
  if (static_cast<int>(owns) == m_zeroConfigOwns) return;
  m_zeroConfigOwns = owns;
  m_lib.SetGUIMonitorMode(m_adapter.load(), owns ? 1 : 0);
  ShowPageSet(owns);
  enableItem(IDC_RADIO_OFF, !owns);
}
