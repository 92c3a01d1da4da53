#include "utility/ui/wep_key_dlg.h"

#include <cctype>
#include <cstring>

#include "platform/gui/base/string_table.h"
#include "platform/gui/message_box.h"
#include "utility/ui/hex_digit.h"
#include "utility/ui/wipe_string.h"

namespace {

enum : int {
  IDS_WEP_KEY1_LABEL = 61395,  // "Wep Key N\r\n", 61395-61398
  IDS_WEP_SIZE_CHANGE = 62006,
  IDS_WEP_40_HEX = 62007,
  IDS_WEP_40_ASCII = 62008,
  IDS_WEP_104_HEX = 62009,
  IDS_WEP_104_ASCII = 62010,
  IDS_WEP_BAD_TX_KEY = 62011,
};

std::string AsciiToHex(const std::string& text) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(text.size() * 2);
  for (unsigned char c : text) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 0xF];
  }
  return hex;
}

// Hexadecimal text as ASCII, or false (text left alone) when it is not whole printable
// characters: a key of odd length or one holding control bytes would otherwise be stored
// as something the user never typed.
bool HexToAscii(const std::string& text, std::string& ascii) {
  if (text.size() % 2 != 0) return false;
  std::string out;
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    char c = static_cast<char>(hi * 16 + lo);
    if (!std::isprint(static_cast<unsigned char>(c))) return false;
    out += c;
  }
  ascii = std::move(out);
  WipeString(out);
  return true;
}

}  // namespace

size_t KeyTextToBytes(const std::string& text, int format, uint8_t* out) {
  size_t n = 0;
  if (format == kWepHex) {
    for (size_t i = 0; i + 1 < text.size() && n < 32; i += 2) {
      int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
      out[n++] = static_cast<uint8_t>((hi < 0 ? 0 : hi) * 16 + (lo < 0 ? 0 : lo));
    }
  } else {
    for (; n < text.size() && n < 32; ++n) out[n] = static_cast<uint8_t>(text[n]);
  }
  return n;
}

CWepKeyDlg::CWepKeyDlg(WepKeyBlock& keyBlock, plat::IniFile settings, zfw::Wnd* parent)
    : zfw::Dialog(IDD_WEP_KEY, parent), m_keyBlock(keyBlock), m_settings(std::move(settings)) {
  setCaption("Configure WEP Key");
  on(zfw::CBN_SELCHANGE, IDC_WEP_KEY_FORMAT, &CWepKeyDlg::OnFormatChange);
  on(zfw::CBN_SELCHANGE, IDC_WEP_KEY_SIZE, &CWepKeyDlg::OnSizeChange);
  for (int k = 0; k < 4; ++k) {
    bindCommand(zfw::EN_CHANGE, IDC_WEP_KEY1 + k, [this, k](const zfw::NotifyInfo&) { OnKeyChange(k); });
  }
}

CWepKeyDlg::~CWepKeyDlg() = default;

void CWepKeyDlg::buildControls(zfw::ControlBuilder& b) {
  b.text(0, "Key Format:").combo(IDC_WEP_KEY_FORMAT).row();
  b.text(0, "Key Size:").combo(IDC_WEP_KEY_SIZE).row();
  b.beginGroup(0, "Default Transmit Key");
  for (int k = 0; k < 4; ++k) {
    b.radio(IDC_WEP_TX_KEY1 + k, "Key " + std::to_string(k + 1), 1).edit(IDC_WEP_KEY1 + k, 0).row();
  }
  b.endGroup().row().stretch().button(zfw::IDOK, "OK", true).button(zfw::IDCANCEL, "Cancel");
}

int CWepKeyDlg::Format() const { return comboBox(IDC_WEP_KEY_FORMAT).curSel() == kWepHex ? kWepHex : kWepAscii; }
int CWepKeyDlg::Size() const { return comboBox(IDC_WEP_KEY_SIZE).curSel() == kWep104 ? kWep104 : kWep40; }

size_t CWepKeyDlg::MaskLength(int size) const {
  size_t bytes = size == kWep104 ? 13 : 5;
  return Format() == kWepHex ? bytes * 2 : bytes;
}

