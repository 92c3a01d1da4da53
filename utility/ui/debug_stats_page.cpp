#include "utility/ui/debug_stats_page.h"

#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/control_builder.h"
#include "utility/ui/statistics_lists.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

constexpr int kTransmitList = 1003;
constexpr int kReceiveList = 1004;
constexpr int kRssiList = 1007;
constexpr int kResetButton = 1001;

}  // namespace

using statistics_lists::Counter;

int64_t CDebugStatsPage::Rebased::Show(int64_t counter) {
  if (counter < base) base = 0;
  return counter - base;
}

CDebugStatsPage::CDebugStatsPage() : CZelconPage(124, "Statistics") {
  on(zfw::BN_CLICKED, kResetButton, &CDebugStatsPage::OnReset);
}

void CDebugStatsPage::buildControls(zfw::ControlBuilder& builder) {
  builder.beginGroup(0, "Transmit").list(kTransmitList).endGroup().row();
  builder.beginGroup(0, "Receive").list(kReceiveList).endGroup().row();
  builder.beginGroup(0, "RSSI Statistics").list(kRssiList).endGroup().row();
  builder.stretch().button(kResetButton, "&Reset").row();
}

bool CDebugStatsPage::onInitDialog() {
  CZelconPage::onInitDialog();
  for (int id : {kTransmitList, kReceiveList, kRssiList}) {
    statistics_lists::SetUpColumns(listView(id));
  }
  return true;
}

bool CDebugStatsPage::onSetActive() {
  m_radioOff = false;
  m_previousFcs = 0;
  setTimer(kTimerId, 1000);
  Refresh(false);
  return CZelconPage::onSetActive();
}

bool CDebugStatsPage::onKillActive() {
  killTimer(kTimerId);
  return CZelconPage::onKillActive();
}

void CDebugStatsPage::onTimer(int id) {
  if (id == kTimerId) Refresh(true);
}

void CDebugStatsPage::OnReset() {
  void* adapter = m_sheet ? m_sheet->Adapter() : nullptr;
  if (!adapter) return;
  IAdapterControl& lib = m_sheet->Library();
  NDIS_802_11_STATISTICS stats{};
  lib.QueryStatistics(adapter, &stats);
  m_failed.base = stats.FailedCount;
  m_retry.base = stats.RetryCount;
  m_multipleRetry.base = stats.MultipleRetryCount;
  m_rtsSuccess.base = stats.RTSSuccessCount;
  m_rtsFailure.base = stats.RTSFailureCount;
  m_ackFailure.base = stats.ACKFailureCount;
  m_previousFcs = 0;
  lib.ResetStatistics(adapter);
  Refresh(false);
}

void CDebugStatsPage::Refresh(bool fromTimer) {
  NDIS_802_11_STATISTICS stats{};
  BEACON_STATS beacons{};
  RSSI_STATS rssi{};
  void* adapter = m_sheet ? m_sheet->Adapter() : nullptr;
  const bool queried = adapter && fromTimer && !m_radioOff;
  if (queried) {
    IAdapterControl& lib = m_sheet->Library();
    lib.QueryRssiStat(adapter, &rssi);
    lib.QueryStatistics(adapter, &stats);
    lib.QueryBeaconStatistics(adapter, &beacons);
  }
  // Errors since the last refresh; a count that went down (a reset) gives 0.
  const int64_t fcs = stats.FCSErrorCount;
  const std::string fcsRate = fcs <= m_previousFcs ? "0" : std::to_string(fcs - m_previousFcs);
  m_previousFcs = fcs;
  // Zeros that were never queried say nothing about the adapter's counters.
  auto rebased = [queried](Rebased& r, int64_t counter) { return queried ? r.Show(counter) : 0; };

  NDIS_802_11_STATISTICS shown = stats;
  shown.FailedCount = rebased(m_failed, stats.FailedCount);
  shown.RetryCount = rebased(m_retry, stats.RetryCount);
  shown.MultipleRetryCount = rebased(m_multipleRetry, stats.MultipleRetryCount);
  shown.RTSSuccessCount = rebased(m_rtsSuccess, stats.RTSSuccessCount);
  shown.RTSFailureCount = rebased(m_rtsFailure, stats.RTSFailureCount);
  shown.ACKFailureCount = rebased(m_ackFailure, stats.ACKFailureCount);
  statistics_lists::Fill(listView(kTransmitList), statistics_lists::TransmitRows(shown));
  statistics_lists::Fill(
      listView(kReceiveList),
      {{"Total Packet",
        Counter(stats.ReceivedFragmentCount + stats.MulticastReceivedFrameCount), "FCS Error",
        Counter(fcs)},
       {"Unicast Packet", Counter(stats.ReceivedFragmentCount), "FCS Per Sec", fcsRate},
       {"Multicast Packet", Counter(stats.MulticastReceivedFrameCount), "Received Beacons",
        Counter(beacons.Received)},
       {"Duplicate Frame", Counter(stats.FrameDuplicateCount), "Beacon Loss",
        Counter(beacons.Lost)}});
  statistics_lists::Fill(listView(kRssiList),
                         {{"0 -- 19", Counter(rssi.Bin[0]), "40 -- 59", Counter(rssi.Bin[2])},
                          {"20 -- 39", Counter(rssi.Bin[1]), "60 & Up", Counter(rssi.Bin[3])}});
}
