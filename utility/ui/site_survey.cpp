#include "utility/ui/site_survey.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/control_builder.h"
#include "platform/gui/list_view.h"
#include "platform/gui/wait_cursor.h"
#include "utility/core/frequency_channel.h"
#include "utility/core/network_security.h"
#include "utility/core/profile_connect.h"
#include "utility/core/scan_records.h"
#include "utility/ui/advanced_filter_dlg.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/profile_wizard.h"
#include "utility/ui/zelcon_app.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

constexpr int kIcons[] = {151, 152, 145, 144, 155, 156};

std::string BssidText(const uint8_t (&mac)[6]) {
  char text[24];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}

// The security of the network with this BSSID, from the extended scan list.
zelcon::NetworkSecurity SecurityOf(IAdapterControl& lib, void* adapter, const uint8_t (&bssid)[6]) {
  std::vector<uint8_t> buffer(CSiteSurvey::kScanBufferSize, 0);
  uint32_t length = 0;
  if (lib.QueryScanListLength(adapter, buffer.data(), CSiteSurvey::kScanBufferSize, length) < 0 ||
      length == 0)
    return {};
  for (const zelcon::ExtendedScanEntry& e : zelcon::ParseExtendedScanList(buffer, length)) {
    if (std::memcmp(e.head.MacAddress, bssid, 6) == 0) return zelcon::DecodeNetworkSecurity(e.elements);
  }
  return {};
}

}  // namespace

CSiteSurvey::CSiteSurvey() : CZelconPage(103, "Site Survey") {
  on(zfw::BN_CLICKED, IDC_REFRESH, &CSiteSurvey::OnRefresh);
  on(zfw::BN_CLICKED, IDC_ASSOCIATE, &CSiteSurvey::OnAssociate);
  on(zfw::BN_CLICKED, IDC_FILTER, &CSiteSurvey::OnFilter);
  for (int id : {IDC_SHOW_PEER, IDC_SHOW_B, IDC_SHOW_G, IDC_SHOW_A})
    on(zfw::BN_CLICKED, id, &CSiteSurvey::OnDisplaySwitch);
  on(zfw::NM_CLICK, IDC_NETWORK_LIST, &CSiteSurvey::OnListClick);
  on(zfw::LVN_ITEMCHANGED, IDC_NETWORK_LIST, &CSiteSurvey::OnListClick);
  on(zfw::NM_DBLCLK, IDC_NETWORK_LIST, &CSiteSurvey::OnAssociate);
  on(zfw::NM_KILLFOCUS, IDC_NETWORK_LIST, &CSiteSurvey::OnListKillFocus);
}

void CSiteSurvey::buildControls(zfw::ControlBuilder& b) {
  b.list(IDC_NETWORK_LIST).row();
  b.check(IDC_SHOW_PEER, "Display Peer-To-Peer stations")
      .check(IDC_SHOW_B, "Display 802.11b Access Points")
      .row()
      .check(IDC_SHOW_G, "Display 802.11g Access Points")
      .check(IDC_SHOW_A, "Display 802.11a Access Points")
      .row();
  b.button(IDC_REFRESH, "&Refresh")
      .button(IDC_ASSOCIATE, "&Associate")
      .button(IDC_FILTER, "&Filter")
      .button(IDC_TEST, "&Test")
      .button(IDC_DISASSOCIATE, "&Disassociate");
}

bool CSiteSurvey::onInitDialog() {
  const bool result = CZelconPage::onInitDialog();
  zfw::ListView list = listView(IDC_NETWORK_LIST);
  const int w = kZelconPageWidth / 6;
  list.insertColumn(0, "Network SSID", 2 * w);
  list.insertColumn(1, "MAC Address", w * 3 / 2);
  list.insertColumn(2, "Security", w);
  list.insertColumn(3, "CH.", w / 2);
  list.insertColumn(4, "Signal", w * 4 / 5);
  list.insertColumn(5, "Network Type", w * 6 / 5);
  list.setExtendedStyle(zfw::LVS_EX_GRIDLINES | zfw::LVS_EX_FULLROWSELECT);
  list.setImageList(std::vector<int>(std::begin(kIcons), std::end(kIcons)));
  checkItem(IDC_SHOW_PEER, m_showPeer);
  checkItem(IDC_SHOW_B, m_showB);
  checkItem(IDC_SHOW_G, m_showG);
  checkItem(IDC_SHOW_A, m_showA);
  return result;
}

