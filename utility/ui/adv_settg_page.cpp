#include "utility/ui/adv_settg_page.h"

#include <string>

#include "platform/gui/base/string_table.h"
#include "platform/gui/message_box.h"
#include "platform/gui/property_sheet.h"
#include "utility/ui/combo_codes.h"

namespace {

enum : int {
  IDS_PROTOCOL = 61308,
  IDS_PROTOCOL_HEADER = 61314,
  IDS_FRAG_MIN = 62030,
  IDS_FRAG_MAX = 62031,
  IDS_RTS_MAX = 62033,
};
enum : int { kFragMin = 256, kFragMax = 2346, kRtsMin = 0, kRtsMax = 2347 };
// Labels of the radio parameters, enabled with them.
constexpr int kLabels[] = {1014, 1015, 1016, 1017, 1018, 1129};

std::string RateText(uint32_t code) {
  return std::to_string(code / 2) + (code % 2 ? ".5 Mbps" : " Mbps");
}

}  // namespace

CAdvSettgPage::CAdvSettgPage(int templateId, ProfileWizardContext& wizard)
    : zfw::PropertyPage(templateId, IDS_PROTOCOL), m_wizard(wizard) {
  setHeaderTitle(zfw::loadString(IDS_PROTOCOL_HEADER));
  on(zfw::BN_CLICKED, IDC_PROT_KEEP, &CAdvSettgPage::OnKeepClicked);
  on(zfw::BN_CLICKED, IDC_PROT_RESET, &CAdvSettgPage::OnReset);
  for (int id : {IDC_PROT_POWER, IDC_PROT_PREAMBLE, IDC_PROT_RATE}) {
    bindCommand(zfw::CBN_SELCHANGE, id, [this](const zfw::NotifyInfo&) { m_wizard.Changed(); });
  }
  for (int id : {IDC_PROT_FRAG, IDC_PROT_RTS}) {
    bindCommand(zfw::EN_CHANGE, id, [this](const zfw::NotifyInfo&) {
      if (!m_showing) m_wizard.Changed();
    });
  }
}

void CAdvSettgPage::buildControls(zfw::ControlBuilder& b) {
  b.check(IDC_PROT_KEEP, templateId() == 116 ? "Do not change settings (Keep original settings)" : "Do not change settings")
      .row();
  b.text(1014, "Power Save Mode:").combo(IDC_PROT_POWER).row();
  b.text(1015, "Preamble:").combo(IDC_PROT_PREAMBLE).row();
  b.text(1016, "Transmit Rate:").combo(IDC_PROT_RATE).row();
  b.text(1017, "Fragmentation Threshold:").spin(IDC_PROT_FRAG, IDC_PROT_FRAG_SPIN, kFragMin, kFragMax).row();
  b.text(1018, "RTS/CTS Threshold:").spin(IDC_PROT_RTS, IDC_PROT_RTS_SPIN, kRtsMin, kRtsMax).row();
  b.text(1129, "(bytes)").stretch().button(IDC_PROT_RESET, "&Reset").row().stretch();
}

bool CAdvSettgPage::onInitDialog() {
  zfw::ComboBox power = comboBox(IDC_PROT_POWER);
  power.setItemData(power.addString("Continuous Access"), 0);
  power.setItemData(power.addString("Max Power Save"), 1);
  zfw::ComboBox preamble = comboBox(IDC_PROT_PREAMBLE);
  preamble.setItemData(preamble.addString("Auto"), 1);
  preamble.setItemData(preamble.addString("Short"), 2);
  preamble.setItemData(preamble.addString("Long"), 3);
  power.setCurSel(0);
  preamble.setCurSel(0);
  ShowState();
  return true;
}

void CAdvSettgPage::BuildRateList() {
  zfw::ComboBox rates = comboBox(IDC_PROT_RATE);
  const int sel = rates.curSel();
  const uint32_t remembered = sel >= 0 ? uint32_t(rates.itemData(sel)) : m_rate;
  static const uint32_t kB[] = {2, 4, 11, 22};
  static const uint32_t kG[] = {12, 18, 24, 36, 48, 72, 96, 108};
  static const uint32_t kAll[] = {2, 4, 11, 12, 18, 22, 24, 36, 48, 72, 96, 108};
  rates.resetContent();
  rates.setItemData(rates.addString("Auto"), 255);
  auto fill = [&](const auto& codes) {
    for (uint32_t c : codes) rates.setItemData(rates.addString(RateText(c)), c);
  };
  if (m_wizard.wirelessMode == 1) {
    fill(kB);
  } else if (m_wizard.wirelessMode == 2) {
    fill(kG);
  } else {
    fill(kAll);
  }
  const int index = rates.findItemData(remembered);
  rates.setCurSel(index >= 0 ? index : 0);
}

