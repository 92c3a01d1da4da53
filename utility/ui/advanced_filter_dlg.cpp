#include "utility/ui/advanced_filter_dlg.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/gui/control_builder.h"
#include "platform/gui/message_box.h"
#include "utility/ui/hex_digit.h"

namespace {

constexpr int kLastChannel = 14;

}  // namespace

CAdvancedFilterDlg::CAdvancedFilterDlg(CSiteSurvey::ScanFilter& filter, zfw::Wnd* parent)
    : zfw::Dialog(IDD, parent), m_filter(filter) {
  setCaption("Advanced Filter");
  on(zfw::BN_CLICKED, IDC_FIND_SSID, &CAdvancedFilterDlg::OnFindSsid);
  on(zfw::BN_CLICKED, IDC_ANY_SSID, &CAdvancedFilterDlg::EnableByChoice);
  on(zfw::BN_CLICKED, IDC_FIND_BSSID, &CAdvancedFilterDlg::OnFindBssid);
  on(zfw::BN_CLICKED, IDC_ANY_BSSID, &CAdvancedFilterDlg::EnableByChoice);
  for (int id : {IDC_ALL_CHANNELS, IDC_ONE_CHANNEL, IDC_CHANNEL_RANGE})
    on(zfw::BN_CLICKED, id, &CAdvancedFilterDlg::OnChannelChoice);
  on(zfw::CBN_SELCHANGE, IDC_FROM_CHANNEL, &CAdvancedFilterDlg::OnFromChosen);
  on(zfw::CBN_SELCHANGE, IDC_TO_CHANNEL, &CAdvancedFilterDlg::OnToChosen);
}

void CAdvancedFilterDlg::buildControls(zfw::ControlBuilder& b) {
  b.radio(IDC_ANY_SSID, "Any SSID", 1).row();
  b.radio(IDC_FIND_SSID, "Find network with this SSID:", 1).edit(IDC_SSID, 32).row();
  b.radio(IDC_ANY_BSSID, "Any BSSID", 2).row();
  b.radio(IDC_FIND_BSSID, "Find network with this BSSID:", 2);
  for (int i = 0; i < 6; ++i) b.edit(IDC_BSSID_FIRST + i, 2, zfw::ES_UPPERCASE);
  b.row();
  b.radio(IDC_ALL_CHANNELS, "Scan all channels", 3).row();
  b.radio(IDC_ONE_CHANNEL, "Scan this channel:", 3).combo(IDC_SINGLE_CHANNEL).row();
  b.radio(IDC_CHANNEL_RANGE, "Scan channels from", 3)
      .combo(IDC_FROM_CHANNEL)
      .text(0, "to")
      .combo(IDC_TO_CHANNEL)
      .row();
  b.stretch().button(zfw::IDOK, "OK", true).button(zfw::IDCANCEL, "Cancel");
}

bool CAdvancedFilterDlg::onInitDialog() {
  zfw::Dialog::onInitDialog();
  limitText(IDC_SSID, 32);
  for (int i = 0; i < 6; ++i) limitText(IDC_BSSID_FIRST + i, 2);
  checkRadioButton(IDC_ANY_SSID, IDC_FIND_SSID, m_filter.anySsid ? IDC_ANY_SSID : IDC_FIND_SSID);
  checkRadioButton(IDC_ANY_BSSID, IDC_FIND_BSSID, m_filter.anyBssid ? IDC_ANY_BSSID : IDC_FIND_BSSID);
  setItemText(IDC_SSID, m_filter.ssid);
  for (int i = 0; i < 6; ++i) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", m_filter.bssid[i]);
    setItemText(IDC_BSSID_FIRST + i, text);
  }
  const uint8_t* channels = m_filter.channels;
  int last = 0;
  while (last < kLastChannel && channels[last] != 0) ++last;
  const int first = channels[0] != 0 ? channels[0] : 1;
  const int to = last > 0 ? channels[last - 1] : kLastChannel;
  int choice = IDC_ONE_CHANNEL;
  if (m_filter.allChannels) {
    choice = IDC_ALL_CHANNELS;
  } else if (channels[1] != 0) {
    choice = IDC_CHANNEL_RANGE;
  }
  checkRadioButton(IDC_ALL_CHANNELS, IDC_CHANNEL_RANGE, choice);
  FillChannels(IDC_SINGLE_CHANNEL, 1, kLastChannel, first);
  FillChannels(IDC_FROM_CHANNEL, 1, to, first);
  FillChannels(IDC_TO_CHANNEL, first, kLastChannel, to);
  EnableByChoice();
  return true;
}

void CAdvancedFilterDlg::FillChannels(int id, int low, int high, int current) {
  zfw::ComboBox box = comboBox(id);
  box.resetContent();
  int selected = 0;
  for (int channel = low; channel <= std::min(high, kLastChannel); ++channel) {
    const int at = box.addString(std::to_string(channel));
    box.setItemData(at, static_cast<uintptr_t>(channel));
    if (channel == current) selected = at;
  }
  box.setCurSel(selected);
}

