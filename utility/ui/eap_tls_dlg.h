#pragma once
// The EAP-TLS credential dialog: login name and the client certificate (its issuer's name and
// SHA-1 hash), chosen with "&Browse..." and shown with "View".
#include <cstdint>
#include <functional>
#include <string>

#include "platform/gui/dialog.h"

class CSecuritySettgPage;

enum : int { IDC_TLS_CERT_NAME = 1003, IDC_TLS_BROWSE = 1011, IDC_TLS_VIEW = 1122 };

class CEapTlsDlg : public zfw::Dialog {
public:
  explicit CEapTlsDlg(CSecuritySettgPage& page);
  void onOK() override;

  // The certificate dialogs: choose a certificate (true on Select, with its name and hash)
  // and show the one of a name and hash. Until they are installed, the buttons do nothing.
  static std::function<bool(zfw::Wnd& owner, std::string& name, uint8_t (&hash)[20])> s_selectCertificate;
  static std::function<void(zfw::Wnd& owner, const std::string& name, const uint8_t (&hash)[20])> s_viewCertificate;

protected:
  void buildControls(zfw::ControlBuilder& b) override;
  bool onInitDialog() override;

private:
  void OnBrowse();
  void OnView();

  CSecuritySettgPage& m_page;
  std::string m_certName;
  uint8_t m_certHash[20] = {};
};
