#include "utility/ui/zelcon_app.h"

#include <cstdlib>

#include "platform/gui/base/clock.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/cross_thread.h"
#include "platform/gui/desktop/device_watcher.h"
#include "platform/gui/desktop/hot_key.h"
#include "platform/gui/desktop/os_info.h"
#include "platform/gui/desktop/service_control.h"
#include "platform/gui/desktop/single_instance.h"
#include "platform/gui/message_box.h"
#include "platform/gui/platform.h"
#include "platform/win32/ini_file.h"
#include "utility/core/settings_location.h"
#include "utility/core/zero_config_flag.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/select_cert_dlg.h"
#include "utility/ui/zelcon_sheet.h"

CZelconApp& theApp() { return static_cast<CZelconApp&>(zfw::app()); }

CZelconApp::CZelconApp(IAdapterControl& lib) : m_lib(lib) { setAppName("Zelcon"); }

CZelconApp::~CZelconApp() = default;

bool CZelconApp::InitInstance() {
  if (!ClassifyVersion()) {
    quit(1);
    return false;
  }
  const std::string caption = zfw::loadString(IDS_CAPTION);
  if (!ClaimSingleInstance(caption)) return false;
  FindFiles();
  InstallCertificateDialogs();
  if (m_osVersion == kOsXp) TakeOverFromZeroConfig(0);

  // Building the sheet loads the profiles; creating its window opens the adapter and starts
  // the worker.
  m_sheet = std::make_unique<CZelconSheet>(*this, IDS_CAPTION);
  setMainWindow(m_sheet.get());
  m_sheet->create();

  if (!RegisterAdapterNotification(*m_sheet)) {
    zfw::messageBox("Register Notification failed");
    quit(1);
    return false;
  }
  m_hotKey = zfw::platform().hotKey->registerHotKey(
      ID_TRAY_RADIO, zfw::MOD_ALT, zfw::VK_F2, [this](int id) {
        if (m_sheet) m_sheet->OnHotKey(id);
      });
  if (!m_hotKey) zfw::messageBox("Cannot create hotkey for Radio On/Off!!", zfw::MB_ICONEXCLAMATION);
  m_sheet->show();
  return true;
}

int CZelconApp::ExitInstance() {
  // Whatever ended the utility, the system's registrations go with it.
  UnregisterRadioHotKey();
  UnregisterAdapterNotification();
  if (m_instanceHandle) {
    zfw::platform().singleInstance->release();
    m_instanceHandle = false;
  }
  return zfw::App::ExitInstance();
}

void CZelconApp::onSessionEnd() {
  zfw::App::onSessionEnd();
  if (m_sheet && !m_sheet->ProfilesSavedAtEnd()) quit(1);
}

bool CZelconApp::ClassifyVersion() {
  const std::optional<zfw::OsVersion> version = zfw::platform().osInfo->version();
  if (!version) {
    zfw::messageBox("Unable to get Windows version.");
    return false;
  }
  if (version->family == zfw::OsVersion::Family::Win9x) {
    m_osVersion = kOsWin9x;
  } else if (version->major == 4 && version->minor == 0) {
    m_osVersion = kOsNt4;
  } else if (version->major == 5) {
    m_osVersion = version->minor == 1 ? kOsXp : kOsNt5;
  } else {
    zfw::messageBox("Not Supported!");
    return false;
  }
  return true;
}

bool CZelconApp::ClaimSingleInstance(const std::string& caption) {
  zfw::ISingleInstance& instance = *zfw::platform().singleInstance;
  switch (instance.claim(caption, [this](uint32_t code) { OnSecondStart(code); })) {
    case zfw::ISingleInstance::Claim::First:
      m_instanceHandle = true;
      return true;
    case zfw::ISingleInstance::Claim::Second:
      // The running instance comes forward; this one ends quietly.
      instance.sendToFirst(APPMSG_SECOND_INSTANCE);
      m_isSecondInstance = true;
      return false;
    case zfw::ISingleInstance::Claim::Failed:
      break;
  }
  return true;  // the mark could not be made: run unguarded
}

void CZelconApp::OnSecondStart(uint32_t code) {
  if (!m_sheet || !m_sheet->isCreated()) return;
  m_sheet->restore();
  m_sheet->bringToFront();
  zfw::sendAppMessage(*m_sheet, code, zfw::AppParam{});
}

void CZelconApp::FindFiles() {
  // Beside the program, its directory taken as it is: Linux paths are case-sensitive.
  std::string directory;
  if (const char* home = std::getenv("ZELCON_HOME"); home && *home) {
    directory = home;
  } else {
    const std::string program = zfw::executablePath();
    const size_t slash = program.rfind('/');
    directory = zelcon::SettingsDirectory(slash == std::string::npos ? std::string()
                                                                     : program.substr(0, slash));
  }
  if (directory.empty()) return;
  m_profilePath = directory + "/" + zelcon::kProfileFileName;
  m_iniPath = directory + "/" + zelcon::kSettingsFileName;
}

bool CZelconApp::WriteIniInt(const char* section, const char* key, int value) {
  if (m_iniPath.empty()) return false;
  // Owner-only when we make it: its [Security] section may come to hold secrets.
  return plat::IniFile(m_iniPath, plat::kPrivateFileMode).WriteInt(section, key, value);
}

int CZelconApp::ReadIniInt(const char* section, const char* key, int defaultValue) const {
  if (m_iniPath.empty()) return defaultValue;
  return plat::IniFile(m_iniPath).ReadInt(section, key, defaultValue);
}

bool CZelconApp::RegisterAdapterNotification(CZelconSheet& window) {
  m_notifyHandle = zfw::platform().deviceWatcher->start(
      [&window](const zfw::DeviceChange& change) { window.OnDeviceChange(change); });
  return m_notifyHandle;
}

void CZelconApp::UnregisterAdapterNotification() {
  if (!m_notifyHandle) return;
  zfw::platform().deviceWatcher->stop();
  m_notifyHandle = false;
}

void CZelconApp::UnregisterRadioHotKey() {
  if (!m_hotKey) return;
  zfw::platform().hotKey->unregisterHotKey(ID_TRAY_RADIO);
  m_hotKey = false;
}

void CZelconApp::TakeOverFromZeroConfig(int enable) {
  zfw::IServiceControl& services = *zfw::platform().serviceControl;
  const std::string service = "WZCSVC";
  uint32_t state = 0;
  if (!services.open(service) || !services.queryStatus(service, state)) return;
  if (state == zfw::SERVICE_RUNNING) services.stop(service);
  if (state != zfw::SERVICE_STOPPED) {
    for (uint32_t waited = 0; waited < 30000; waited += 1000) {
      zfw::sleep(1000);
      if (services.queryStatus(service, state) && state == zfw::SERVICE_STOPPED) break;
    }
  }
  zelcon::SetZeroConfigFlag(m_lib, enable);
  services.start(service);
}
