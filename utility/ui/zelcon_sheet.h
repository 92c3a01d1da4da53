#pragma once
// The utility's main window: a modeless property sheet that lives until Exit in the tray
// menu. It owns the pages, the profile list, the open adapter, the link status every page
// reads, the worker thread with its two events and the tray icon. The adapter-control
// library notifies it; it routes those notifications to the page on show. It follows the
// radio switch (check box, tray menu, Alt+F2), adapter arrival and removal, Zero
// Configuration on systems that have it, hiding to the tray, exit and the session end.
//
// Threads: the GUI thread and the worker. The profile list and the link status are guarded
// by one lock (LockState), held only to read and write them: never across an adapter call, a
// send to the GUI thread or a message box. The scalar flags are atomic. The worker reaches the GUI thread only
// by sends that give up once the stop event is set, and the adapter is closed only after the
// worker has ended.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "hosts/adapterctl/adapter_control.h"
#include "platform/gui/base/event.h"
#include "platform/gui/base/thread.h"
#include "platform/gui/menu.h"
#include "platform/gui/property_sheet.h"
#include "utility/core/link_status.h"
#include "utility/core/profile_list.h"
#include "utility/core/profile_store.h"
#include "utility/ui/themed_tab_ctrl.h"
#include "utility/ui/tray_icon.h"

namespace zfw {
struct DeviceChange;
}

class CAboutPage;
class CAutoLinkDlg;
class CAdminTool;
class CAdvancedPage;
class CDebugWin;
class CMainPage;
class CProfileManager;
class CReadmePage;
class CSiteSurvey;
class CTestPage;
class CZelconApp;
class CZelconPage;

class CZelconSheet : public zfw::PropertySheet {
public:
  CZelconSheet(CZelconApp& app, int captionId);
  ~CZelconSheet() override;

  // --- the adapter session ---
  // open 1: opens the adapter (when none is open) and starts the worker; always 1.
  // open 0: stops the worker, closes the adapter; 0 when nothing was open.
  int OpenAdapterSession(int open);
  // Refreshes the link status (`connected` as the caller found it) and the tray state.
  void QueryLinkStatus(int connected);
  void UpdateRadioUi();
  void ToggleRadio();
  void EnablePages(int enable);
  // 0 "Card Unplugged", 1 "Connected", 2 "No Connection", 3 scanning balloon.
  void SetTrayState(int state);

  // --- profiles (through utility/core, under the state lock) ---
  int ApplyProfile(zelcon::ProfileId profile);
  void MakeProfileCurrent(zelcon::ProfileId profile);
  // Writes the list to Data.cfg (atomically); callers call it after each committed change.
  // A failure, a refusal at the first save and a backup made are told to the user.
  bool SaveProfiles();
  // False when the last save at exit or at the session end did not write Data.cfg.
  bool ProfilesSavedAtEnd() const { return m_savedAtEnd; }
  bool ImportProfiles(const std::string& path);
  bool ExportProfiles(const std::string& path);
  zelcon::ProfileId CurrentProfile() const { return m_profiles.Current(); }

  // The profile list and the link status, for reading and changing them under the lock.
  std::unique_lock<std::recursive_mutex> LockState() {
    return std::unique_lock<std::recursive_mutex>(m_stateMutex);
  }
  zelcon::ProfileList& Profiles() { return m_profiles; }
  zelcon::LINK_STATUS& Link() { return m_link; }

  // --- events ---
  // The window is made: its buttons, the tray icon, the two events, the library's
  // notifications, the tab control, then the adapter session.
  bool OnInitDialog();
  // The user's session ends (shut-down or log-off): the worker stops and the profiles are
  // saved. Nobody may be asked to click anything now: a problem with the save is written to
  // standard error instead of a message box.
  void OnEndSession();
  intptr_t OnAdapterNotify(uint32_t code, const zfw::AppParam& param);
  void OnDeviceChange(const zfw::DeviceChange& change);
  void OnHotKey(int id);
  void OnTrayNotify(uint32_t mouseMessage);
  void OnHideOk();
  // Hides the sheet to the tray, or minimises it on a desktop without one.
  void HideToTray();
  bool HasTray() const;
  void RestoreFromTray();
  void OnTrayExit();
  void PollZeroConfig();
  // Auto Link on the GUI thread, asked for by the worker: finds the access points that offer
  // it, runs the dialog when there are some, places its profile and hands the worker the
  // outcome (AUTOLINK_*).
  void RunAutoLink();
  // The worker's Auto Configuration pass over the prefer list; 0 when the adapter was found gone.
  int TryPreferredProfiles();
  // Puts the profile Auto Link made at the head of the list in place of those for its network.
  void PlaceAutoLinkProfile(const PROFILE_ENTRY& profile, int makeCurrent);

