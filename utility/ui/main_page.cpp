#include "utility/ui/main_page.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string_view>

#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/control_builder.h"
#include "platform/gui/desktop/ip_helper.h"
#include "platform/gui/platform.h"
#include "platform/gui/base/clock.h"
#include "utility/core/profile_entry.h"
#include "utility/ui/adapter_ip_entry.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/text_progress_ctrl.h"
#include "utility/ui/zelcon_app.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

constexpr const char* kCardUnplugged = "Card Unplugged";
constexpr const char* kNoRadio = "No Radio";
constexpr const char* kNoConnection = "No Connection";
constexpr const char* kConnected = "Connected";
constexpr const char* kWaitingForPeer = "Waiting for peer...";
constexpr const char* kChannelPerformance = "Channel Performance";
constexpr const char* kTxRateCaption = "Current Tx Rate:";
constexpr const char* kRxRateCaption = "Current Rx Rate:";
constexpr const char* kScanningFor = "Scanning for ";
constexpr const char* kScanStrongest = "Scan for AP with strongest RSSI";
constexpr int kSignalBarTop = 40;

// The link's texts that RefreshStatus empties.
constexpr int kLinkTexts[] = {CMainPage::IDC_SSID,       CMainPage::IDC_BSSID,
                              CMainPage::IDC_NETWORK_TYPE, CMainPage::IDC_SECURITY,
                              CMainPage::IDC_LINK_SPEED, CMainPage::IDC_DHCP,
                              CMainPage::IDC_IP_ADDRESS, CMainPage::IDC_SUBNET_MASK,
                              CMainPage::IDC_GATEWAY};

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

CMainPage::CMainPage() : CZelconPage(101, "Network Status") {
  on(zfw::CBN_SELCHANGE, IDC_PROFILE_BOX, &CMainPage::OnSelectProfile);
}

void CMainPage::buildControls(zfw::ControlBuilder& b) {
  b.text(0, "Profile:").combo(IDC_PROFILE_BOX).row();
  b.beginGroup(0, "Link")
      .text(0, "Status:").text(IDC_STATUS, "").stretch().icon(IDC_BAND_ICON, IDI_BAND_NONE).row()
      .text(0, "SSID:").text(IDC_SSID, "").row()
      .text(0, "BSSID:").text(IDC_BSSID, "").row()
      .text(0, "Network Type:").text(IDC_NETWORK_TYPE, "").row()
      .text(0, "Security:").text(IDC_SECURITY, "").row()
      .text(0, "Link Speed:").text(IDC_LINK_SPEED, "").row()
      .text(0, "Signal:").custom(IDC_SIGNAL, new CTextProgressCtrl)
      .endGroup();
  b.beginGroup(0, "IP Information")
      .text(0, "DHCP:").text(IDC_DHCP, "").row()
      .text(0, "IP Address:").text(IDC_IP_ADDRESS, "").row()
      .text(0, "Subnet Mask:").text(IDC_SUBNET_MASK, "").row()
      .text(0, "Default Gateway:").text(IDC_GATEWAY, "").row()
      .button(IDC_RENEW_LEASE, "Renew Lease").button(IDC_PROPERTIES, "Properties")
      .endGroup()
      .row();
  b.beginGroup(IDC_CHANNEL_GROUP, kChannelPerformance)
      .text(IDC_TX_RATE, kTxRateCaption).text(IDC_TX_TOP, "").text(IDC_TX_MIDDLE, "").row()
      .custom(IDC_TX_CHART, new CGraphCtrl).row()
      .text(IDC_RX_RATE, kRxRateCaption).text(IDC_RX_TOP, "").text(IDC_RX_MIDDLE, "").row()
      .custom(IDC_RX_CHART, new CGraphCtrl)
      .endGroup();
}

bool CMainPage::onInitDialog() {
  const bool result = CZelconPage::onInitDialog();
  progressBar(IDC_SIGNAL).setRange(0, kSignalBarTop);
  for (int id : {IDC_TX_CHART, IDC_RX_CHART}) {
    if (CGraphCtrl* chart = Chart(id)) chart->SetRange(1, 1000);
  }
  setTimer(kChartTimer, 1000);
  return result;
}

bool CMainPage::onSetActive() {
  m_rings.Clear();
  FillProfileBox();
  RefreshStatus();
  setTimer(kRefreshTimer, 1000);
  m_timerRunning = true;
  RefreshLinkStatus();
  return CZelconPage::onSetActive();
}

bool CMainPage::onKillActive() {
  killTimer(kRefreshTimer);
  m_timerRunning = false;
  return CZelconPage::onKillActive();
}

