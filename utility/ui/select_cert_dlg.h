#pragma once
// "Select Certificate" (dialog 125): the personal store's certificates by issuer, subject and
// expiry; Select hands the chosen one's issuer name and SHA-1 hash to the caller, View shows it.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/gui/dialog.h"

enum : int { IDD_SELECT_CERT = 125, IDC_SELECT_CERT_LIST = 1125, IDC_SELECT_CERT_VIEW = 1122 };

class CSelectCertDlg : public zfw::Dialog {
public:
  // `name` and `hash` are filled on Select (when a row is selected) and left alone otherwise.
  CSelectCertDlg(std::string& name, uint8_t (&hash)[20], zfw::Wnd* parent = nullptr);
  void onOK() override;

protected:
  void buildControls(zfw::ControlBuilder& b) override;
  bool onInitDialog() override;

private:
  void FillList();
  void OnListClick();
  void OnView();

  std::string& m_name;
  uint8_t (&m_hash)[20];
  std::vector<std::array<uint8_t, 20>> m_rowHashes;  // by row; zero when unreadable
};

// Puts the two dialogs behind the EAP-TLS credential dialog's "&Browse..." and "View".
void InstallCertificateDialogs();