void CWepKeyDlg::SetKeyText(int key, const std::string& text) {
  m_settingText = true;
  setItemText(IDC_WEP_KEY1 + key, text);
  m_settingText = false;
}

void CWepKeyDlg::FillSizeList() {
  zfw::ComboBox sizes = comboBox(IDC_WEP_KEY_SIZE);
  sizes.resetContent();
  if (Format() == kWepHex) {
    sizes.addString("40-Bit (10 digits)");
    sizes.addString("104-Bit (26 digits)");
  } else {
    sizes.addString("40-Bit (5 chars)");
    sizes.addString("104-Bit (13 chars)");
  }
}

bool CWepKeyDlg::onInitDialog() {
  zfw::ComboBox formats = comboBox(IDC_WEP_KEY_FORMAT);
  formats.addString("ASCII Characters");
  formats.addString("Hexadecimal Digits");
  int format = m_settings.ReadInt("Security", "WepKeyFmt", kWepAscii);
  formats.setCurSel(format == kWepHex ? kWepHex : kWepAscii);
  FillSizeList();

  int size = kWep40;
  for (int k = 0; k < 4; ++k) {
    SetKeyText(k, "");
    enableItem(IDC_WEP_TX_KEY1 + k, true);
    uint32_t length = m_keyBlock.wepKeys[k].length;
    if (length == 5 || length == 13) {
      size = length == 13 ? kWep104 : kWep40;
      m_maskLength[k] = MaskLength(size);
      SetKeyText(k, std::string(m_maskLength[k], '*'));
    } else {
      m_maskLength[k] = 0;
      enableItem(IDC_WEP_TX_KEY1 + k, false);
    }
  }
  comboBox(IDC_WEP_KEY_SIZE).setCurSel(size);
  m_sizeChoice = size;
  uint32_t tx = m_keyBlock.txKeyIndex;
  if (tx >= 1 && tx <= 4) checkRadioButton(IDC_WEP_TX_KEY1, IDC_WEP_TX_KEY1 + 3, IDC_WEP_TX_KEY1 + int(tx) - 1);
  return true;
}

void CWepKeyDlg::OnFormatChange() {
  int format = Format();
  m_settings.WriteInt("Security", "WepKeyFmt", format);
  FillSizeList();
  comboBox(IDC_WEP_KEY_SIZE).setCurSel(m_sizeChoice);
  for (int k = 0; k < 4; ++k) {
    std::string text = itemText(IDC_WEP_KEY1 + k);
    if (text.find('*') != std::string::npos) {
      m_maskLength[k] = KeyLength();
      SetKeyText(k, std::string(m_maskLength[k], '*'));
    } else if (!text.empty()) {
      std::string converted;
      if (format == kWepHex) {
        converted = AsciiToHex(text);
        SetKeyText(k, converted);
      } else if (HexToAscii(text, converted)) {
        SetKeyText(k, converted);
      }
      WipeString(converted);
    }
    WipeString(text);
  }
}

void CWepKeyDlg::OnSizeChange() {
  bool anyText = false;
  for (int k = 0; k < 4; ++k) anyText = anyText || !itemText(IDC_WEP_KEY1 + k).empty();
  if (anyText && zfw::messageBox(this, zfw::loadString(IDS_WEP_SIZE_CHANGE), {},
                                 zfw::MB_YESNO | zfw::MB_ICONQUESTION) != zfw::IDYES) {
    comboBox(IDC_WEP_KEY_SIZE).setCurSel(m_sizeChoice);
    return;
  }
  m_sizeChoice = Size();
  if (!anyText) return;
  for (int k = 0; k < 4; ++k) {
    SetKeyText(k, "");
    m_maskLength[k] = 0;
    checkItem(IDC_WEP_TX_KEY1 + k, 0);
    enableItem(IDC_WEP_TX_KEY1 + k, false);
  }
  m_changedKeys = 0xF;
}

