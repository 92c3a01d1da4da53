#pragma once
// The "Statistics" page of the main sheet (dialog 104): the adapter's transmit and receive
// counters, an averaged signal-strength bar and a link icon, refreshed once a second while
// the page is shown.
#include <array>

#include "utility/ui/zelcon_page.h"

class QLabel;

class CStatistics : public CZelconPage {
public:
  CStatistics();

  static constexpr int kTimerId = 0x2000;
  static constexpr int kSignalBar = 1005;
  static constexpr int kLinkIcon = 1006;

  void OnRadioStateChanged(int radioOn) override;
  int StatusIcon() const { return m_statusIcon; }

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
  bool onInitDialog() override;
  bool onSetActive() override;
  bool onKillActive() override;
  void onTimer(int id) override;

private:
  void Refresh();
  void OnReset() {}  // the counters of this page are not rebased
  void ShowStatusIcon(int iconId);
  // Adds a sample (RSSI + 96) and answers the average of the samples held, 0..40.
  int AddSignalSample(int rssiDbm);

  bool m_radioOff = false;
  std::array<int, 10> m_samples{};
  int m_nextSample = 0;
  int m_samplesHeld = 0;
  int m_statusIcon = 0;
  QLabel* m_icon = nullptr;
};
