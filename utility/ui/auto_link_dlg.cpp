#include "utility/ui/auto_link_dlg.h"

#include <cstring>

#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/control_builder.h"
#include "platform/gui/cross_thread.h"
#include "platform/gui/message_box.h"
#include "platform/gui/wait_cursor.h"
#include "platform/gui/base/clock.h"
#include "utility/core/profile_connect.h"
#include "utility/ui/adapter_ip_entry.h"
#include "utility/ui/countdown_dlg.h"
#include "utility/ui/wipe_string.h"
#include "utility/ui/zelcon_app.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

constexpr uint32_t kScanBufferSize = 0x6000;
constexpr uint32_t kFinishPauseMs = 500;
constexpr const char* kCaption = "Auto Link";
constexpr const char* kAssociationFailed = "Association Failed!\r\nPlease make sure the PIN is correct";
constexpr const char* kExchangeFailed = "Auto Link Failed!, Please Try Again later.";

// The status line for each step of the exchange the driver reports.
constexpr const char* kStepTexts[] = {
    "Auto Link Start Request",     "Auto Link Start Response", "Auto Link Challenge Request",
    "Auto Link Challenge Response", "Auto Link Status Request", "Auto Link Status Response",
    "Auto Link End Request",
};
constexpr uint32_t kStepSucceeded = HLVN_EVENT_SWIFTBOND_STEP + 7;
constexpr uint32_t kStepAborted = HLVN_EVENT_SWIFTBOND_STEP + 9;

// The adapter's code for a profile's authentication, as Auto Link sets it.
uint32_t LibraryAuthMode(uint32_t authMode) {
  switch (authMode) {
    case zelcon::kAuthShared: return 1;
    case zelcon::kAuthWpaPsk: return 4;
    case zelcon::kAuthAuto: return 2;
    default: return 0;
  }
}

}  // namespace

CAutoLinkDlg::CAutoLinkDlg(CZelconSheet& sheet, zfw::Wnd* parent)
    : zfw::Dialog(IDD, parent), m_sheet(sheet) {
  setCaption(kCaption);
  on(zfw::CBN_SELCHANGE, IDC_ACCESS_POINTS, &CAutoLinkDlg::Choose);
}

CAutoLinkDlg::~CAutoLinkDlg() {
  WipeString(m_pin);
  zelcon::WipeProfile(m_profile);
}

int CAutoLinkDlg::FindAccessPoints() {
  m_accessPoints.clear();
  void* adapter = m_sheet.Adapter();
  if (!adapter) return 0;
  std::vector<uint8_t> buffer(kScanBufferSize, 0);
  if (m_sheet.Library().QueryScanList(adapter, buffer.data(), kScanBufferSize) != 0) return 0;
  auto lock = m_sheet.LockState();
  m_accessPoints = zelcon::FindAutoLinkAccessPoints(buffer, m_sheet.Profiles());
  return static_cast<int>(m_accessPoints.size());
}

void CAutoLinkDlg::buildControls(zfw::ControlBuilder& b) {
  b.text(0, "Access Point:").combo(IDC_ACCESS_POINTS).row();
  b.text(0, "Enter PIN:").edit(IDC_PIN, 32, zfw::ES_PASSWORD).row();
  b.text(IDC_CONFIRM_LABEL, "Confirm:").edit(IDC_CONFIRM, 32, zfw::ES_PASSWORD).row();
  b.text(IDC_STATUS, "").row();
  b.check(IDC_DO_NOT_ASK, "Please do not ask me again").row();
  b.stretch().button(zfw::IDOK, "&Apply", true).button(zfw::IDCANCEL, "E&xit");
}

bool CAutoLinkDlg::onInitDialog() {
  zfw::Dialog::onInitDialog();
  m_sheet.Library().Initialize(handle());  // the library reports to this dialog meanwhile
  limitText(IDC_PIN, 32);
  limitText(IDC_CONFIRM, 32);
  setItemFocus(IDC_PIN);
  zfw::ComboBox box = comboBox(IDC_ACCESS_POINTS);
  for (const zelcon::AutoLinkAccessPoint& ap : m_accessPoints) {
    const int at = box.addString(zelcon::AutoLinkComboText(ap));
    box.setItemData(at, static_cast<uintptr_t>(ap.flags) | static_cast<uintptr_t>(ap.apClass) << 16);
  }
  box.setCurSel(0);
  bringToFront();
  Choose();
  return false;
}

void CAutoLinkDlg::Choose() {
  zfw::ComboBox box = comboBox(IDC_ACCESS_POINTS);
  const int at = box.curSel();
  if (at < 0) return;
  m_ssid = zelcon::SsidOfAutoLinkComboText(box.lbText(at));
  const uintptr_t data = box.itemData(at);
  m_flags = static_cast<uint8_t>(data & 0xFF);
  m_class = static_cast<int>(data >> 16);
  setItemFocus(IDC_PIN);
  enableItem(IDC_CONFIRM, m_class == 0);
  enableItem(IDC_CONFIRM_LABEL, m_class == 0);
  Status(m_class == 0 ? "This AP has not been configured" : "This AP has been configured using Auto Link");
}