void CAdvSettgPage::Layout() {
  const bool on = m_enabled && !isChecked(IDC_PROT_KEEP);
  for (int id : kLabels) enableItem(id, on);
  for (int id : {IDC_PROT_PREAMBLE, IDC_PROT_RATE, IDC_PROT_FRAG, IDC_PROT_RTS, IDC_PROT_FRAG_SPIN, IDC_PROT_RTS_SPIN,
                 IDC_PROT_RESET}) {
    enableItem(id, on);
  }
  if (m_wizard.adHocFlag) {
    comboBox(IDC_PROT_POWER).setCurSel(0);  // an ad hoc network cannot sleep
    enableItem(IDC_PROT_POWER, false);
  } else {
    enableItem(IDC_PROT_POWER, on);
  }
  enableItem(IDC_PROT_KEEP, m_enabled);
}

void CAdvSettgPage::ShowState() {
  if (!isCreated()) return;
  m_showing = true;
  checkItem(IDC_PROT_KEEP, m_keep ? 1 : 0);
  SelectCode(comboBox(IDC_PROT_POWER), m_power);
  SelectCode(comboBox(IDC_PROT_PREAMBLE), m_preamble);
  comboBox(IDC_PROT_RATE).setCurSel(-1);
  Layout();
  BuildRateList();
  setItemInt(IDC_PROT_FRAG, long(m_frag));
  setItemInt(IDC_PROT_RTS, long(m_rts));
  m_showing = false;
}

bool CAdvSettgPage::onSetActive() {
  setWizardButtons(zfw::PSWIZB_BACK | zfw::PSWIZB_NEXT);
  Layout();
  BuildRateList();
  return zfw::PropertyPage::onSetActive();
}

void CAdvSettgPage::OnKeepClicked() {
  m_keep = isChecked(IDC_PROT_KEEP) ? 1 : 0;
  Layout();
  m_wizard.Changed();
}

void CAdvSettgPage::OnReset() {
  for (int id : {IDC_PROT_POWER, IDC_PROT_PREAMBLE, IDC_PROT_RATE}) comboBox(id).setCurSel(0);
  Layout();
  setItemInt(IDC_PROT_FRAG, kFragMax);
  setItemInt(IDC_PROT_RTS, kRtsMax);
  m_wizard.Changed();
}

int CAdvSettgPage::LoadAdvFromProfile(const PROFILE_ENTRY& p) {
  m_keep = p.keepAdapterDefaults;
  m_power = p.powerMode;
  m_preamble = p.preamble;
  m_rate = p.dataRate;
  m_frag = p.fragThreshold;
  m_rts = p.rtsThreshold;
  ShowState();
  return 1;
}

int CAdvSettgPage::SaveAdvToProfile(PROFILE_ENTRY& p) {
  if (!isCreated()) return 1;
  p.keepAdapterDefaults = isChecked(IDC_PROT_KEEP) ? 1 : 0;
  if (!p.keepAdapterDefaults) {
    for (auto [id, field] : {std::pair{IDC_PROT_POWER, &p.powerMode}, std::pair{IDC_PROT_PREAMBLE, &p.preamble},
                             std::pair{IDC_PROT_RATE, &p.dataRate}}) {
      zfw::ComboBox box = comboBox(id);
      if (box.curSel() >= 0) *field = uint32_t(box.itemData(box.curSel()));
    }
    p.fragThreshold = uint32_t(itemInt(IDC_PROT_FRAG));
    p.rtsThreshold = uint32_t(itemInt(IDC_PROT_RTS));
  } else if (m_wizard.createNewProfile) {
    p.fragThreshold = kFragMax;
    p.rtsThreshold = kRtsMax;
  }
  return 1;
}

int CAdvSettgPage::ValidateThresholds() {
  if (!isCreated() || isChecked(IDC_PROT_KEEP)) return 1;
  const long frag = itemInt(IDC_PROT_FRAG), rts = itemInt(IDC_PROT_RTS);
  std::string message;
  if (frag < kFragMin) message = zfw::loadString(IDS_FRAG_MIN) + std::to_string(kFragMin);
  if (frag > kFragMax) message = zfw::loadString(IDS_FRAG_MAX) + std::to_string(kFragMax);
  if (rts > kRtsMax) message = zfw::loadString(IDS_RTS_MAX) + std::to_string(kRtsMax);
  if (message.empty()) return 1;
  zfw::messageBox(this, message, {}, zfw::MB_ICONEXCLAMATION);
  return 0;
}

void CAdvSettgPage::EnableAdvPage(bool enable) {
  m_enabled = enable;
  if (isCreated()) Layout();
}
