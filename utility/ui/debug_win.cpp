#include "utility/ui/debug_win.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/gui/base/clock.h"
#include "platform/gui/combo_box.h"
#include "platform/gui/control_builder.h"
#include "platform/gui/wait_cursor.h"
#include "utility/ui/zelcon_app.h"
#include "utility/ui/zelcon_sheet.h"

namespace {

constexpr int kRfIndex = 1002, kRfValue = 1003;
constexpr int kBbIndex = 1004, kBbValue = 1005;
constexpr int kMacIndex = 1006, kMacValue = 1007;
constexpr int kChipVersion = 1009;
constexpr int kRfRead = 1011, kRfWrite = 1012;
constexpr int kBbRead = 1013, kBbWrite = 1014;
constexpr int kMacRead = 1015, kMacWrite = 1016;
constexpr int kRefreshEverySecond = 1017;
constexpr int kTxPowerList = 1024;
constexpr int kRefreshRfCal = 1107;
constexpr int kFirstReadBack = 1108;  // 1108..1111
constexpr int kFirstName = 1113;      // 1113..1116
constexpr int kFirstRange = 1117;     // 1117..1120
constexpr int kTrace = 1253;
constexpr int kRefreshRate = 1254;

constexpr int kCalibrationRows = 4;
// The baseband registers come in two banks of 128, chosen through register 0.
constexpr uint32_t kBankSize = 128;
// Time the adapter takes before a written register reads back its new value.
constexpr uint32_t kWriteSettleMs = 200;

std::string Hex(const char* format, uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::optional<uint32_t> CDebugWin::ParseHex(std::string text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    if (!IsHexDigit(c)) return std::nullopt;
    const int digit = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  return value;
}

std::optional<CDebugWin::Filtered> CDebugWin::FilterHex(const std::string& text) {
  for (int i = static_cast<int>(text.size()) - 1; i >= 0; --i) {
    const char c = text[static_cast<size_t>(i)];
    if (!IsHexDigit(c)) {
      std::string kept = text;
      kept.erase(static_cast<size_t>(i), 1);
      return Filtered{kept, i};
    }
    if (c >= 'a' && c <= 'f') {
      std::string upper = text;
      for (char& u : upper) u = static_cast<char>(std::toupper(static_cast<unsigned char>(u)));
      return Filtered{upper, i + 1};
    }
  }
  return std::nullopt;
}

CDebugWin::CDebugWin() : CZelconPage(113, "Debug") {
  bindCommand(zfw::BN_CLICKED, kMacRead, [this](const zfw::NotifyInfo&) { ReadRegister(Bank::Mac); });
  bindCommand(zfw::BN_CLICKED, kMacWrite, [this](const zfw::NotifyInfo&) { WriteRegister(Bank::Mac); });
  bindCommand(zfw::BN_CLICKED, kBbRead, [this](const zfw::NotifyInfo&) { ReadRegister(Bank::Baseband); });
  bindCommand(zfw::BN_CLICKED, kBbWrite, [this](const zfw::NotifyInfo&) { WriteRegister(Bank::Baseband); });
  bindCommand(zfw::BN_CLICKED, kRfRead, [this](const zfw::NotifyInfo&) { ReadRegister(Bank::Rf); });
  bindCommand(zfw::BN_CLICKED, kRfWrite, [this](const zfw::NotifyInfo&) { WriteRegister(Bank::Rf); });
  on(zfw::BN_CLICKED, kRefreshRfCal, &CDebugWin::ReadRfCalibration);
  on(zfw::BN_CLICKED, kRefreshEverySecond, &CDebugWin::OnRefreshEverySecond);
  on(zfw::BN_CLICKED, kTrace, &CDebugWin::OnTrace);
  on(zfw::BN_CLICKED, kRefreshRate, &CDebugWin::OnRefreshRate);
  on(zfw::CBN_SELCHANGE, kTxPowerList, &CDebugWin::OnTxPower);
  for (int id = kRfIndex; id <= kMacValue; ++id) {
    bindCommand(zfw::EN_CHANGE, id, [this, id](const zfw::NotifyInfo&) { OnHexEdit(id); });
  }
}

void CDebugWin::buildControls(zfw::ControlBuilder& b) {
  const struct {
    const char* title;
    int index, value, read, write;
  } groups[] = {{"MAC Register", kMacIndex, kMacValue, kMacRead, kMacWrite},
                {"BB Register", kBbIndex, kBbValue, kBbRead, kBbWrite},
                {"RF Register", kRfIndex, kRfValue, kRfRead, kRfWrite}};
  for (const auto& g : groups) {
    b.beginGroup(0, g.title)
        .text(0, "Index:").edit(g.index).text(0, "Value:").edit(g.value)
        .button(g.read, "&Read").button(g.write, "&Write")
        .endGroup().row();
  }
  b.beginGroup(0, "RF Calibration");
  for (int row = 0; row < kCalibrationRows; ++row) {
    b.text(kFirstName + row, "").text(kFirstReadBack + row, "").text(kFirstRange + row, "").row();
  }
  b.button(kRefreshRfCal, "Refresh").check(kRefreshEverySecond, "Refresh every second").endGroup().row();
  b.text(0, "Hardware Version:").text(kChipVersion, "").text(0, "Tx Power:").combo(kTxPowerList).row();
  b.check(kTrace, "Enable DebugView Trace").check(kRefreshRate, "Refresh data rate every second").row();
  b.stretch();
}

bool CDebugWin::onInitDialog() {
  CZelconPage::onInitDialog();
  const std::pair<int, int> limits[] = {{kMacIndex, 4}, {kMacValue, 8}, {kBbIndex, 2},
                                        {kBbValue, 2},  {kRfIndex, 2},  {kRfValue, 2}};
  for (auto [id, chars] : limits) limitText(id, chars);
  checkItem(kRefreshEverySecond, m_app->ReadIniInt("Debug", "RefreshRfCal", 0) == 1);
  enableItem(kTrace, false);
  showItem(kTrace, false);
  return true;
}

bool CDebugWin::onSetActive() {
  checkItem(kTrace, m_sheet->m_trace != 0);
  checkItem(kRefreshRate, m_sheet->m_refreshRatePs != 0);
  OnRefreshEverySecond();
  void* adapter = Adapter();
  uint32_t chip = 0;
  if (adapter && m_sheet->Library().QueryChipVersion(adapter, chip) == 0) {
    setItemText(kChipVersion, Hex("%u.0", chip));
  }
  setTimer(kTimerId, 1000);
  ReadRfCalibration();
  return CZelconPage::onSetActive();
}

bool CDebugWin::onKillActive() {
  killTimer(kTimerId);
  return CZelconPage::onKillActive();
}

void CDebugWin::onTimer(int id) {
  if (id == kTimerId && m_refreshRfCal) ReadRfCalibration();
}

void* CDebugWin::Adapter() const { return m_sheet ? m_sheet->Adapter() : nullptr; }

CDebugWin::Registers CDebugWin::RegistersOf(Bank bank) {
  switch (bank) {
    case Bank::Mac:
      return {kMacIndex, kMacValue, &IAdapterControl::QueryMacRegister, &IAdapterControl::SetMacRegister};
    case Bank::Baseband:
      return {kBbIndex, kBbValue, &IAdapterControl::QueryBbRegister, &IAdapterControl::SetBbRegister};
    case Bank::Rf:
      break;
  }
  return {kRfIndex, kRfValue, &IAdapterControl::QueryRfRegister, &IAdapterControl::SetRfRegister};
}

void CDebugWin::ReadRegister(Bank bank) {
  void* adapter = Adapter();
  if (!adapter) return;
  zfw::WaitCursor wait;
  const Registers r = RegistersOf(bank);
  setItemText(r.valueEdit, "");
  const std::optional<uint32_t> index = ParseHex(itemText(r.indexEdit));
  if (!index) return;
  IAdapterControl& lib = m_sheet->Library();
  if (bank == Bank::Baseband) lib.SetBbRegister(adapter, 0, *index < kBankSize ? 0 : kBankSize);
  uint32_t value = 0;
  if ((lib.*r.query)(adapter, *index, value) == 0) setItemText(r.valueEdit, Hex("%02X", value));
}

void CDebugWin::WriteRegister(Bank bank) {
  void* adapter = Adapter();
  if (!adapter) return;
  const Registers r = RegistersOf(bank);
  const std::optional<uint32_t> index = ParseHex(itemText(r.indexEdit));
  const std::optional<uint32_t> value = ParseHex(itemText(r.valueEdit));
  if (!index || !value) return;
  IAdapterControl& lib = m_sheet->Library();
  if (bank == Bank::Baseband) lib.SetBbRegister(adapter, 0, *index < kBankSize ? 0 : kBankSize);
  (lib.*r.set)(adapter, *index, *value);
  zfw::sleep(kWriteSettleMs);
  ReadRegister(bank);
}

void CDebugWin::ReadRfCalibration() {
  void* adapter = Adapter();
  if (!adapter) return;
  IAdapterControl& lib = m_sheet->Library();
  uint32_t kind = 0;
  lib.QueryRfRegister(adapter, 0, kind);
  struct Row {
    const char* name;
    uint32_t reg, mask;
    const char* format;
    const char* range;
  };
  static const Row kKindA[kCalibrationRows] = {{"1AH", 0x1A, 0xFF, "0x%02X", "00 -- 37"},
                                               {"1BH", 0x1B, 0xFF, "0x%02X", "00 -- FF"},
                                               {"1CH", 0x1C, 0xFF, "0x%02X", "00 -- FF"},
                                               {"21H[5:0]", 0x21, 0x3F, "0x%02X", "00 -- 37"}};
  static const Row kKindB[kCalibrationRows] = {{"20H", 0x20, 0xFF, "0x%02X", "6C -- 7A"},
                                               {"26H", 0x26, 0xFF, "0x%02X", "33, 43, 53, 63"},
                                               {"24H[3:0]", 0x24, 0xF, "0x_%X", "3 -- B during Tx "},
                                               {nullptr, 0, 0, nullptr, nullptr}};
  const Row* rows = kind == 1 || kind == 3 ? kKindA : kKindB;
  for (int i = 0; i < kCalibrationRows; ++i) {
    const Row& row = rows[i];
    std::string readBack;
    if (row.name) {
      uint32_t value = 0;
      lib.QueryRfRegister(adapter, row.reg, value);
      readBack = Hex(row.format, value & row.mask);
    }
    setItemText(kFirstName + i, row.name ? row.name : "");
    setItemText(kFirstReadBack + i, readBack);
    setItemText(kFirstRange + i, row.range ? row.range : "");
  }
}

void CDebugWin::OnHexEdit(int id) {
  if (m_filtering) return;  // our own correction of the text
  std::optional<Filtered> filtered = FilterHex(itemText(id));
  if (!filtered) return;
  // A pasted text may need more than one correction; they are made at once.
  Filtered clean = *filtered;
  while ((filtered = FilterHex(clean.text))) clean = Filtered{filtered->text, std::min(clean.caret, filtered->caret)};
  m_filtering = true;
  setItemText(id, clean.text);
  m_filtering = false;
  setEditCaret(id, clean.caret);
}

void CDebugWin::OnRefreshEverySecond() {
  m_refreshRfCal = isChecked(kRefreshEverySecond) != 0;
  m_app->WriteIniInt("Debug", "RefreshRfCal", m_refreshRfCal ? 1 : 0);
}

void CDebugWin::OnTrace() {
  m_sheet->m_trace = isChecked(kTrace);
  m_app->WriteIniInt("Debug", "Trace", m_sheet->m_trace);
}

void CDebugWin::OnRefreshRate() {
  m_sheet->m_refreshRatePs = isChecked(kRefreshRate);
  m_app->WriteIniInt("Debug", "RefreshRatePS", m_sheet->m_refreshRatePs);
}

void CDebugWin::OnTxPower() {
  zfw::ComboBox list = comboBox(kTxPowerList);
  void* adapter = Adapter();
  if (adapter && list.curSel() >= 0) {
    m_sheet->Library().SetTxPower(adapter, static_cast<uint32_t>(list.itemData(list.curSel())));
  }
}
