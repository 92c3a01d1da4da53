#include "utility/ui/password_credential_dlg.h"

#include "platform/gui/base/string_table.h"
#include "platform/gui/message_box.h"
#include "utility/ui/eap_tls_dlg.h"
#include "utility/ui/security_settg_page.h"
#include "utility/ui/wipe_string.h"

namespace {

enum : int { IDS_MSCHAPV2 = 61358, IDS_CCX_MISSING = 63004, IDS_WPA_LEAP_MISSING = 63006 };
constexpr int kFieldChars = 39;  // the 40-byte fields keep their terminator

}  // namespace

CPasswordCredentialDlg::CPasswordCredentialDlg(int templateId, CSecuritySettgPage& page, std::string caption)
    : zfw::Dialog(templateId, &page), m_page(page) {
  setCaption(caption);
}

void CPasswordCredentialDlg::buildControls(zfw::ControlBuilder& b) {
  b.text(0, "Login Name:").edit(IDC_CRED_LOGIN, kFieldChars).row();
  b.text(0, "Password:").edit(IDC_CRED_PASSWORD, kFieldChars).row();
  b.text(0, "Domain:").edit(IDC_CRED_DOMAIN, kFieldChars).row();
  ExtraControls(b);
  b.stretch().button(zfw::IDOK, "OK", true).button(zfw::IDCANCEL, "Cancel");
}

bool CPasswordCredentialDlg::onInitDialog() {
  setItemText(IDC_CRED_LOGIN, m_page.LoginName());
  setItemText(IDC_CRED_PASSWORD, m_page.Password());
  setItemText(IDC_CRED_DOMAIN, m_page.Domain());
  return true;
}

void CPasswordCredentialDlg::onOK() {
  std::string login = itemText(IDC_CRED_LOGIN), password = itemText(IDC_CRED_PASSWORD);
  if (login.empty() || password.empty()) {
    WipeString(password);
    zfw::messageBox(this, zfw::loadString(MissingMessage()), {}, zfw::MB_ICONEXCLAMATION);
    return;
  }
  m_page.SetLoginName(std::move(login));
  m_page.SetPassword(std::move(password));
  m_page.SetDomain(itemText(IDC_CRED_DOMAIN));
  endDialog(zfw::IDOK);
}

CLeapDlg::CLeapDlg(CSecuritySettgPage& page)
    : CPasswordCredentialDlg(IDD_LEAP, page,
                             std::string(page.m_eapMethod == 8 ? "CCX " : "WPA ") + "LEAP Radius Configuration") {}

int CLeapDlg::MissingMessage() const { return m_page.m_eapMethod == 8 ? IDS_CCX_MISSING : IDS_WPA_LEAP_MISSING; }

CPeapDlg::CPeapDlg(CSecuritySettgPage& page)
    : CPasswordCredentialDlg(IDD_PEAP, page,
                             std::string(page.m_eapMethod == 11 ? "WPA2 " : "WPA ") + "PEAP Radius Configuration") {}

void CPeapDlg::ExtraControls(zfw::ControlBuilder& b) {
  b.text(0, "Inner EAP Protocol:").combo(IDC_CRED_INNER).row();
}

bool CPeapDlg::onInitDialog() {
  zfw::ComboBox inner = comboBox(IDC_CRED_INNER);
  inner.addString(zfw::loadString(IDS_MSCHAPV2));
  inner.setCurSel(0);
  return CPasswordCredentialDlg::onInitDialog();
}

bool RunCredentialDialog(CSecuritySettgPage& page) {
  switch (page.m_eapMethod) {
    case 3: case 8: case 14: {
      CLeapDlg dlg(page);
      return dlg.doModal() == zfw::IDOK;
    }
    case 6: case 11: case 16: {
      CPeapDlg dlg(page);
      return dlg.doModal() == zfw::IDOK;
    }
    case 5: case 10: case 15: {
      CEapTlsDlg dlg(page);
      return dlg.doModal() == zfw::IDOK;
    }
    default:
      return false;
  }
}
