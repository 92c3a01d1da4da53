#include "utility/ui/advanced_page.h"

#include <algorithm>
#include <string>
#include <utility>

#include "platform/gui/combo_box.h"
#include "platform/gui/control_builder.h"
#include "platform/gui/wait_cursor.h"
#include "utility/ui/app_messages.h"
#include "utility/ui/link_snapshot.h"
#include "utility/ui/zelcon_app.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

constexpr int kDescription = 1001;
constexpr int kDefaultButton = 1002;
constexpr int kRateList = 1003;
constexpr int kApplyButton = 1004;
constexpr int kRtsSpin = 1008;
constexpr int kPowerList = 1010;
constexpr int kPreambleList = 1011;
constexpr int kRtsEdit = 1013;
constexpr int kFragEdit = 1019;
constexpr int kTxAntennaList = 1022;
constexpr int kRxAntennaList = 1023;
constexpr int kTxPowerList = 1024;
constexpr int kTcpIpCheck = 1030;
constexpr int kAutoConnectCheck = 1031;
constexpr int kFragSpin = 1080;
constexpr int kBoostCheck = 1121;
constexpr int kAutoLinkCheck = 1122;
constexpr int kCcxCheck = 1132;
constexpr int kWmmCheck = 1133;

constexpr int kFragLow = 256, kFragHigh = 2346;
constexpr int kRtsLow = 0, kRtsHigh = 2347;
constexpr uint32_t kAutoRate = 255;
constexpr uint32_t kDiversityOn = 0xFFFF;

// Rates in units of 500 kbps.
const std::vector<uint32_t> kRates80211b = {2, 4, 11, 22};
const std::vector<uint32_t> kRates80211a = {12, 18, 24, 36, 48, 72, 96, 108};
const std::vector<uint32_t> kRatesMixed = {2, 4, 11, 12, 18, 22, 24, 36, 48, 72, 96, 108};

std::string RateText(uint32_t rate) {
  return std::to_string(rate / 2) + (rate % 2 ? ".5 Mbps" : " Mbps");
}

void Fill(zfw::ComboBox combo, const std::vector<std::pair<const char*, uint32_t>>& items) {
  for (const auto& [text, data] : items) combo.setItemData(combo.addString(text), data);
}

}  // namespace

CAdvancedPage::CAdvancedPage() : CZelconPage(115, "Advanced") {
  const std::pair<int, int> lists[] = {{kPowerList, kPowerSave},     {kPreambleList, kPreamble},
                                       {kTxAntennaList, kTxAntenna}, {kRxAntennaList, kRxAntenna},
                                       {kTxPowerList, kTxPower},     {kRateList, kRate | kPreamble}};
  for (const auto& list : lists) {
    const int bits = list.second;
    bindCommand(zfw::CBN_SELCHANGE, list.first,
                [this, bits](const zfw::NotifyInfo&) { MarkChanged(bits); });
  }
  bindCommand(zfw::EN_CHANGE, kFragEdit, [this](const zfw::NotifyInfo&) { MarkChanged(kFragmentation); });
  bindCommand(zfw::EN_CHANGE, kRtsEdit, [this](const zfw::NotifyInfo&) { MarkChanged(kRts); });
  on(zfw::BN_CLICKED, kBoostCheck, &CAdvancedPage::OnBoostMode);
  on(zfw::BN_CLICKED, kTcpIpCheck, &CAdvancedPage::OnTcpIp);
  on(zfw::BN_CLICKED, kAutoConnectCheck, &CAdvancedPage::OnAutoConnect);
  on(zfw::BN_CLICKED, kAutoLinkCheck, &CAdvancedPage::OnAutoLink);
  on(zfw::BN_CLICKED, kApplyButton, &CAdvancedPage::Apply);
  on(zfw::BN_CLICKED, kDefaultButton, &CAdvancedPage::OnDefault);
}

