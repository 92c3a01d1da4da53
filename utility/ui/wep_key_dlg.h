#pragma once
// "Configure WEP Key" (dialog 121): the four static WEP keys and the transmit key of a
// profile, edited in place in the security page's key block. Stored keys are never shown:
// a stored key reads as a row of asterisks as long as the key would be as text.
#include <cstdint>
#include <string>

#include "platform/gui/dialog.h"
#include "platform/win32/ini_file.h"
#include "utility/core/profile_entry.h"

// The 148 bytes of a profile from txKeyIndex on.
struct WepKeyBlock {
  uint32_t txKeyIndex;  // 1-4, 0 none
  WEP_KEY_ENTRY wepKeys[4];
};
static_assert(sizeof(WepKeyBlock) == 148);

enum : int {
  IDD_WEP_KEY = 121,
  IDC_WEP_TX_KEY1 = 1050,  // radios 1050-1053
  IDC_WEP_KEY1 = 1054,     // edits 1054-1057
  IDC_WEP_KEY_FORMAT = 1064,
  IDC_WEP_KEY_SIZE = 1070,
};
enum WepKeyFormat : int { kWepAscii = 0, kWepHex = 1 };
enum WepKeySize : int { kWep40 = 0, kWep104 = 1 };

// The key's bytes from its text: ASCII copies the characters, hexadecimal turns each pair
// of digits into one byte. `out` holds 32 bytes; returns the bytes written.
size_t KeyTextToBytes(const std::string& text, int format, uint8_t* out);

class CWepKeyDlg : public zfw::Dialog {
public:
  // `settings` keeps the chosen key format ([Security] WepKeyFmt).
  CWepKeyDlg(WepKeyBlock& keyBlock, plat::IniFile settings, zfw::Wnd* parent = nullptr);
  ~CWepKeyDlg() override;

  void onOK() override;
  // True when every key text fits the selected size and the transmit key is set; otherwise
  // says what is wrong.
  bool ValidateWepKeys();
  int ChangedKeys() const { return m_changedKeys; }

protected:
  void buildControls(zfw::ControlBuilder& b) override;
  bool onInitDialog() override;

private:
  void OnFormatChange();
  void OnSizeChange();
  void OnKeyChange(int key);
  void FillSizeList();
  int Format() const;
  int Size() const;
  size_t MaskLength(int size) const;
  size_t KeyLength() const { return MaskLength(Size()); }
  // Programmatic text changes are not the user's edits.
  void SetKeyText(int key, const std::string& text);

  WepKeyBlock& m_keyBlock;
  plat::IniFile m_settings;
  int m_changedKeys = 0;  // bit 0 key 1 ... bit 3 key 4
  int m_sizeChoice = kWep40;
  size_t m_maskLength[4] = {};  // the mask shown in each untouched key, 0 none
  bool m_settingText = false;
};
