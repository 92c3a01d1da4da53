#pragma once
// The "Debug" page of the main sheet (dialog 113), present when Zelcon.ini enables it: reads
// and writes the adapter's MAC, baseband and RF registers and shows the radio's RF
// calibration registers, refreshed every second when asked.
#include <cstdint>
#include <optional>
#include <string>

#include "hosts/adapterctl/adapter_control.h"
#include "utility/ui/zelcon_page.h"

class CDebugWin : public CZelconPage {
public:
  CDebugWin();

  static constexpr int kTimerId = 0x6000;

  // A register index or value typed in hexadecimal ("1a" is 0x1A); nothing when the text
  // holds anything but hexadecimal digits.
  static std::optional<uint32_t> ParseHex(std::string text);
  // What the live filter makes of an edit's text: the text and where the caret goes.
  struct Filtered {
    std::string text;
    int caret;
  };
  static std::optional<Filtered> FilterHex(const std::string& text);

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
  bool onInitDialog() override;
  bool onSetActive() override;
  bool onKillActive() override;
  void onTimer(int id) override;

private:
  enum class Bank { Mac, Baseband, Rf };
  struct Registers {
    int indexEdit, valueEdit;
    int (IAdapterControl::*query)(void*, uint32_t, uint32_t&);
    int (IAdapterControl::*set)(void*, uint32_t, uint32_t);
  };
  static Registers RegistersOf(Bank bank);

  void ReadRegister(Bank bank);
  void WriteRegister(Bank bank);
  void ReadRfCalibration();
  void OnHexEdit(int id);
  void OnRefreshEverySecond();
  void OnTrace();
  void OnRefreshRate();
  void OnTxPower();
  void* Adapter() const;

  bool m_refreshRfCal = false;
  bool m_filtering = false;
};