void CMainPage::onTimer(int id) {
  if (id == kRefreshTimer) RefreshLinkStatus();
  if (id == kChartTimer) {
    for (int chart : {IDC_TX_CHART, IDC_RX_CHART}) {
      if (CGraphCtrl* c = Chart(chart)) c->Step();
    }
  }
}

CGraphCtrl* CMainPage::Chart(int id) const { return dynamic_cast<CGraphCtrl*>(item(id)); }

void CMainPage::AddToCharts(uint64_t txBps, uint64_t rxBps) {
  if (CGraphCtrl* tx = Chart(IDC_TX_CHART)) tx->AddValue(txBps == 0 ? 1 : txBps);
  if (CGraphCtrl* rx = Chart(IDC_RX_CHART)) rx->AddValue(rxBps == 0 ? 1 : rxBps);
}

void CMainPage::OnRadioStateChanged(int radioOn) { m_radioOff = radioOn == 0; }

void CMainPage::FillProfileBox() {
  if (!m_sheet || !isCreated()) return;
  zfw::ComboBox box = comboBox(IDC_PROFILE_BOX);
  box.resetContent();
  if (m_sheet->m_zeroConfigOwns) {
    enableItem(IDC_PROFILE_BOX, false);
    return;
  }
  enableItem(IDC_PROFILE_BOX, true);
  auto lock = m_sheet->LockState();
  const zelcon::ProfileList& profiles = m_sheet->Profiles();
  for (size_t i = 0; i < profiles.Size(); ++i) {
    // The item data is the profile's id, never a pointer into the list.
    const int at = box.addString(zelcon::FieldText(profiles.At(i).name));
    box.setItemData(at, static_cast<uintptr_t>(profiles.IdAt(i)));
  }
}

void CMainPage::ClearTexts() {
  for (int id : kLinkTexts) setItemText(id, "");
  setItemText(IDC_CHANNEL_GROUP, kChannelPerformance);
}

void CMainPage::ShowNotConnected(const char* status) {
  m_rings.Clear();
  progressBar(IDC_SIGNAL).setPos(0);
  comboBox(IDC_PROFILE_BOX).setCurSel(-1);
  setItemText(IDC_STATUS, status);
  setItemIcon(IDC_BAND_ICON, IDI_BAND_NONE);
}

void CMainPage::RefreshStatus() {
  if (!m_sheet || !isCreated()) return;
  ClearTexts();
  enableItem(IDC_PROPERTIES, true);
  void* adapter = m_sheet->Adapter();
  zelcon::LINK_STATUS link;
  {
    auto lock = m_sheet->LockState();
    link = m_sheet->Link();
  }
  if (!adapter) return ShowNotConnected(kCardUnplugged);
  if (m_sheet->m_radio == 0) return ShowNotConnected(kNoRadio);
  if (!link.connected && !link.adHocUp) return ShowNotConnected(kNoConnection);

  const std::string_view ssid = zelcon::FieldText(link.ssid);
  setItemText(IDC_SSID, ssid);
  char text[64];
  std::snprintf(text, sizeof text, "%02X %02X %02X %02X %02X %02X", link.bssid[0], link.bssid[1],
                link.bssid[2], link.bssid[3], link.bssid[4], link.bssid[5]);
  setItemText(IDC_BSSID, text);
  setItemText(IDC_NETWORK_TYPE, link.networkMode == 0   ? "Ad-Hoc"
                                : link.networkMode == 1 ? "Infrastructure"
                                                        : "Unknown");
  setItemText(IDC_SECURITY, SecurityText());
  std::snprintf(text, sizeof text, "Channel %d (%.3f GHz)", static_cast<int>(link.channel),
                link.frequencyMhz / 1000.0);
  setItemText(IDC_CHANNEL_GROUP, text);
  setItemIcon(IDC_BAND_ICON, link.wlanMode == 1 ? IDI_BAND_B : link.wlanMode == 2 ? IDI_BAND_A : IDI_BAND_OTHER);

  // The box shows the profile in use when it fits the network, else the first that does.
  zfw::ComboBox box = comboBox(IDC_PROFILE_BOX);
  box.setCurSel(-1);
  zelcon::ProfileId pick = zelcon::kNoProfile;
  {
    auto lock = m_sheet->LockState();
    const zelcon::ProfileList& profiles = m_sheet->Profiles();
    const zelcon::ProfileId current = profiles.Current();
    auto fits = [&](zelcon::ProfileId id, bool orAny) {
      const PROFILE_ENTRY* p = profiles.Find(id);
      if (!p) return false;
      const std::string_view pssid = zelcon::FieldText(p->ssid);
      if (pssid == zelcon::kAnySsid) return id == current || orAny;
      if (orAny && EqualsNoCase(pssid, "any")) return true;
      return pssid == ssid && p->networkType == link.networkMode;
    };
    const int at = box.findItemData(static_cast<uintptr_t>(current));
    if (current != zelcon::kNoProfile && at >= 0 && fits(current, false)) {
      box.setCurSel(at);
    } else {
      for (int i = 0; i < box.count(); ++i) {
        const auto id = static_cast<zelcon::ProfileId>(box.itemData(i));
        const PROFILE_ENTRY* p = profiles.Find(id);
        if (!p) continue;
        const bool any = zelcon::FieldText(p->ssid) == zelcon::kAnySsid;
        if ((any && id == current) || (!any && fits(id, true))) {
          box.setCurSel(i);
          pick = id;
          break;
        }
      }
    }
  }
  if (pick != zelcon::kNoProfile) m_sheet->MakeProfileCurrent(pick);

  setItemText(IDC_STATUS, link.networkMode == 1 || link.connected ? kConnected : kWaitingForPeer);
  m_radioOff = false;
  if (m_timerRunning) RefreshLinkStatus();
}