int CAdvancedFilterDlg::ChosenChannel(int id) const {
  zfw::ComboBox box = comboBox(id);
  const int at = box.curSel();
  return at < 0 ? 1 : static_cast<int>(box.itemData(at));
}

// The SSID and BSSID filters exclude each other.
void CAdvancedFilterDlg::OnFindSsid() {
  checkRadioButton(IDC_ANY_BSSID, IDC_FIND_BSSID, IDC_ANY_BSSID);
  EnableByChoice();
}

void CAdvancedFilterDlg::OnFindBssid() {
  checkRadioButton(IDC_ANY_SSID, IDC_FIND_SSID, IDC_ANY_SSID);
  EnableByChoice();
}

void CAdvancedFilterDlg::OnChannelChoice() { EnableByChoice(); }

void CAdvancedFilterDlg::EnableByChoice() {
  enableItem(IDC_SSID, isChecked(IDC_FIND_SSID) != 0);
  for (int i = 0; i < 6; ++i) enableItem(IDC_BSSID_FIRST + i, isChecked(IDC_FIND_BSSID) != 0);
  enableItem(IDC_SINGLE_CHANNEL, isChecked(IDC_ONE_CHANNEL) != 0);
  enableItem(IDC_FROM_CHANNEL, isChecked(IDC_CHANNEL_RANGE) != 0);
  enableItem(IDC_TO_CHANNEL, isChecked(IDC_CHANNEL_RANGE) != 0);
}

// "from" never exceeds "to": each refills the other's choices.
void CAdvancedFilterDlg::OnFromChosen() {
  FillChannels(IDC_TO_CHANNEL, ChosenChannel(IDC_FROM_CHANNEL), kLastChannel, ChosenChannel(IDC_TO_CHANNEL));
}

void CAdvancedFilterDlg::OnToChosen() {
  FillChannels(IDC_FROM_CHANNEL, 1, ChosenChannel(IDC_TO_CHANNEL), ChosenChannel(IDC_FROM_CHANNEL));
}

bool CAdvancedFilterDlg::onCommand(int id, int code) {
  if (code == zfw::EN_CHANGE && id >= IDC_BSSID_FIRST && id < IDC_BSSID_FIRST + 6) {
    OnBssidEdited(id);
    return true;
  }
  return zfw::Dialog::onCommand(id, code);
}

// The BSSID boxes take hexadecimal digits only, upper-cased.
void CAdvancedFilterDlg::OnBssidEdited(int id) {
  const std::string typed = itemText(id);
  std::string kept;
  for (char c : typed) {
    if (HexDigit(c) >= 0) kept += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (kept != typed) {
    setItemText(id, kept);
    setEditCaret(id, -1);
  }
}

uint8_t CAdvancedFilterDlg::BssidByteOfText(std::string_view text) {
  int value = 0;
  if (!text.empty()) value = std::max(HexDigit(text[0]), 0) << 4;
  if (text.size() >= 2 && HexDigit(text[1]) >= 0) value += HexDigit(text[1]);
  return static_cast<uint8_t>(value);
}

void CAdvancedFilterDlg::onOK() {
  const std::string ssid = itemText(IDC_SSID);
  if (isChecked(IDC_FIND_SSID) && ssid.empty()) {
    zfw::messageBox(this, "Please enter a valid SSID!", {}, zfw::MB_ICONEXCLAMATION);
    return;
  }
  m_filter.anySsid = isChecked(IDC_ANY_SSID) != 0;
  m_filter.anyBssid = isChecked(IDC_ANY_BSSID) != 0;
  m_filter.ssid = ssid;
  for (int i = 0; i < 6; ++i) m_filter.bssid[i] = BssidByteOfText(itemText(IDC_BSSID_FIRST + i));
  std::memset(m_filter.channels, 0, sizeof m_filter.channels);
  if (isChecked(IDC_ONE_CHANNEL)) {
    m_filter.allChannels = false;
    m_filter.channels[0] = static_cast<uint8_t>(ChosenChannel(IDC_SINGLE_CHANNEL));
  } else if (isChecked(IDC_CHANNEL_RANGE)) {
    m_filter.allChannels = false;
    const int from = ChosenChannel(IDC_FROM_CHANNEL);
    const int to = std::min(ChosenChannel(IDC_TO_CHANNEL), kLastChannel);
    for (int channel = from, i = 0; channel <= to && i < kLastChannel; ++channel, ++i)
      m_filter.channels[i] = static_cast<uint8_t>(channel);
  } else {
    m_filter.allChannels = true;
    for (int i = 0; i < kLastChannel; ++i) m_filter.channels[i] = static_cast<uint8_t>(i + 1);
  }
  endDialog(zfw::IDOK);
}
