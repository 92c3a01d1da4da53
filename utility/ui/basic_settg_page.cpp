#include "utility/ui/basic_settg_page.h"

#include <cstdio>
#include <cstring>

#include "platform/gui/base/string_table.h"
#include "platform/gui/message_box.h"
#include "platform/gui/property_sheet.h"
#include "utility/ui/combo_codes.h"

namespace {

enum : int {
  IDS_NETWORK_INFO = 61305,
  IDS_NETWORK_HEADER = 61311,
  IDS_NAME_TAKEN = 62019,
  IDS_ILLEGAL_NAME = 62020,
};

std::string ChannelText(int channel) {
  double ghz = channel == 14 ? 2.484 : (2407 + 5 * channel) / 1000.0;
  char text[32];
  std::snprintf(text, sizeof text, "CH %d (%.3f GHz)", channel, ghz);
  return text;
}

}  // namespace

CBasicSettgPage::CBasicSettgPage(int templateId, ProfileWizardContext& wizard)
    : zfw::PropertyPage(templateId, IDS_NETWORK_INFO), m_wizard(wizard) {
  setHeaderTitle(zfw::loadString(IDS_NETWORK_HEADER));
  on(zfw::CBN_SELCHANGE, IDC_NET_TYPE, &CBasicSettgPage::OnTypeChange);
  bindCommand(zfw::CBN_SELCHANGE, IDC_NET_WLAN_MODE, [this](const zfw::NotifyInfo&) { OnModeChange(IDC_NET_WLAN_MODE); });
  bindCommand(zfw::CBN_SELCHANGE, IDC_NET_ADHOC_MODE, [this](const zfw::NotifyInfo&) { OnModeChange(IDC_NET_ADHOC_MODE); });
  bindCommand(zfw::CBN_SELCHANGE, IDC_NET_CHANNEL, [this](const zfw::NotifyInfo&) { m_wizard.Changed(); });
  on(zfw::EN_CHANGE, IDC_NET_NAME, &CBasicSettgPage::OnTextChange);
  on(zfw::EN_CHANGE, IDC_NET_SSID, &CBasicSettgPage::OnTextChange);
}

void CBasicSettgPage::buildControls(zfw::ControlBuilder& b) {
  b.text(0, "Profile Name:").edit(IDC_NET_NAME, 39).row();
  b.text(0, "Network Name (SSID):").edit(IDC_NET_SSID, 32).row();
  b.text(0, "Network Type:").combo(IDC_NET_TYPE).row();
  b.text(IDC_NET_WLAN_MODE_LABEL, "Wireless Mode:").combo(IDC_NET_WLAN_MODE).row();
  b.beginGroup(IDC_NET_ADHOC_GROUP, "When starting an AdHoc network:");
  b.text(IDC_NET_ADHOC_MODE_LABEL, "Wireless Mode:").combo(IDC_NET_ADHOC_MODE).row();
  b.text(IDC_NET_CHANNEL_LABEL, "Prefer Channel:").combo(IDC_NET_CHANNEL);
  b.endGroup().row().stretch();
}

bool CBasicSettgPage::onInitDialog() {
  m_showing = true;
  limitText(IDC_NET_NAME, 39);
  limitText(IDC_NET_SSID, 32);
  zfw::ComboBox type = comboBox(IDC_NET_TYPE);
  type.setItemData(type.addString("Infrastructure"), 1);
  type.setItemData(type.addString("Ad-Hoc"), 0);
  zfw::ComboBox mode = comboBox(IDC_NET_WLAN_MODE);
  mode.setItemData(mode.addString("Auto"), 255);
  mode.setItemData(mode.addString("802.11b"), 1);
  zfw::ComboBox adHoc = comboBox(IDC_NET_ADHOC_MODE);
  adHoc.setItemData(adHoc.addString("802.11b"), 1);
  adHoc.setItemData(adHoc.addString("802.11g"), 0);
  adHoc.setCurSel(1);
  BuildChannelList();
  type.setCurSel(0);
  OnTypeChange();
  m_showing = false;
  ShowState();
  return true;
}

bool CBasicSettgPage::IsAdHocSelected() const {
  zfw::ComboBox type = comboBox(IDC_NET_TYPE);
  return type.curSel() >= 0 && type.itemData(type.curSel()) == 0;
}

void CBasicSettgPage::BuildChannelList() {
  zfw::ComboBox channels = comboBox(IDC_NET_CHANNEL);
  channels.resetContent();
  channels.setItemData(channels.addString("Auto Select"), 0);
  if (comboBox(IDC_NET_ADHOC_MODE).curSel() >= 0) {
    for (int ch = m_wizard.firstChannel; ch <= m_wizard.lastChannel; ++ch) {
      channels.setItemData(channels.addString(ChannelText(ch)), uintptr_t(ch));
    }
  }
  int index = channels.findItemData(m_channel);
  channels.setCurSel(index >= 0 ? index : 0);
}

