// The sheet's worker thread: while an adapter is open it keeps the adapter connected, every
// 5 seconds, through the prefer list (Auto Configuration) and the profile Auto Link makes.
// It reads the shared state only under the state lock and reaches the GUI thread only by
// calls that give up once the stop event is set; message boxes are shown by the GUI thread.
#include <string>
#include <vector>

#include "platform/gui/base/clock.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/cross_thread.h"
#include "platform/gui/message_box.h"
#include "utility/core/profile_entry.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/main_page.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

enum : uint32_t { IDS_SCANNING_FOR = 61604 };
enum : int { kTrayScanning = 3 };
constexpr uint32_t kCycleMs = 5000;
constexpr uint32_t kNoPreferListPauseMs = 500;
constexpr int kAutoLinkAttempts = 3;

}  // namespace

void CZelconSheet::AutoConnectThreadProc() {
  if (!m_autoLinkEnabled && !m_autoConfiguration) {
    if (void* adapter = m_adapter.load()) RescanWithCurrentMode(adapter);
  }
  for (;;) {
    void* adapter = m_adapter.load();
    if (!adapter) return;
    if (m_radio != 0 && !LinkIsUp() && !m_zeroConfigOwns) {
      if (m_autoConfiguration && m_radio == 1 && !m_busy) {
        SetTrayState(kTrayScanning);
        if (!TryPreferredProfiles()) return;
        SetTrayState(TrayStateOfLink());
      }
      if (m_autoLinkEnabled) {
        if (!m_autoConfiguration) RescanWithCurrentMode(adapter);
        m_commandEvent.reset();
        zfw::guiSend(ref(), APPMSG_RUN_AUTO_LINK, zfw::AppParam{}, m_stopEvent);
        // The GUI thread answers through the command event; a stop ends the wait too.
        if (zfw::waitAny({&m_stopEvent, &m_commandEvent}) == 0) return;
        if (m_autoLinkCommand == AUTOLINK_PROFILE_READY) ConnectWithAutoLinkProfile();
      }
    }
    if (m_stopEvent.wait(kCycleMs)) return;
  }
}

int CZelconSheet::TryPreferredProfiles() {
  if (void* adapter = m_adapter.load()) RescanWithCurrentMode(adapter);
  if (!m_adapter.load()) return 0;
  if (m_radio != 0) {
    // The ids in list order as the pass starts: connecting reorders the list under us.
    std::vector<zelcon::ProfileId> preferred;
    {
      auto lock = LockState();
      for (size_t i = 0; i < m_profiles.Size(); ++i) {
        if (m_profiles.At(i).prefer == 1) preferred.push_back(m_profiles.IdAt(i));
      }
    }
    for (zelcon::ProfileId id : preferred) {
      if (m_busy || !m_adapter.load() || m_radio == 0) break;
      const int result = ApplyProfile(id);
      if (result == 0) break;
      if (result == kAlreadyOnNetwork && LinkIsOnProfileNetwork(id)) break;
    }
    if (preferred.empty() && !m_busy) zfw::sleep(kNoPreferListPauseMs);
  }
  if (!m_busy && m_mainPage) {
    zfw::guiSend(m_mainPage->ref(), APPMSG_REFRESH_STATUS, zfw::AppParam{}, m_stopEvent);
  }
  return 1;
}

void CZelconSheet::ConnectWithAutoLinkProfile() {
  SetTrayState(kTrayScanning);
  zelcon::ProfileId id = zelcon::kNoProfile;
  std::string ssid;
  {
    auto lock = LockState();
    if (m_profiles.Size() == 0) return;
    id = m_profiles.IdAt(0);
    ssid = std::string(zelcon::ProfileSsid(m_profiles.At(0)));
  }
  if (m_mainPage) {
    zfw::guiSend(m_mainPage->ref(), APPMSG_STATUS_TEXT,
                 zfw::AppParam{0, zfw::loadString(IDS_SCANNING_FOR) + ssid}, m_stopEvent);
  }
  bool joined = false;
  int attempts = 0;
  while (attempts < kAutoLinkAttempts) {
    {
      auto lock = LockState();
      if (!m_profiles.Find(id)) break;
    }
    if (!m_adapter.load() || m_busy || m_radio == 0) break;
    ++attempts;
    const int result = ApplyProfile(id);
    if (result == 0 || (result == kAlreadyOnNetwork && LinkIsOnProfileNetwork(id))) {
      joined = true;
      break;
    }
  }
  if (attempts == kAutoLinkAttempts && !joined && !LinkIsUp()) {
    zfw::runOnGuiThread([] { zfw::messageBox("Auto Link Failed!", zfw::MB_ICONEXCLAMATION); },
                        m_stopEvent);
  }
  SetTrayState(TrayStateOfLink());
}

void CZelconSheet::RescanWithCurrentMode(void* adapter) {
  uint32_t mode = 0;
  m_lib.QueryNetworkMode(adapter, mode);
  m_lib.SetNetworkMode(adapter, mode);
  m_lib.Scan(adapter);
}

bool CZelconSheet::LinkIsUp() {
  auto lock = LockState();
  return m_link.connected || m_link.adHocUp;
}

bool CZelconSheet::LinkIsOnProfileNetwork(zelcon::ProfileId profile) {
  auto lock = LockState();
  const PROFILE_ENTRY* p = m_profiles.Find(profile);
  if (!p || !(m_link.connected || m_link.adHocUp)) return false;
  return zelcon::FieldText(m_link.ssid) == zelcon::ProfileSsid(*p) &&
         m_link.networkMode == p->networkType;
}

int CZelconSheet::TrayStateOfLink() {
  if (!m_adapter.load()) return zelcon::kTrayUnplugged;
  return LinkIsUp() ? zelcon::kTrayConnected : zelcon::kTrayNoConnection;
}
