#pragma once
// The countdown box (dialog 128) Auto Link shows between its steps: a message, a bar that
// fills second by second and " N seconds remaining..." as its caption. It closes itself when
// the time is up and cannot be dismissed earlier.
#include <string>

#include "platform/gui/dialog.h"

class CCountdownDlg : public zfw::Dialog {
public:
  enum : int { IDD = 128, IDC_TEXT = 1007, IDC_BAR = 1008 };
  static constexpr int kTickTimer = 0x7100;

  CCountdownDlg(std::string message, int seconds, zfw::Wnd* parent);
  int Elapsed() const { return m_elapsed; }

  void onCancel() override {}  // the box waits out its time

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
  bool onInitDialog() override;
  void onTimer(int id) override;

private:
  void ShowRemaining();

  std::string m_message;
  int m_seconds;
  int m_elapsed = 0;
};
