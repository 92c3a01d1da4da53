#pragma once
// "View Certificate" (dialog 127): the nine fields of one certificate in a two-column list.
#include "platform/cryptoapi/handles.h"
#include "platform/gui/dialog.h"

enum : int { IDD_VIEW_CERT = 127, IDC_VIEW_CERT_LIST = 1000 };

class CViewCertDlg : public zfw::Dialog {
public:
  // The context stays the caller's; it must outlive the dialog.
  explicit CViewCertDlg(capi::PCCERT_CONTEXT context, zfw::Wnd* parent = nullptr);

protected:
  void buildControls(zfw::ControlBuilder& b) override;
  bool onInitDialog() override;

private:
  capi::PCCERT_CONTEXT m_context;
};