bool CSiteSurvey::onSetActive() {
  enableItem(IDC_ASSOCIATE, false);
  Refill();
  return CZelconPage::onSetActive();
}

// A privacy network is joined only with the security the user gives it in the "Configure
// Network" form; cancelling that form joins nothing.
bool CSiteSurvey::ConfigureNetwork(PROFILE_ENTRY& profile) {
  CProfileWizard wizard(IDS_CONFIGURE_NETWORK, m_sheet, m_app != nullptr ? m_app->m_iniPath : std::string(), this);
  wizard.ScatterProfile(profile);
  wizard.SetConfigureTarget(&profile);
  return wizard.doModal() == zfw::IDOK;
}

// The filter takes effect at the next Refresh.
void CSiteSurvey::OnFilter() {
  CAdvancedFilterDlg dialog(m_filter, this);
  dialog.doModal();
}

void CSiteSurvey::OnDisplaySwitch() {
  m_showPeer = isChecked(IDC_SHOW_PEER);
  m_showB = isChecked(IDC_SHOW_B);
  m_showG = isChecked(IDC_SHOW_G);
  m_showA = isChecked(IDC_SHOW_A);
  Refill();
}

void CSiteSurvey::OnListClick() {
  zfw::ListView list = listView(IDC_NETWORK_LIST);
  SCAN_LIST_ENTRY entry{};
  const int row = list.selectedRow();
  const bool named = row >= 0 && EntryOfRow(row, entry) && entry.SsidLength > 0;
  enableItem(IDC_ASSOCIATE, named);
}

void CSiteSurvey::OnListKillFocus() {
  if (focusedItem() != IDC_ASSOCIATE) enableItem(IDC_ASSOCIATE, false);
}

void CSiteSurvey::SetBusy(bool busy) {
  m_sheet->m_busy = busy ? 1 : 0;
  if (busy) {
    zfw::beginWaitCursor();
  } else {
    zfw::endWaitCursor();
  }
  enableWindow(!busy);
  redraw();
}

void CSiteSurvey::OnRefresh() {
  void* adapter = m_sheet ? m_sheet->Adapter() : nullptr;
  if (!adapter) return;
  IAdapterControl& lib = m_sheet->Library();
  SetBusy(true);
  uint32_t mode = 0;
  lib.QueryNetworkMode(adapter, mode);
  lib.SetNetworkMode(adapter, mode);
  if (m_filter.anySsid && m_filter.anyBssid && m_filter.allChannels) {
    lib.Scan(adapter);
  } else if (m_filter.anySsid) {
    ZELCON_BSSID_SCAN scan{};
    if (m_filter.anyBssid) {
      std::memset(scan.Bssid, 0xFF, sizeof scan.Bssid);
    } else {
      std::memcpy(scan.Bssid, m_filter.bssid, sizeof scan.Bssid);
    }
    std::memcpy(scan.Channel, m_filter.channels, sizeof scan.Channel);
    lib.BssidScan(adapter, &scan);
  } else {
    ZELCON_SSID_SCAN scan = zelcon::MakeSsidScan(m_filter.ssid, m_filter.channels);
    lib.SsidScan(adapter, &scan);
  }
  SetBusy(false);
  enableItem(IDC_ASSOCIATE, false);
  Refill();
}