void CAdvancedPage::buildControls(zfw::ControlBuilder& b) {
  b.text(kDescription, "").row();
  b.text(0, "Power Save Mode:").combo(kPowerList).text(0, "Preamble (802.11b):").combo(kPreambleList).row();
  b.text(0, "Transmit Power:").combo(kTxPowerList).text(0, "Transmit Rate:").combo(kRateList).row();
  b.text(0, "Transmit Antenna:").combo(kTxAntennaList).text(0, "Receive Antenna:").combo(kRxAntennaList).row();
  b.text(0, "Fragmentation Threshold:").spin(kFragEdit, kFragSpin, kFragLow, kFragHigh);
  b.text(0, "RTS/CTS Threshold:").spin(kRtsEdit, kRtsSpin, kRtsLow, kRtsHigh).row();
  b.check(kBoostCheck, "Boost Mode").check(kAutoLinkCheck, "Enable Auto Link").row();
  b.check(kTcpIpCheck, "Manage TCP/IP Properties according to the Profile").row();
  b.check(kAutoConnectCheck,
          "Auto connect if link loss or no connection (Use checked profiles in <Profile Manager>)")
      .row();
  b.check(kCcxCheck, "Enable CCX").check(kWmmCheck, "Enable WMM").row();
  b.stretch().button(kDefaultButton, "&Default").button(kApplyButton, "&Apply Changes").row();
}

bool CAdvancedPage::onInitDialog() {
  CZelconPage::onInitDialog();
  Fill(comboBox(kPowerList), {{"Continuous Access", 0}, {"Max Power Save", 1}});
  Fill(comboBox(kPreambleList), {{"Auto", 1}, {"Short", 2}, {"Long", 3}});
  Fill(comboBox(kTxPowerList), {{"Auto", 4}, {"High", 3}, {"Medium", 2}, {"Low", 1}});
  Fill(comboBox(kTxAntennaList), {{"Diversity On", kDiversityOn}, {"Antenna 2", 2}});
  comboBox(kTxAntennaList).setCurSel(1);
  Fill(comboBox(kRxAntennaList), {{"Diversity On", kDiversityOn}, {"Diversity Off", 2}});
  checkItem(kCcxCheck, 1);
  enableItem(kCcxCheck, false);
  enableItem(kWmmCheck, false);
  showItem(kWmmCheck, false);
  return true;
}

bool CAdvancedPage::onSetActive() {
  m_changed = 0;
  RebuildRateList();
  Refresh();
  return CZelconPage::onSetActive();
}

bool CAdvancedPage::onKillActive() {
  m_changed = 0;
  return CZelconPage::onKillActive();
}

bool CAdvancedPage::onApply() {
  if (m_changed != 0) Apply();
  return CZelconPage::onApply();
}

intptr_t CAdvancedPage::onAppMessage(uint32_t code, const zfw::AppParam& param) {
  if (code == APPMSG_PROFILES_CHANGED) {
    Refresh();
    return 0;
  }
  return CZelconPage::onAppMessage(code, param);
}

void CAdvancedPage::MarkChanged(int bits) {
  if (!m_filling) m_changed |= bits;
}

void CAdvancedPage::SelectData(int id, uint32_t value) {
  zfw::ComboBox combo = comboBox(id);
  const int index = combo.findItemData(value);
  if (index >= 0) combo.setCurSel(index);
}

uint32_t CAdvancedPage::SelectedData(int id) const {
  zfw::ComboBox combo = comboBox(id);
  return static_cast<uint32_t>(combo.itemData(combo.curSel()));
}