void CWepKeyDlg::OnKeyChange(int key) {
  if (m_settingText) return;
  const int bit = 1 << key;
  std::string text = itemText(IDC_WEP_KEY1 + key);
  if (!(m_changedKeys & bit) && m_maskLength[key] > 0 &&
      text.compare(0, m_maskLength[key] - 1, std::string(m_maskLength[key] - 1, '*')) == 0) {
    text.clear();  // the first keystroke in a masked key clears it
  }
  m_changedKeys |= bit;
  m_maskLength[key] = 0;

  // Filter: cut to the key length; hexadecimal keeps digits only, in upper case.
  std::string filtered = text;
  if (filtered.size() > KeyLength()) {
    filtered.pop_back();
  } else if (Format() == kWepHex) {
    for (size_t i = filtered.size(); i-- > 0;) {
      char c = filtered[i];
      if (c >= 'a' && c <= 'f') {
        for (char& d : filtered) d = static_cast<char>(std::toupper(static_cast<unsigned char>(d)));
        break;
      }
      if (HexDigit(c) < 0) {
        filtered.erase(i, 1);
        break;
      }
    }
  }
  if (filtered != itemText(IDC_WEP_KEY1 + key)) {
    SetKeyText(key, filtered);
    setEditCaret(IDC_WEP_KEY1 + key, -1);
  }

  const int radio = IDC_WEP_TX_KEY1 + key;
  enableItem(radio, !filtered.empty());
  if (!filtered.empty() && checkedRadioButton(IDC_WEP_TX_KEY1, IDC_WEP_TX_KEY1 + 3) == 0) {
    checkRadioButton(IDC_WEP_TX_KEY1, IDC_WEP_TX_KEY1 + 3, radio);
  } else if (filtered.empty() && isChecked(radio)) {
    checkItem(radio, 0);
  }
  WipeString(text);
  WipeString(filtered);
}

bool CWepKeyDlg::ValidateWepKeys() {
  const size_t length = KeyLength();
  for (int k = 0; k < 4; ++k) {
    std::string text = itemText(IDC_WEP_KEY1 + k);
    bool bad = !text.empty() && text.size() != length;
    WipeString(text);
    if (bad) {
      int message = Size() == kWep104 ? (Format() == kWepHex ? IDS_WEP_104_HEX : IDS_WEP_104_ASCII)
                                      : (Format() == kWepHex ? IDS_WEP_40_HEX : IDS_WEP_40_ASCII);
      zfw::messageBox(this, zfw::loadString(IDS_WEP_KEY1_LABEL + k) + zfw::loadString(message), {},
                      zfw::MB_ICONEXCLAMATION);
      return false;
    }
  }
  int checked = checkedRadioButton(IDC_WEP_TX_KEY1, IDC_WEP_TX_KEY1 + 3);
  if (checked != 0 && itemText(checked - IDC_WEP_TX_KEY1 + IDC_WEP_KEY1).empty()) {
    zfw::messageBox(this, zfw::loadString(IDS_WEP_BAD_TX_KEY), {}, zfw::MB_ICONEXCLAMATION);
    return false;
  }
  return true;
}

void CWepKeyDlg::onOK() {
  if (!ValidateWepKeys()) return;
  int checked = checkedRadioButton(IDC_WEP_TX_KEY1, IDC_WEP_TX_KEY1 + 3);
  uint32_t tx = checked ? uint32_t(checked - IDC_WEP_TX_KEY1 + 1) : 0;
  for (int k = 0; tx == 0 && k < 4; ++k) {
    if (!itemText(IDC_WEP_KEY1 + k).empty()) tx = uint32_t(k + 1);
  }
  m_keyBlock.txKeyIndex = tx;
  for (int k = 0; k < 4; ++k) {
    if (!(m_changedKeys & (1 << k))) continue;
    WEP_KEY_ENTRY& entry = m_keyBlock.wepKeys[k];
    std::memset(entry.key, 0, sizeof entry.key);
    std::string text = itemText(IDC_WEP_KEY1 + k);
    entry.length = text.empty() ? 0 : (Size() == kWep104 ? 13 : 5);
    KeyTextToBytes(text, Format(), entry.key);
    WipeString(text);
  }
  endDialog(zfw::IDOK);
}