void CSiteSurvey::Refill() {
  void* adapter = m_sheet ? m_sheet->Adapter() : nullptr;
  if (!adapter || !isCreated()) return;
  zfw::ListView list = listView(IDC_NETWORK_LIST);
  list.deleteAllItems();
  m_buffer.assign(kScanBufferSize, 0);
  zelcon::LINK_STATUS link;
  {
    auto lock = m_sheet->LockState();
    link = m_sheet->Link();
  }
  m_linkCopy = link;
  const bool linkAdHoc = link.networkMode == 0;
  if (m_sheet->Library().QueryScanList(adapter, m_buffer.data(), kScanBufferSize) != 0) return;

  const std::vector<SCAN_LIST_ENTRY> entries = zelcon::ParseScanList(m_buffer);
  int row = 0;
  for (size_t index = 0; index < entries.size(); ++index) {
    const SCAN_LIST_ENTRY& e = entries[index];
    const std::optional<std::string_view> ssid = zelcon::ScanEntrySsid(e);
    if (!ssid) continue;
    const bool adHoc = e.InfrastructureMode == 0;
    if (adHoc && !m_showPeer) continue;
    if (!adHoc && e.BOnly != 0 && !m_showB) continue;
    if (!adHoc && e.BOnly == 0 && !m_showG) continue;
    if (!m_filter.anyBssid && std::memcmp(e.MacAddress, m_filter.bssid, 6) != 0 &&
        std::memcmp(e.MacAddress, link.bssid, 6) != 0)
      continue;
    const uint32_t channel = zelcon::ChannelOfFrequency(e.DsConfig);
    if (channel == 0) continue;
    const bool inUse = link.connected && std::memcmp(e.MacAddress, link.bssid, 6) == 0 &&
                       *ssid == zelcon::FieldText(link.ssid) && adHoc == linkAdHoc &&
                       channel == link.channel;
    const int image = (adHoc ? kImageAdHoc : e.BOnly != 0 ? kImageB : kImageG) + (inUse ? 1 : 0);
    const std::string bssid = BssidText(e.MacAddress);
    list.insertItem(row, ssid->empty() ? "<" + bssid + ">" : std::string(*ssid), image);
    list.setItemText(row, 1, bssid);
    list.setItemText(row, 2, e.Privacy ? "Enable" : "Disable");
    list.setItemText(row, 3, std::to_string(channel));
    // RSSI -96 dBm and weaker show 0 per cent.
    const int32_t strength = zelcon::SignalAboveNoiseFloor(e.Rssi, 40);
    list.setItemText(row, 4, std::to_string(strength * 100 / 40) + "%");
    list.setItemText(row, 5, adHoc ? "Ad-Hoc" : "Infrastructure");
    list.setItemData(row, index);
    ++row;
  }
  // A sixth of the list is too narrow for an address or "Infrastructure": no text is cut.
  list.widenColumnsToFit();
}

bool CSiteSurvey::EntryOfRow(int row, SCAN_LIST_ENTRY& entry) const {
  const uintptr_t index = listView(IDC_NETWORK_LIST).itemData(row);
  const std::vector<SCAN_LIST_ENTRY> entries = zelcon::ParseScanList(m_buffer);
  if (index >= entries.size()) return false;
  entry = entries[index];
  return true;
}

PROFILE_ENTRY CSiteSurvey::NewProfileFor(const SCAN_LIST_ENTRY& e) {
  PROFILE_ENTRY p{};
  const std::string_view ssid = zelcon::ScanEntrySsid(e).value_or("");
  {
    auto lock = m_sheet->LockState();
    zelcon::SetFieldText(p.name, m_sheet->Profiles().UniqueName(ssid));
  }
  zelcon::SetFieldText(p.ssid, ssid);
  p.wlanMode = e.BOnly;
  p.adHocWlanMode = static_cast<uint8_t>(e.BOnly);
  p.networkType = e.InfrastructureMode;
  p.keepAdapterDefaults = 1;
  p.preamble = 1;
  p.prefer = 1;
  if (e.InfrastructureMode == 0) p.channel = zelcon::ChannelOfFrequency(e.DsConfig);
  p.dataRate = 255;
  p.fragThreshold = 2346;
  p.rtsThreshold = 2347;
  if (e.Privacy) {
    const zelcon::NetworkSecurity security = SecurityOf(m_sheet->Library(), m_sheet->Adapter(), e.MacAddress);
    p.authMode = security.authMode;
    p.encryption = security.encryption;
  }
  return p;
}