void CBasicSettgPage::Layout(bool enable) {
  const bool adHoc = IsAdHocSelected();
  showItem(IDC_NET_WLAN_MODE_LABEL, !adHoc);
  showItem(IDC_NET_WLAN_MODE, !adHoc);
  enableItem(IDC_NET_WLAN_MODE, enable);
  for (int id : {IDC_NET_ADHOC_GROUP, IDC_NET_ADHOC_MODE_LABEL, IDC_NET_ADHOC_MODE, IDC_NET_CHANNEL_LABEL, IDC_NET_CHANNEL}) {
    showItem(id, adHoc);
  }
  enableItem(IDC_NET_ADHOC_MODE, enable);
  const bool channelEnabled = enable && !m_wizard.channelLocked;
  enableItem(IDC_NET_CHANNEL, channelEnabled);
  if (channelEnabled && comboBox(IDC_NET_CHANNEL).curSel() < 0) comboBox(IDC_NET_CHANNEL).setCurSel(0);
}

void CBasicSettgPage::OnTypeChange() {
  Layout(true);
  const bool adHoc = IsAdHocSelected();
  m_wizard.adHocFlag = adHoc;
  if (!adHoc) {
    SelectCode(comboBox(IDC_NET_WLAN_MODE), 255);
  } else {
    SelectCode(comboBox(IDC_NET_ADHOC_MODE), 0);
    m_channel = 0;
    BuildChannelList();
  }
  if (!m_showing) m_wizard.Changed();
}

void CBasicSettgPage::OnModeChange(int listId) {
  zfw::ComboBox list = comboBox(listId);
  if (list.curSel() >= 0) m_wizard.wirelessMode = uint32_t(list.itemData(list.curSel()));
  if (!m_showing) m_wizard.Changed();
}

void CBasicSettgPage::UpdateNextButton() {
  if (sheet() && sheet()->isWizardMode()) setWizardButtons(itemText(IDC_NET_NAME).empty() ? 0u : unsigned(zfw::PSWIZB_NEXT));
}

void CBasicSettgPage::OnTextChange() {
  UpdateNextButton();
  if (!m_showing) m_wizard.Changed();
}

bool CBasicSettgPage::onSetActive() {
  UpdateNextButton();
  return zfw::PropertyPage::onSetActive();
}

void CBasicSettgPage::ShowState() {
  if (!isCreated()) return;
  m_showing = true;
  m_nameEdit.Show(*this, IDC_NET_NAME, m_name);
  m_ssidEdit.Show(*this, IDC_NET_SSID, m_ssid);
  SelectCode(comboBox(IDC_NET_TYPE), m_networkType);
  if (m_networkType != 0) {
    SelectCode(comboBox(IDC_NET_WLAN_MODE), m_wlanMode);
    m_wizard.wirelessMode = m_wlanMode;
  } else {
    SelectCode(comboBox(IDC_NET_ADHOC_MODE), m_adHocWlanMode);
    m_wizard.wirelessMode = m_adHocWlanMode;
    BuildChannelList();
  }
  m_wizard.adHocFlag = m_networkType == 0;
  Layout(m_enabled);
  m_showing = false;
}

int CBasicSettgPage::LoadBasicFromProfile(const PROFILE_ENTRY& p) {
  m_name = std::string(zelcon::FieldText(p.name));
  m_ssid = std::string(zelcon::FieldText(p.ssid));
  m_networkType = p.networkType;
  m_wlanMode = p.wlanMode;
  m_channel = p.channel;
  m_adHocWlanMode = p.adHocWlanMode;
  m_wizard.adHocFlag = m_networkType == 0;
  ShowState();
  return 1;
}

int CBasicSettgPage::SaveBasicToProfile(PROFILE_ENTRY& p) {
  if (!isCreated()) return 1;
  zelcon::SetFieldText(p.name, m_nameEdit.Take(*this, IDC_NET_NAME));
  zelcon::SetFieldText(p.ssid, m_ssidEdit.Take(*this, IDC_NET_SSID));
  p.hiddenSsid = 0;
  // Fields in order; a list without a selection stops the save there.
  const int lists[] = {IDC_NET_TYPE, IDC_NET_WLAN_MODE, IDC_NET_ADHOC_MODE, IDC_NET_CHANNEL};
  for (int id : lists) {
    zfw::ComboBox box = comboBox(id);
    if (box.curSel() < 0) break;
    const uint32_t code = uint32_t(box.itemData(box.curSel()));
    switch (id) {
      case IDC_NET_TYPE: p.networkType = code; break;
      case IDC_NET_WLAN_MODE: p.wlanMode = code; break;
      case IDC_NET_ADHOC_MODE: p.adHocWlanMode = uint8_t(code); break;
      default: p.channel = code; break;
    }
  }
  return 1;
}

int CBasicSettgPage::ValidateProfileName() {
  if (!isCreated()) return 1;
  const std::string name = m_nameEdit.Take(*this, IDC_NET_NAME);
  if (name.empty()) {
    zfw::messageBox(this, zfw::loadString(IDS_ILLEGAL_NAME), {}, zfw::MB_ICONEXCLAMATION);
    return 0;
  }
  if (m_wizard.nameTaken && m_wizard.nameTaken(name)) {
    zfw::messageBox(this, zfw::loadString(IDS_NAME_TAKEN), {}, zfw::MB_ICONEXCLAMATION);
    if (sheet()) sheet()->setActivePage(this);
    return 0;
  }
  return 1;
}

void CBasicSettgPage::EnableBasicPage(bool enable) {
  m_enabled = enable;
  if (!isCreated()) return;
  for (int id : {IDC_NET_NAME, IDC_NET_SSID, IDC_NET_TYPE}) enableItem(id, enable);
  Layout(enable);
}