bool CAutoLinkDlg::ValidatePin(const std::string& pin) {
  if (zelcon::IsAutoLinkPinLength(pin.size())) return true;
  setItemText(IDC_PIN, "");
  setItemText(IDC_CONFIRM, "");
  zfw::messageBox(this, "The passphrase needs to be 8 to 63 ascii characters. ", kCaption,
                  zfw::MB_ICONEXCLAMATION);
  return false;
}

void CAutoLinkDlg::onOK() {
  zfw::beginWaitCursor();
  m_exchangePending = false;
  m_profileReady = false;
  std::string pin = itemText(IDC_PIN);
  if (m_class == 0 || m_class == 1) {
    if (!ValidatePin(pin)) {
      WipeString(pin);
      zfw::endWaitCursor();
      return;
    }
  }
  WipeString(m_pin);
  m_pin = pin;
  WipeString(pin);
  if (m_class == 0) {
    std::string confirmation = itemText(IDC_CONFIRM);
    const bool same = confirmation == m_pin;
    WipeString(confirmation);
    if (!same) {
      zfw::endWaitCursor();
      zfw::messageBox(this, "The passphrases you enter do not match!", kCaption, zfw::MB_ICONEXCLAMATION);
      return;
    }
    zelcon::WipeProfile(m_profile);
    m_profile = zelcon::OpenAutoLinkProfile(m_ssid);
    // The exchange starts once the adapter is on the access point's network.
    switch (PushProfile(m_profile)) {
      case Join::kJoining:
        m_exchangePending = true;
        break;
      case Join::kAlreadyThere:
        StartExchange();
        break;
      case Join::kRefused:
        break;
    }
  } else if (m_class == 1) {
    zelcon::WipeProfile(m_profile);
    m_profile = zelcon::FinalAutoLinkProfile(m_ssid, m_pin);
    if (PushProfile(m_profile) != Join::kRefused) {
      setTimer(kAssociationTimer, kAssociationMs);
      m_timerRunning = true;
    }
    return;
  } else {
    zfw::endWaitCursor();  // a class-2 access point has nothing to set up
  }
  StoreAskAgain();
}

CAutoLinkDlg::Join CAutoLinkDlg::PushProfile(const PROFILE_ENTRY& p) {
  void* h = m_sheet.Adapter();
  if (!h) return Join::kRefused;
  IAdapterControl& lib = m_sheet.Library();
  lib.SetAuthMode(h, LibraryAuthMode(p.authMode));
  lib.SetTpxCCXNetworkEap(h, 0);
  switch (p.encryption) {
    case 0:
      lib.SetWepStatus(h, 1);
      break;
    case 1:
      lib.SetWepStatus(h, 0);
      zelcon::SetWepKeys(lib, h, p);
      break;
    case 2:
      lib.SetWepStatus(h, 4);
      break;
  }
  const std::string ssid(zelcon::FieldText(p.ssid));
  lib.SetWPAInformation(h, p.networkType, p.authMode, p.encryption,
                        reinterpret_cast<const uint8_t*>(&p.wpa), ssid.c_str());
  lib.SetWlanMode(h, p.wlanMode);
  lib.SetNetworkMode(h, p.networkType);
  const int joined = lib.SetSsid(h, ssid.c_str(), static_cast<uint32_t>(ssid.size()), 0);
  if (joined == 0) return Join::kJoining;
  if (lib.GetConnectStatus(h) == 0) {
    Abort();
    zfw::endWaitCursor();
    Status("Cannot associate to Halvane AP!\r\nPlease try again");
    return Join::kRefused;
  }
  return joined == kAlreadyOnNetwork ? Join::kAlreadyThere : Join::kJoining;
}

void CAutoLinkDlg::Countdown(const std::string& message, int seconds) {
  CCountdownDlg countdown(message, seconds, this);
  countdown.doModal();
}

zelcon::AdapterAddress CAutoLinkDlg::ReadAdapterAddress() {
  void* h = m_sheet.Adapter();
  if (!h) return m_address;
  const std::optional<zfw::IpAdapterInfo> entry = AdapterIpEntry(m_sheet.Library(), h);
  if (!entry) return m_address;  // no MAC or no interface: the old values stay
  const int os = m_sheet.App().m_osVersion;
  return zelcon::ParseAdapterAddress(AdapterUsesDhcp(m_sheet.Library(), h, *entry, os), entry->ipAddress);
}

