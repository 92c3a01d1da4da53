#include "utility/ui/test_page.h"

#include "platform/gui/control_builder.h"
#include "platform/gui/message_box.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

constexpr int kFromChannel = 1002;
constexpr int kToChannel = 1003;
constexpr int kSignalThreshold = 1004;
constexpr int kTxFailThreshold = 1005;
constexpr int kGetRange = 1011, kSetRange = 1012;
constexpr int kGetSignal = 1013, kSetSignal = 1014;
constexpr int kGetTxFail = 1015, kSetTxFail = 1016;
constexpr int kRadarDetect = 1132;

}  // namespace

CTestPage::CTestPage() : CZelconPage(123, "Test") {
  on(zfw::BN_CLICKED, kGetRange, &CTestPage::OnGetChannelRange);
  on(zfw::BN_CLICKED, kSetRange, &CTestPage::OnSetChannelRange);
  on(zfw::BN_CLICKED, kGetSignal, &CTestPage::OnGetSignalThreshold);
  on(zfw::BN_CLICKED, kSetSignal, &CTestPage::OnSetSignalThreshold);
  on(zfw::BN_CLICKED, kGetTxFail, &CTestPage::OnGetTxFailThreshold);
  on(zfw::BN_CLICKED, kSetTxFail, &CTestPage::OnSetTxFailThreshold);
  on(zfw::BN_CLICKED, kRadarDetect, &CTestPage::OnRadarDetect);
}

void CTestPage::buildControls(zfw::ControlBuilder& b) {
  b.beginGroup(0, "Channel Range")
      .text(0, "From:").edit(kFromChannel, 2, zfw::ES_NUMBER)
      .text(0, "To:").edit(kToChannel, 2, zfw::ES_NUMBER)
      .button(kGetRange, "Get").button(kSetRange, "Set")
      .endGroup().row();
  b.beginGroup(0, "Signal Threshold")
      .edit(kSignalThreshold, 3, zfw::ES_NUMBER).button(kGetSignal, "Get").button(kSetSignal, "Set")
      .endGroup().row();
  b.beginGroup(0, "Tx Fail Threshold")
      .edit(kTxFailThreshold, 3, zfw::ES_NUMBER).button(kGetTxFail, "Get").button(kSetTxFail, "Set")
      .endGroup().row();
  b.button(kRadarDetect, "Radar Detect").stretch().row();
  b.stretch();
}

bool CTestPage::onSetActive() {
  OnGetChannelRange();
  OnGetSignalThreshold();
  OnGetTxFailThreshold();
  return CZelconPage::onSetActive();
}

// The page hands the sheet's handle on as it is, a null one too: the library answers for it.
void* CTestPage::Adapter() const { return m_sheet ? m_sheet->Adapter() : nullptr; }

uint32_t CTestPage::EditValue(int id) {
  bool ok = false;
  const long value = itemInt(id, &ok);
  if (!ok || value < 0) {
    setItemInt(id, 0);
    return 0;
  }
  return static_cast<uint32_t>(value);
}

void CTestPage::OnGetChannelRange() {
  uint32_t range = 0;
  m_sheet->Library().QueryChannelRange(Adapter(), range);
  setItemInt(kFromChannel, (range >> 8) & 0xFF);
  setItemInt(kToChannel, range & 0xFF);
}

void CTestPage::OnSetChannelRange() {
  const uint32_t from = EditValue(kFromChannel) & 0xFF;
  const uint32_t to = EditValue(kToChannel) & 0xFF;
  m_sheet->Library().SetChannelRange(Adapter(), from << 8 | to);
}

void CTestPage::OnGetSignalThreshold() {
  uint32_t value = 0;
  m_sheet->Library().QuerySignalThreshold(Adapter(), value);
  setItemInt(kSignalThreshold, static_cast<long>(value));
}

void CTestPage::OnGetTxFailThreshold() {
  uint32_t value = 0;
  m_sheet->Library().QueryTxFailThreshold(Adapter(), value);
  setItemInt(kTxFailThreshold, static_cast<long>(value));
}

void CTestPage::SetThreshold(int id, uint32_t low, uint32_t high, const char* outOfRange,
                             int (IAdapterControl::*set)(void*, uint32_t)) {
  const uint32_t value = EditValue(id);
  if (value < low || value > high) {
    zfw::messageBox(outOfRange, zfw::MB_ICONEXCLAMATION);
    setItemText(id, "");
    setItemFocus(id);
    return;
  }
  (m_sheet->Library().*set)(Adapter(), value);
}

void CTestPage::OnSetSignalThreshold() {
  SetThreshold(kSignalThreshold, 10, 200, "Signal Threshold range is from 10 to 200 !",
               &IAdapterControl::SetSignalThreshold);
}

void CTestPage::OnSetTxFailThreshold() {
  // The message names the signal threshold, as the adapter's documentation does.
  SetThreshold(kTxFailThreshold, 0, 100, "Signal Threshold range is from 0 to 100 !",
               &IAdapterControl::SetTxFailThreshold);
}

void CTestPage::OnRadarDetect() { m_sheet->Library().RadarDetected(Adapter()); }