void CAdvancedPage::RebuildRateList() {
  zfw::ComboBox rates = comboBox(kRateList);
  const int selected = rates.curSel();
  const uint32_t remembered = selected >= 0 ? SelectedData(kRateList) : kAutoRate;
  rates.resetContent();
  uint32_t mode = 0;
  void* adapter = m_sheet ? m_sheet->Adapter() : nullptr;
  if (m_sheet) {
    const zelcon::LINK_STATUS link = LinkSnapshot(*m_sheet);
    if (link.connected || link.adHocUp) {
      mode = link.wlanMode;
    } else if (adapter) {
      m_sheet->Library().QueryWlanMode(adapter, mode);
    }
  }
  const std::vector<uint32_t>& list = mode == 1 ? kRates80211b : mode == 2 ? kRates80211a : kRatesMixed;
  rates.setItemData(rates.addString("Auto"), kAutoRate);
  for (uint32_t rate : list) rates.setItemData(rates.addString(RateText(rate)), rate);
  const int index = rates.findItemData(remembered);
  rates.setCurSel(index >= 0 ? index : 0);
}

void CAdvancedPage::ShowThresholds() {
  m_filling = true;
  setItemInt(kFragEdit, m_fragThreshold);
  setItemInt(kRtsEdit, m_rtsThreshold);
  m_filling = false;
}

void CAdvancedPage::Refresh() {
  void* adapter = m_sheet ? m_sheet->Adapter() : nullptr;
  if (!adapter) {
    setItemText(kDescription, "");
    for (int id : {kPowerList, kPreambleList, kTxAntennaList, kRxAntennaList, kTxPowerList, kRateList}) {
      comboBox(id).setCurSel(-1);
    }
    m_fragThreshold = 0;
    m_rtsThreshold = 0;
    ShowThresholds();
    return;
  }
  IAdapterControl& lib = m_sheet->Library();
  checkItem(kTcpIpCheck, m_app->ReadIniInt("Advanced", "TcpIpUseProfile", 1) == 1);
  checkItem(kAutoConnectCheck, m_app->ReadIniInt("Advanced", "Auto Configuration", 1) == 1);
  checkItem(kAutoLinkCheck, m_sheet->m_autoLinkEnabled.load() != 0);
  for (int id : {kPowerList, kPreambleList, kTxAntennaList, kRxAntennaList, kRateList}) {
    comboBox(id).setCurSel(0);
  }
  m_fragThreshold = kFragHigh;
  m_rtsThreshold = kRtsHigh;

  char description[200] = {};
  if (lib.QueryDeviceDesc(adapter, description, sizeof(description)) == 0) {
    description[sizeof(description) - 1] = '\0';  // the library's text may fill the buffer
    setItemText(kDescription, description);
  }
  // Only the 6140 adapters have a boost mode; 0 is "on".
  if (std::string(description).find("6140") != std::string::npos) {
    enableItem(kBoostCheck, true);
    uint32_t boost = 0;
    if (lib.QueryBoostMode(adapter, boost) == 0) checkItem(kBoostCheck, boost == 0);
  } else {
    enableItem(kBoostCheck, false);
  }
  // Power saving means nothing in an ad hoc network.
  const zelcon::LINK_STATUS link = LinkSnapshot(*m_sheet);
  enableItem(kPowerList, (!link.connected && !link.adHocUp) || link.networkMode == 1);

  using Query = int (IAdapterControl::*)(void*, uint32_t&);
  const std::pair<int, Query> settings[] = {
      {kPowerList, &IAdapterControl::QueryPowerMode},   {kTxAntennaList, &IAdapterControl::QueryTxAntenna},
      {kRxAntennaList, &IAdapterControl::QueryRxAntenna}, {kTxPowerList, &IAdapterControl::QueryTxPower},
      {kRateList, &IAdapterControl::QueryDataRate},     {kPreambleList, &IAdapterControl::QueryPreamble}};
  for (auto [id, query] : settings) {
    uint32_t value = 0;
    if ((lib.*query)(adapter, value) == 0) SelectData(id, value);
  }
  uint32_t value = 0;
  if (lib.QueryWepStatus(adapter, value) == 0) {
    enableItem(kFragEdit, true);
    enableItem(kFragSpin, true);
    if (lib.QueryFragThreshold(adapter, value) == 0) m_fragThreshold = static_cast<int>(value);
  }
  if (lib.QueryRTSThreshold(adapter, value) == 0) m_rtsThreshold = static_cast<int>(value);
  ShowThresholds();
}

