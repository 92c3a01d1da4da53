#pragma once
// The LEAP and PEAP credential dialogs: login name, password (shown as typed) and domain of
// the security page's 802.1X method, written back to the page only on a successful OK.
#include <string>

#include "platform/gui/dialog.h"

class CSecuritySettgPage;

enum : int {
  IDD_EAP_TLS = 134,
  IDD_PEAP = 135,
  IDD_LEAP = 137,
  IDC_CRED_INNER = 1000,
  IDC_CRED_LOGIN = 1123,
  IDC_CRED_PASSWORD = 1125,
  IDC_CRED_DOMAIN = 1126,
};

class CPasswordCredentialDlg : public zfw::Dialog {
public:
  void onOK() override;

protected:
  CPasswordCredentialDlg(int templateId, CSecuritySettgPage& page, std::string caption);
  void buildControls(zfw::ControlBuilder& b) override;
  virtual void ExtraControls(zfw::ControlBuilder&) {}
  bool onInitDialog() override;
  // The message for missing credentials.
  virtual int MissingMessage() const = 0;

  CSecuritySettgPage& m_page;
};

class CLeapDlg : public CPasswordCredentialDlg {
public:
  explicit CLeapDlg(CSecuritySettgPage& page);

protected:
  int MissingMessage() const override;
};

class CPeapDlg : public CPasswordCredentialDlg {
public:
  explicit CPeapDlg(CSecuritySettgPage& page);

protected:
  void ExtraControls(zfw::ControlBuilder& b) override;
  bool onInitDialog() override;
  int MissingMessage() const override { return 63003; }
};

// Opens the credential dialog of the page's eapMethod; true when the user accepted it.
bool RunCredentialDialog(CSecuritySettgPage& page);