std::string CMainPage::SecurityText() {
  uint32_t status;
  {
    auto lock = m_sheet->LockState();
    status = m_sheet->Link().wepStatus;
  }
  if (status == 2 || status == 5 || status == 7) {
    uint32_t fresh = status;
    if (void* adapter = m_sheet->Adapter(); adapter && m_sheet->Library().QueryWepStatus(adapter, fresh) == 0) {
      status = fresh;
      auto lock = m_sheet->LockState();
      m_sheet->Link().wepStatus = fresh;
    }
  }
  switch (status) {
    case 0: return "WEP";
    case 4: return "TKIP";
    case 6: return "AES";
    case 2: return "WEP - Key Absent";
    case 5: return "TKIP - Key Absent";
    case 7: return "AES - Key Absent";
    default: return "Security Off";
  }
}

void CMainPage::RefreshLinkStatus() {
  if (m_radioOff || !m_sheet || !isCreated()) return;
  if (itemText(IDC_STATUS) != kConnected) {
    setItemText(IDC_TX_RATE, kTxRateCaption);
    setItemText(IDC_RX_RATE, kRxRateCaption);
    AddToCharts(1, 1);
    progressBar(IDC_SIGNAL).setPos(0);
    m_throughput.ClearBase();
    return;
  }
  void* adapter = m_sheet->Adapter();
  if (!adapter) return;
  IAdapterControl& lib = m_sheet->Library();
  uint32_t value = 0;
  if (lib.QueryRssi(adapter, value) == 0) {
    progressBar(IDC_SIGNAL).setPos(m_rings.AddRssi(static_cast<int32_t>(value)));
  }
  if (lib.QueryLinkSpeed(adapter, value) == 0) {
    setItemText(IDC_LINK_SPEED, LinkSpeedText(m_rings.AddLinkSpeed(value, m_sheet->m_refreshRatePs != 0)));
  }
  RefreshThroughput(adapter);
  RefreshIpInfo(adapter);
  setItemText(IDC_SECURITY, SecurityText());
}

void CMainPage::RefreshThroughput(void* adapter) {
  const std::optional<zfw::IpAdapterInfo> entry = AdapterIpEntry(m_sheet->Library(), adapter);
  if (!entry) return;
  const std::optional<zfw::IfRow> row = zfw::platform().ipHelper->ifEntry(entry->index);
  if (!row || row->type != zfw::IF_TYPE_ETHERNET_CSMACD || row->physAddress != entry->address) return;
  const std::optional<ThroughputRates> rates =
      m_throughput.Sample(zfw::clock().tickCount(), row->inOctets, row->outOctets);
  if (!rates) return;
  ShowScale(IDC_TX_TOP, IDC_TX_MIDDLE, m_throughput.TxTop());
  ShowScale(IDC_RX_TOP, IDC_RX_MIDDLE, m_throughput.RxTop());
  if (CGraphCtrl* tx = Chart(IDC_TX_CHART)) tx->SetRange(1, m_throughput.TxTop());
  if (CGraphCtrl* rx = Chart(IDC_RX_CHART)) rx->SetRange(1, m_throughput.RxTop());
  AddToCharts(rates->txBps, rates->rxBps);
  setItemText(IDC_TX_RATE, std::string(kTxRateCaption) + " " + RateText(rates->txBps));
  setItemText(IDC_RX_RATE, std::string(kRxRateCaption) + " " + RateText(rates->rxBps));
}

void CMainPage::ShowScale(int topId, int middleId, uint64_t top) {
  setItemText(topId, RateText(top));
  setItemText(middleId, RateText(top / 2));
}