void CAutoLinkDlg::StartExchange() {
  void* h = m_sheet.Adapter();
  if (!h) return;
  Countdown("Preparing for Auto Link swift bond...", 5);
  m_address = ReadAdapterAddress();
  static constexpr uint8_t kNoAddress[4] = {};
  if (!m_address.dhcp && std::memcmp(m_address.ipv4, kNoAddress, 4) == 0) {
    Countdown("Cannot Get IP address, try again...", 5);
    m_address = ReadAdapterAddress();
  }
  HLVN_SWIFTBOND_SEC_INFO security = zelcon::MakeSwiftBondSecurity(m_flags, m_pin, m_address);
  const HLVN_SWIFTBOND_SETUP_REQ setup = zelcon::MakeSwiftBondSetup(m_flags);
  // Another path may have closed the adapter during the countdowns.
  if (void* now = m_sheet.Adapter()) {
    m_sheet.Library().SetSBSecurityInfo(now, &security);
    m_sheet.Library().SetSBSetupRequest(now, &setup);
  }
  WipeBytes(&security, sizeof security);
}

void CAutoLinkDlg::Abort() {
  m_sheet.Library().WPAPortDown();
  if (void* h = m_sheet.Adapter()) {
    // An SSID no network has keeps the adapter off the access point.
    const std::string nowhere(32, '\x01');
    m_sheet.Library().SetSsid(h, nowhere.c_str(), 32, 0);
  }
}

void CAutoLinkDlg::Finish(bool success) {
  Abort();
  zfw::sleep(kFinishPauseMs);
  zfw::endWaitCursor();
  if (!success) {
    Status(kExchangeFailed);
    Countdown(kExchangeFailed, 3);
    Exit();
    return;
  }
  HLVN_SWIFTBOND_AP_INFO info{};
  if (void* h = m_sheet.Adapter()) m_sheet.Library().QuerySwiftBondAPInfo(h, &info);
  const std::optional<std::string> ssid = zelcon::SwiftBondApSsid(info);
  if (!ssid) return;  // the access point's answer is not an SSID: the dialog stays open
  zelcon::WipeProfile(m_profile);
  m_profile = zelcon::FinalAutoLinkProfile(*ssid, m_pin);
  Countdown("Auto Link is done successfully.\r\nPreparing to exit......", 15);
  m_profileReady = true;
  Exit();
}

void CAutoLinkDlg::FailAssociation() {
  Abort();
  zfw::endWaitCursor();
  Status(kAssociationFailed);
  zfw::messageBox(this, kAssociationFailed, kCaption, zfw::MB_ICONEXCLAMATION);
}

void CAutoLinkDlg::onTimer(int id) {
  if (id != kAssociationTimer) return;
  killTimer(kAssociationTimer);
  m_timerRunning = false;
  FailAssociation();
}

intptr_t CAutoLinkDlg::onAppMessage(uint32_t code, const zfw::AppParam& param) {
  switch (code) {
    case HLVN_EVENT_ASSOCIATED:
    case HLVN_EVENT_IBSS_CONNECTED:
      if (m_exchangePending) {
        m_exchangePending = false;
        StartExchange();
      } else {
        // A link that came up otherwise (Auto Configuration's): the sheet's to know.
        zfw::sendAppMessage(m_sheet, code, param);
      }
      return 0;
    case HLVN_EVENT_ADAPTER_REMOVED:
      zfw::sendAppMessage(m_sheet, code, param);
      Exit();
      return 0;
    case HLVN_EVENT_DISCONNECTED:
      Status("Disconnect");
      return 0;
    case HLVN_EVENT_RADIO_ON:
    case HLVN_EVENT_RADIO_OFF:
      zfw::sendAppMessage(m_sheet, code, param);
      return 0;
    case ZELCON_NOTIFY_PORT_AUTHORIZED:
      CleanUp();
      zfw::endWaitCursor();
      endDialog(zfw::IDOK);
      return 0;
    case kStepSucceeded:
      Finish(true);
      return 0;
    case HLVN_EVENT_SWIFTBOND_FAILED:
      Finish(false);
      return 0;
    case kStepAborted:
      FailAssociation();
      return 0;
  }
  if (code >= HLVN_EVENT_SWIFTBOND_STEP && code < HLVN_EVENT_SWIFTBOND_STEP + std::size(kStepTexts))
    Status(kStepTexts[code - HLVN_EVENT_SWIFTBOND_STEP]);
  return 0;
}

void CAutoLinkDlg::StoreAskAgain() { m_sheet.m_autoLinkEnabled = isChecked(IDC_DO_NOT_ASK) ? 0 : 1; }

void CAutoLinkDlg::CleanUp() {
  m_accessPoints.clear();
  if (m_timerRunning) killTimer(kAssociationTimer);
  m_timerRunning = false;
}

void CAutoLinkDlg::onCancel() { Exit(); }

void CAutoLinkDlg::Exit() {
  if (isEnded()) return;
  StoreAskAgain();
  CleanUp();
  zfw::endWaitCursor();
  endDialog(zfw::IDCANCEL);
}
