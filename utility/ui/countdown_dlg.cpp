#include "utility/ui/countdown_dlg.h"

#include <cstdio>

#include "platform/gui/control_builder.h"

CCountdownDlg::CCountdownDlg(std::string message, int seconds, zfw::Wnd* parent)
    : zfw::Dialog(IDD, parent), m_message(std::move(message)), m_seconds(seconds) {}

void CCountdownDlg::buildControls(zfw::ControlBuilder& b) {
  b.text(IDC_TEXT, "").row().progress(IDC_BAR);
}

bool CCountdownDlg::onInitDialog() {
  zfw::Dialog::onInitDialog();
  setTimer(kTickTimer, 1000);
  if (parentWnd() && parentWnd()->isCreated()) moveWindow(parentWnd()->windowRect());
  progressBar(IDC_BAR).setRange(0, m_seconds);
  setItemText(IDC_TEXT, m_message);
  ShowRemaining();
  return true;
}

void CCountdownDlg::ShowRemaining() {
  char caption[48];
  std::snprintf(caption, sizeof caption, " %d seconds remaining...", m_seconds - m_elapsed);
  setWindowText(caption);
  progressBar(IDC_BAR).setPos(m_elapsed);
}

void CCountdownDlg::onTimer(int id) {
  if (id != kTickTimer) return;
  ++m_elapsed;
  if (m_elapsed < m_seconds) {
    ShowRemaining();
    return;
  }
  killTimer(kTickTimer);
  endDialog(zfw::IDOK);
}
