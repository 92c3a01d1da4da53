#pragma once
// The detailed "Statistics" page (dialog 124), shown instead of the plain one when Zelcon.ini
// asks for it: FCS errors and their rate per second, the RSSI buckets, and a Reset that
// rebases the error counters.
#include <cstdint>

#include "utility/ui/zelcon_page.h"

class CDebugStatsPage : public CZelconPage {
public:
  CDebugStatsPage();

  static constexpr int kTimerId = 0x2000;

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
  bool onInitDialog() override;
  bool onSetActive() override;
  bool onKillActive() override;
  void onTimer(int id) override;

private:
  // The counters queried only when `fromTimer`; zeros are shown otherwise.
  void Refresh(bool fromTimer);
  void OnReset();

  // A counter shown from its baseline. A counter below its baseline was reset by the
  // adapter: the baseline is dropped so that no negative or wrapped figure appears.
  struct Rebased {
    int64_t base = 0;
    int64_t Show(int64_t counter);
  };

  bool m_radioOff = false;
  Rebased m_failed, m_retry, m_multipleRetry, m_rtsSuccess, m_rtsFailure, m_ackFailure;
  int64_t m_previousFcs = 0;
};
