#pragma once
// "Advanced Filter" (dialog 120) of the site survey: what the next Refresh scans for — any
// network, one SSID or one BSSID (the two exclude each other), on all channels, one channel
// or a range of channels. OK stores the choice in the page's filter.
#include <cstdint>
#include <string_view>

#include "platform/gui/dialog.h"
#include "utility/ui/site_survey.h"

class CAdvancedFilterDlg : public zfw::Dialog {
public:
  enum : int {
    IDD = 120,
    IDC_BSSID_FIRST = 1002,  // six boxes, 1002-1007
    IDC_SSID = 1008,
    IDC_SINGLE_CHANNEL = 1009,
    IDC_FROM_CHANNEL = 1010,
    IDC_TO_CHANNEL = 1011,
    IDC_ANY_SSID = 1032,
    IDC_FIND_SSID = 1033,
    IDC_ANY_BSSID = 1034,
    IDC_FIND_BSSID = 1035,
    IDC_ALL_CHANNELS = 1126,
    IDC_ONE_CHANNEL = 1127,
    IDC_CHANNEL_RANGE = 1128,
  };

  CAdvancedFilterDlg(CSiteSurvey::ScanFilter& filter, zfw::Wnd* parent);

  void onOK() override;

  // One byte from a BSSID box: the first character is the high nibble (not a hexadecimal
  // digit: 0), the second the low nibble (not one, or missing: nothing), so "5" is 0x50.
  static uint8_t BssidByteOfText(std::string_view text);

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
  bool onInitDialog() override;
  bool onCommand(int id, int code) override;

private:
  void OnFindSsid();
  void OnFindBssid();
  void OnChannelChoice();
  void OnFromChosen();
  void OnToChosen();
  void OnBssidEdited(int id);
  void EnableByChoice();
  // Fills a channel box with low..high (never beyond 14), selecting `current` or the first.
  void FillChannels(int id, int low, int high, int current);
  int ChosenChannel(int id) const;

  CSiteSurvey::ScanFilter& m_filter;
};
