#include "utility/ui/statistics.h"
#include "utility/ui/text_progress_ctrl.h"

#include <QIcon>
#include <QLabel>
#include <algorithm>

#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/control_builder.h"
#include "platform/gui/icons.h"
#include "utility/ui/link_snapshot.h"
#include "utility/ui/statistics_lists.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

constexpr int kTransmitList = 1003;
constexpr int kReceiveList = 1004;
constexpr int kResetButton = 1001;
constexpr int kBarTop = 40;       // the bar's range is 0..40
constexpr int kIconNoLink = 136;
constexpr int kIconLinkB = 140;   // any mode but 1 and 2
constexpr int kIconLinkG = 157;   // wlanMode 1
constexpr int kIconLinkA = 160;   // wlanMode 2

}  // namespace

using statistics_lists::Counter;

CStatistics::CStatistics() : CZelconPage(104, "Statistics") {
  on(zfw::BN_CLICKED, kResetButton, &CStatistics::OnReset);
}

void CStatistics::buildControls(zfw::ControlBuilder& builder) {
  m_icon = new QLabel;
  m_icon->setFixedSize(32, 32);
  builder.beginGroup(0, "Transmit").list(kTransmitList).endGroup().row();
  builder.beginGroup(0, "Receive").list(kReceiveList).endGroup().row();
  builder.text(0, "Signal Strength:")
      .custom(kSignalBar, new CTextProgressCtrl)
      .custom(kLinkIcon, m_icon)
      .stretch()
      .button(kResetButton, "Reset")
      .row();
}

bool CStatistics::onInitDialog() {
  CZelconPage::onInitDialog();
  statistics_lists::SetUpColumns(listView(kTransmitList));
  statistics_lists::SetUpColumns(listView(kReceiveList));
  progressBar(kSignalBar).setRange(0, kBarTop);
  ShowStatusIcon(kIconNoLink);
  return true;
}

bool CStatistics::onSetActive() {
  m_samples.fill(0);
  m_nextSample = 0;
  m_samplesHeld = 0;
  m_radioOff = false;
  setTimer(kTimerId, 1000);
  Refresh();
  return CZelconPage::onSetActive();
}

bool CStatistics::onKillActive() {
  killTimer(kTimerId);
  return CZelconPage::onKillActive();
}

void CStatistics::onTimer(int id) {
  if (id == kTimerId) Refresh();
}

void CStatistics::OnRadioStateChanged(int radioOn) { m_radioOff = radioOn == 0; }

int CStatistics::AddSignalSample(int rssiDbm) {
  // Below -96 dBm the sample is 0: an average below an empty bar means nothing.
  m_samples[m_nextSample] = std::max(rssiDbm + 96, 0);
  m_nextSample = (m_nextSample + 1) % static_cast<int>(m_samples.size());
  m_samplesHeld = std::min(m_samplesHeld + 1, static_cast<int>(m_samples.size()));
  int sum = 0;
  for (int sample : m_samples) sum += sample;
  const int average = (sum + m_samplesHeld - 1) / m_samplesHeld;  // rounded up
  return std::min(average, kBarTop);
}

void CStatistics::ShowStatusIcon(int iconId) {
  m_statusIcon = iconId;
  if (m_icon) m_icon->setPixmap(zfw::iconFor(iconId).pixmap(32, 32));
}

void CStatistics::Refresh() {
  if (!m_sheet) return;
  void* adapter = m_sheet->Adapter();
  const zelcon::LINK_STATUS link = LinkSnapshot(*m_sheet);
  if (!adapter || (!link.connected && !link.adHocUp)) {
    progressBar(kSignalBar).setPos(0);
    ShowStatusIcon(kIconNoLink);
    m_samples.fill(0);
    m_nextSample = 0;
    m_samplesHeld = 0;
    return;
  }
  if (m_radioOff) return;  // the lists keep what they showed
  IAdapterControl& lib = m_sheet->Library();
  uint32_t rssi = 0;
  if (lib.QueryRssi(adapter, rssi) == 0) {
    progressBar(kSignalBar).setPos(AddSignalSample(static_cast<int32_t>(rssi)));
  }
  ShowStatusIcon(link.wlanMode == 1 ? kIconLinkG : link.wlanMode == 2 ? kIconLinkA : kIconLinkB);

  NDIS_802_11_STATISTICS stats{};
  BEACON_STATS beacons{};
  lib.QueryStatistics(adapter, &stats);
  lib.QueryBeaconStatistics(adapter, &beacons);
  statistics_lists::Fill(listView(kTransmitList), statistics_lists::TransmitRows(stats));
  statistics_lists::Fill(
      listView(kReceiveList),
      {{"Total Packet",
        Counter(stats.ReceivedFragmentCount + stats.MulticastReceivedFrameCount),
        "Duplicate Frame", Counter(stats.FrameDuplicateCount)},
       {"Unicast Packet", Counter(stats.ReceivedFragmentCount), "Received Beacons",
        Counter(beacons.Received)},
       {"Multicast Packet", Counter(stats.MulticastReceivedFrameCount), "Beacon Loss",
        Counter(beacons.Lost)}});
}
