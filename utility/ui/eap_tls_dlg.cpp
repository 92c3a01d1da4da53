#include "utility/ui/eap_tls_dlg.h"

#include <cstring>

#include "platform/gui/base/string_table.h"
#include "platform/gui/message_box.h"
#include "utility/ui/password_credential_dlg.h"
#include "utility/ui/security_settg_page.h"

namespace {
enum : int { IDS_TLS_MISSING = 63002 };
}  // namespace

std::function<bool(zfw::Wnd&, std::string&, uint8_t (&)[20])> CEapTlsDlg::s_selectCertificate;
std::function<void(zfw::Wnd&, const std::string&, const uint8_t (&)[20])> CEapTlsDlg::s_viewCertificate;

CEapTlsDlg::CEapTlsDlg(CSecuritySettgPage& page) : zfw::Dialog(IDD_EAP_TLS, &page), m_page(page) {
  setCaption(std::string(page.m_eapMethod == 10 ? "WPA2 " : "WPA ") + "EAP/TLS Radius Configuration");
  on(zfw::BN_CLICKED, IDC_TLS_BROWSE, &CEapTlsDlg::OnBrowse);
  on(zfw::BN_CLICKED, IDC_TLS_VIEW, &CEapTlsDlg::OnView);
}

void CEapTlsDlg::buildControls(zfw::ControlBuilder& b) {
  b.text(0, "Login Name:").edit(IDC_CRED_LOGIN, 39).row();
  b.text(0, "Certificate:").edit(IDC_TLS_CERT_NAME, 39, zfw::ES_READONLY).row();
  b.button(IDC_TLS_BROWSE, "&Browse...").button(IDC_TLS_VIEW, "View").row();
  b.stretch().button(zfw::IDOK, "OK", true).button(zfw::IDCANCEL, "Cancel");
}

bool CEapTlsDlg::onInitDialog() {
  m_certName = m_page.CertName();
  std::memcpy(m_certHash, m_page.m_certHash, sizeof m_certHash);
  setItemText(IDC_CRED_LOGIN, m_page.LoginName());
  setItemText(IDC_TLS_CERT_NAME, m_certName);
  return true;
}

void CEapTlsDlg::OnBrowse() {
  if (!s_selectCertificate || !s_selectCertificate(*this, m_certName, m_certHash)) return;
  setItemText(IDC_TLS_CERT_NAME, m_certName);
  enableItem(IDC_TLS_VIEW, !m_certName.empty());
}

void CEapTlsDlg::OnView() {
  if (m_certName.empty() || !s_viewCertificate) return;
  s_viewCertificate(*this, m_certName, m_certHash);
}

void CEapTlsDlg::onOK() {
  std::string login = itemText(IDC_CRED_LOGIN);
  if (login.empty() || m_certName.empty()) {
    zfw::messageBox(this, zfw::loadString(IDS_TLS_MISSING), {}, zfw::MB_ICONEXCLAMATION);
    return;
  }
  m_page.SetLoginName(std::move(login));
  m_page.SetCertName(m_certName);
  std::memcpy(m_page.m_certHash, m_certHash, sizeof m_certHash);
  endDialog(zfw::IDOK);
}