void CMainPage::RefreshIpInfo(void* adapter) {
  const std::optional<zfw::IpAdapterInfo> entry = AdapterIpEntry(m_sheet->Library(), adapter);
  if (!entry) return;
  const bool dhcp = AdapterUsesDhcp(m_sheet->Library(), adapter, *entry, m_app ? m_app->m_osVersion : kOsNt5);
  setItemText(IDC_DHCP, dhcp ? "Enable" : "Disable");
  setItemText(IDC_IP_ADDRESS, entry->ipAddress);
  setItemText(IDC_SUBNET_MASK, entry->ipMask);
  setItemText(IDC_GATEWAY, entry->gateway);
}

void CMainPage::OnSelectProfile() {
  zfw::ComboBox box = comboBox(IDC_PROFILE_BOX);
  const int at = box.curSel();
  if (at < 0 || !m_sheet || !m_sheet->Adapter()) return;
  const auto id = static_cast<zelcon::ProfileId>(box.itemData(at));
  std::string status;
  {
    auto lock = m_sheet->LockState();
    const PROFILE_ENTRY* p = m_sheet->Profiles().Find(id);
    if (!p) return;
    status = zelcon::FieldText(p->name) == "<Default>"
                 ? std::string(kScanStrongest)
                 : kScanningFor + std::string(zelcon::FieldText(p->ssid));
  }
  ClearTexts();
  setItemText(IDC_STATUS, status);
  m_radioOff = true;
  m_sheet->m_busy = 1;
  enableWindow(false);
  const int result = m_sheet->ApplyProfile(id);
  if (result == 0 || result == 4) FillProfileBox();
  enableWindow(true);
  m_sheet->m_busy = 0;
  m_radioOff = false;
  redraw();
}

void CMainPage::ResyncSecurity() {
  void* adapter = m_sheet ? m_sheet->Adapter() : nullptr;
  const int at = comboBox(IDC_PROFILE_BOX).curSel();
  if (!adapter || at < 0) return;  // no profile selected: nothing to put back
  uint32_t authMode;
  uint32_t encryption;
  {
    auto lock = m_sheet->LockState();
    const PROFILE_ENTRY* p =
        m_sheet->Profiles().Find(static_cast<zelcon::ProfileId>(comboBox(IDC_PROFILE_BOX).itemData(at)));
    if (!p) return;
    authMode = p->authMode;
    encryption = p->encryption;
  }
  IAdapterControl& lib = m_sheet->Library();
  if (authMode == 0 || authMode == 1 || authMode == 4) {
    const uint32_t wanted = authMode == 0 ? 0 : authMode == 1 ? 1 : 2;
    uint32_t now = wanted;
    if (lib.QueryAuthMode(adapter, now) == 0 && now != wanted) lib.SetAuthMode(adapter, wanted);
    uint32_t wep = 0;
    if (lib.QueryWepStatus(adapter, wep) == 0) {
      if (encryption == 0 && wep != 1) lib.SetWepStatus(adapter, 1);
      if (encryption == 1 && wep != 0) lib.SetWepStatus(adapter, 0);
    }
  } else {
    lib.WPAPortDown();
    lib.SetDisassociate(adapter);
  }
}

intptr_t CMainPage::onAppMessage(uint32_t code, const zfw::AppParam& param) {
  switch (code) {
    case HLVN_EVENT_CONNECT_FAILED:
    case HLVN_EVENT_ASSOCIATED:
    case HLVN_EVENT_IBSS_CONNECTED:
    case HLVN_EVENT_IBSS_FAILED:
    case APPMSG_REFRESH_STATUS:
      RefreshStatus();
      break;
    case ZELCON_NOTIFY_PORT_AUTHORIZED:
      // The supplicant's last text ("Authenticated") would otherwise stay in place of
      // "Connected", and the once-a-second refresh shows nothing unless it reads "Connected".
      RefreshStatus();
      break;
    case HLVN_EVENT_DISCONNECTED:
      if (m_sheet && !m_sheet->m_busy) RefreshStatus();
      break;
    case APPMSG_PROFILES_CHANGED:
      FillProfileBox();
      RefreshStatus();
      break;
    case APPMSG_STATUS_TEXT:
      ClearTexts();
      setItemText(IDC_STATUS, param.text);
      break;
    case ZELCON_NOTIFY_CONNECTION_TEXT:
      // Zero Configuration runs the connection then; the library's text is not ours to show.
      if (m_sheet && !m_sheet->m_zeroConfigOwns) setItemText(IDC_STATUS, param.text);
      break;
    case HLVN_EVENT_SECURITY_OID:
      ResyncSecurity();
      break;
  }
  return 0;
}
