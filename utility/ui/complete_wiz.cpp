#include "utility/ui/complete_wiz.h"

#include "platform/gui/property_sheet.h"
#include "utility/ui/adv_settg_page.h"
#include "utility/ui/basic_settg_page.h"
#include "utility/ui/security_settg_page.h"

namespace {

enum : int { IDS_COMPLETE = 61310 };

std::string ListText(const zfw::Wnd& page, int id) {
  zfw::ComboBox box = page.comboBox(id);
  return box.valid() ? box.lbText(box.curSel()) : std::string();
}

}  // namespace

CCompleteWiz::CCompleteWiz(zfw::Wnd& network, zfw::Wnd& security, zfw::Wnd& protocol,
                           std::function<bool()> createRecord)
    : zfw::PropertyPage(IDD_COMPLETE_WIZ, IDS_COMPLETE),
      m_network(network),
      m_security(security),
      m_protocol(protocol),
      m_createRecord(std::move(createRecord)) {
  setHideHeader();  // the wizard's last page stands beside its watermark, as its first would
}

void CCompleteWiz::buildControls(zfw::ControlBuilder& b) { b.text(IDC_COMPLETE_SUMMARY, "").row().stretch(); }

std::string CCompleteWiz::BuildProfileSummary() const {
  const std::pair<const char*, std::string> lines[] = {
      {"Profile Name = ", m_network.itemText(IDC_NET_NAME)},
      {"Network SSID = ", m_network.itemText(IDC_NET_SSID)},
      {"Network Type = ", ListText(m_network, IDC_NET_TYPE)},
      {"Channel = ", ListText(m_network, IDC_NET_CHANNEL)},
      {"Security = ", ListText(m_security, IDC_SEC_ENCRYPTION)},
      {"Authentication = ", ListText(m_security, IDC_SEC_AUTH)},
      {"Power Mode = ", ListText(m_protocol, IDC_PROT_POWER)},
      {"Radio Preamble = ", ListText(m_protocol, IDC_PROT_PREAMBLE)},
      {"Transmit Data Rate = ", ListText(m_protocol, IDC_PROT_RATE)},
      {"Fragmentation Threshold = ", std::to_string(m_protocol.itemInt(IDC_PROT_FRAG))},
      {"RTS Threshold = ", std::to_string(m_protocol.itemInt(IDC_PROT_RTS))},
  };
  std::string summary;
  for (const auto& [label, value] : lines) summary += label + value + "\r\n";
  return summary;
}

bool CCompleteWiz::onSetActive() {
  setWizardButtons(zfw::PSWIZB_BACK | zfw::PSWIZB_FINISH);
  setItemText(IDC_COMPLETE_SUMMARY, BuildProfileSummary());
  return zfw::PropertyPage::onSetActive();
}

bool CCompleteWiz::onWizardFinish() {
  if (m_createRecord && m_createRecord()) return true;
  setWizardButtons(zfw::PSWIZB_BACK | zfw::PSWIZB_FINISH);
  return false;
}