void CAdvancedPage::Apply() {
  void* adapter = m_sheet ? m_sheet->Adapter() : nullptr;
  if (!adapter) return;
  zfw::WaitCursor wait;
  m_fragThreshold = static_cast<int>(itemInt(kFragEdit));
  m_rtsThreshold = static_cast<int>(itemInt(kRtsEdit));
  IAdapterControl& lib = m_sheet->Library();
  if (m_changed & kPowerSave) lib.SetPowerMode(adapter, SelectedData(kPowerList));
  if (m_changed & kPreamble) lib.SetPreamble(adapter, SelectedData(kPreambleList));
  if (m_changed & kFragmentation) {
    lib.SetFragThreshold(adapter, static_cast<uint32_t>(std::clamp(m_fragThreshold, kFragLow, kFragHigh)));
  }
  if (m_changed & kRts) {
    lib.SetRTSThreshold(adapter, static_cast<uint32_t>(std::clamp(m_rtsThreshold, kRtsLow, kRtsHigh)));
  }
  if (m_changed & kTxPower) lib.SetTxPower(adapter, SelectedData(kTxPowerList));
  if (m_changed & kTxAntenna) lib.SetTxAntenna(adapter, SelectedData(kTxAntennaList));
  if (m_changed & kRxAntenna) lib.SetRxAntenna(adapter, SelectedData(kRxAntennaList));
  if (m_changed & kRate) lib.SetDataRate(adapter, SelectedData(kRateList));
  if (m_changed & kBoost) {
    const uint32_t boost = isChecked(kBoostCheck) ? 0 : 1;
    lib.SetBoostMode(adapter, boost);
    m_app->WriteIniInt("Advanced", "BoostMode", static_cast<int>(boost));
  }
  m_changed = 0;
  ShowThresholds();
}

void CAdvancedPage::OnDefault() {
  for (int id : {kPowerList, kRateList, kPreambleList, kTxPowerList}) comboBox(id).setCurSel(0);
  // The last item with the data: the lists may hold more than one.
  auto selectLast = [this](int id, uint32_t data) {
    zfw::ComboBox combo = comboBox(id);
    for (int i = combo.count() - 1; i >= 0; --i) {
      if (combo.itemData(i) == data) {
        combo.setCurSel(i);
        return;
      }
    }
  };
  selectLast(kTxAntennaList, 2);
  selectLast(kRxAntennaList, kDiversityOn);
  m_fragThreshold = kFragHigh;
  m_rtsThreshold = kRtsHigh;
  ShowThresholds();
  m_changed = kDefaults;
  Apply();
}

void CAdvancedPage::OnBoostMode() {
  m_changed |= kBoost;
  void* adapter = m_sheet ? m_sheet->Adapter() : nullptr;
  const uint32_t boost = isChecked(kBoostCheck) ? 0 : 1;
  if (adapter) m_sheet->Library().SetBoostMode(adapter, boost);
  m_app->WriteIniInt("Advanced", "BoostMode", static_cast<int>(boost));
}

void CAdvancedPage::OnTcpIp() {
  m_app->WriteIniInt("Advanced", "TcpIpUseProfile", isChecked(kTcpIpCheck) ? 1 : 0);
}

void CAdvancedPage::OnAutoConnect() {
  const int checked = isChecked(kAutoConnectCheck) ? 1 : 0;
  m_app->WriteIniInt("Advanced", "Auto Configuration", checked);
  m_sheet->m_autoConfiguration = checked;
}

void CAdvancedPage::OnAutoLink() {
  const int checked = isChecked(kAutoLinkCheck) ? 1 : 0;
  m_app->WriteIniInt("Advanced", "AutoLink", checked);
  m_sheet->m_autoLinkEnabled = checked;
}