  IAdapterControl& Library() { return m_lib; }
  CZelconApp& App() { return m_app; }
  void* Adapter() const { return m_adapter.load(); }
  CMainPage* MainPage() { return m_mainPage.get(); }
  CProfileManager* ProfileManager() { return m_profileManager.get(); }
  const CTrayIcon& TrayIcon() const { return m_trayIcon; }
  const zfw::Menu& TrayMenu() const { return m_trayMenu; }
  zfw::Event& StopEvent() { return m_stopEvent; }
  zfw::Event& CommandEvent() { return m_commandEvent; }

  // The two settings switches, the state flags the worker reads, and the adapter's facts.
  std::atomic<int> m_autoConfiguration{1};
  std::atomic<int> m_autoLinkEnabled{1};
  std::atomic<int> m_autoLinkRunning{0};
  std::atomic<int> m_zeroConfigOwns{0};
  std::atomic<int> m_busy{0};
  std::atomic<uint32_t> m_radio{1};
  std::atomic<uint32_t> m_autoLinkCommand{0};
  int m_trace = 0;
  int m_refreshRatePs = 0;
  bool m_arrivalHandled = false;
  int m_zeroConfigTimer = 0;
  uint8_t m_macAddress[6] = {};

  static constexpr int kZeroConfigTimer = 0x8000;

protected:
  bool onInitDialog() override { return OnInitDialog(); }
  void onDestroy() override;
  intptr_t onAppMessage(uint32_t code, const zfw::AppParam& param) override;
  // Shows a problem with Data.cfg on the GUI thread (posted when met on another); at the
  // session end, writes it to standard error.
  void TellProfileFileProblem(const std::string& text);
  bool onCommand(int id, int code) override;
  void onTimer(int id) override;
  void onClose() override;
  void onMinimize() override;
  void onEndSession() override { OnEndSession(); }

  // The worker's body: runs while an adapter is open, until the stop event is set.
  virtual void AutoConnectThreadProc();

private:
  void CreatePages();
  void ShowPageSet(bool zeroConfigOwns);
  void ReselectCurrentPage();
  void ShowFirstPage();
  void ForwardToActivePage(uint32_t code, const zfw::AppParam& param);
  // Signals the stop event and waits for the worker to end, serving its calls meanwhile.
  void StopWorker();
  void RefreshLinkWithTray(uint32_t connected);
  void CloseAdapterAtExit();
  // The worker's pieces (zelcon_sheet_worker.cpp).
  void RescanWithCurrentMode(void* adapter);
  bool LinkIsUp();
  bool LinkIsOnProfileNetwork(zelcon::ProfileId profile);
  int TrayStateOfLink();
  void ConnectWithAutoLinkProfile();
  // Runs `change` on the profile list and saves it when the list's order or prefer marks moved.
  template <class Change>
  auto ChangeProfiles(Change change);

  CZelconApp& m_app;
  IAdapterControl& m_lib;
  CTrayIcon m_trayIcon;
  zfw::Menu m_trayMenu;
  CThemedTabCtrl m_tabCtrl;

  std::unique_ptr<CMainPage> m_mainPage;
  std::unique_ptr<CProfileManager> m_profileManager;
  std::unique_ptr<CSiteSurvey> m_siteSurvey;
  std::unique_ptr<CZelconPage> m_statistics;  // CStatistics, or CDebugStatsPage when chosen
  std::unique_ptr<CAdvancedPage> m_advancedPage;
  std::unique_ptr<CAdminTool> m_adminTool;
  std::unique_ptr<CDebugWin> m_debugWin;
  std::unique_ptr<CTestPage> m_testPage;
  std::unique_ptr<CAboutPage> m_aboutPage;
  std::unique_ptr<CReadmePage> m_readmePage;
  CAutoLinkDlg* m_autoLinkDlg = nullptr;  // while RunAutoLink runs it

  zfw::Event m_stopEvent{zfw::Event::Reset::Manual};
  zfw::Event m_commandEvent{zfw::Event::Reset::Auto};
  zfw::Thread m_workerThread;
  std::atomic<void*> m_adapter{nullptr};

  std::recursive_mutex m_stateMutex;
  zelcon::ProfileList m_profiles;
  zelcon::ProfileFileState m_profileFileState = zelcon::ProfileFileState::kWhole;
  bool m_savedAtEnd = true;
  std::atomic<bool> m_sessionEnding{false};
  zelcon::LINK_STATUS m_link{};
};