void CSiteSurvey::OnAssociate() {
  if (!m_sheet || !m_sheet->Adapter()) return;
  const int row = listView(IDC_NETWORK_LIST).selectedRow();
  SCAN_LIST_ENTRY e{};
  if (row < 0 || !EntryOfRow(row, e)) return;
  const std::optional<std::string_view> ssid = zelcon::ScanEntrySsid(e);
  if (!ssid || ssid->empty()) return;

  zelcon::ProfileId id = zelcon::kNoProfile;
  {
    auto lock = m_sheet->LockState();
    zelcon::ProfileList& profiles = m_sheet->Profiles();
    for (size_t i = 0; i < profiles.Size(); ++i) {
      PROFILE_ENTRY& p = profiles.At(i);
      if (zelcon::FieldText(p.ssid) != *ssid || p.networkType != e.InfrastructureMode) continue;
      if (p.wlanMode != 255 && p.wlanMode != e.BOnly) continue;
      id = profiles.IdAt(i);
      p.prefer = 1;
      if (!e.Privacy && p.encryption != 0) {
        p.authMode = 0;
        p.encryption = 0;
      }
      break;
    }
  }
  const bool isNew = id == zelcon::kNoProfile;
  if (isNew) {
    PROFILE_ENTRY made = NewProfileFor(e);
    if (e.Privacy && !ConfigureNetwork(made)) {
      zelcon::WipeProfile(made);
      return;
    }
    // ApplyProfile connects with a listed profile: the new one stands at the head until the
    // result decides whether it stays.
    auto lock = m_sheet->LockState();
    id = m_sheet->Profiles().Insert(0, made);
    zelcon::WipeProfile(made);
  }

  SetBusy(true);
  const int result = m_sheet->ApplyProfile(id);
  SetBusy(false);

  bool keep = !isNew;
  bool makeCurrent = result == 0;
  if (isNew && (result == 1 || result == kAlreadyOnNetwork)) {
    bool up;
    bool onIt;
    {
      auto lock = m_sheet->LockState();
      const zelcon::LINK_STATUS& link = m_sheet->Link();
      const PROFILE_ENTRY* p = m_sheet->Profiles().Find(id);
      up = link.connected || link.adHocUp;
      onIt = p && zelcon::FieldText(p->ssid) == zelcon::FieldText(link.ssid) &&
             p->networkType == link.networkMode;
    }
    keep = up && onIt;
    makeCurrent = keep;
    if (!up && !onIt) m_sheet->MakeProfileCurrent(zelcon::kNoProfile);
  } else if (isNew) {
    keep = result == 0;
  }
  if (isNew && !keep) {
    // A profile made here that did not connect leaves the list again.
    {
      auto lock = m_sheet->LockState();
      m_sheet->Profiles().Remove(id);
    }
    m_sheet->SaveProfiles();
  }
  if (makeCurrent) m_sheet->MakeProfileCurrent(id);
  if (isNew && keep) m_sheet->SaveProfiles();
  if (result == 0 || result == 1 || result == kAlreadyOnNetwork) Refill();
}

intptr_t CSiteSurvey::onAppMessage(uint32_t code, const zfw::AppParam&) {
  switch (code) {
    case HLVN_EVENT_ASSOCIATED:
    case HLVN_EVENT_IBSS_CONNECTED:
    case APPMSG_PROFILES_CHANGED:
      Refill();
      break;
    case HLVN_EVENT_CONNECT_FAILED:
    case HLVN_EVENT_IBSS_FAILED:
      if (m_linkCopy.ssid[0] != '\0') Refill();
      break;
    case HLVN_EVENT_DISCONNECTED:
      if (m_sheet && !m_sheet->m_busy) Refill();
      break;
  }
  return 0;
}
