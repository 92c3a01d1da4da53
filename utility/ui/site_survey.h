#pragma once
// The "Site Survey" page of the main sheet (dialog 103): scans (with the filter's SSID, BSSID
// and channels), lists the networks of the adapter's scan list with the four display
// switches, and connects to the chosen one through a matching profile or a new one.
#include <cstdint>
#include <string>
#include <vector>

#include "utility/core/link_status.h"
#include "utility/core/profile_entry.h"
#include "utility/ui/zelcon_page.h"

class CSiteSurvey : public CZelconPage {
public:
  enum : int {
    IDC_NETWORK_LIST = 1026,
    IDC_REFRESH = 1078,
    IDC_ASSOCIATE = 1079,
    IDC_FILTER = 1031,
    IDC_SHOW_PEER = 1015,
    IDC_SHOW_B = 1018,
    IDC_SHOW_G = 1016,
    IDC_SHOW_A = 1017,
    IDC_TEST = 1013,
    IDC_DISASSOCIATE = 1080,
  };
  // Row icons: ad hoc, 802.11b, 802.11g; the next image is the same network in use.
  enum : int { kImageAdHoc = 0, kImageB = 2, kImageG = 4 };
  static constexpr uint32_t kScanBufferSize = 0x6000;

  // What Refresh scans for; it lasts from one Refresh to the next.
  struct ScanFilter {
    bool anySsid = true;
    bool anyBssid = true;
    bool allChannels = true;
    std::string ssid;
    uint8_t bssid[6] = {};
    uint8_t channels[14] = {};  // 0 ends the list
  };

  CSiteSurvey();
  void OnRefresh();
  void Refill();
  void OnAssociate();
  // Runs the "Advanced Filter" dialog on the scan filter.
  void OnFilter();
  ScanFilter& Filter() { return m_filter; }

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
  bool onInitDialog() override;
  bool onSetActive() override;
  intptr_t onAppMessage(uint32_t code, const zfw::AppParam& param) override;
  // The profile wizard's "Configure Network" form on a new profile of a network with
  // privacy; true when the user confirmed it. Without the wizard nothing is confirmed.
  virtual bool ConfigureNetwork(PROFILE_ENTRY& profile);

private:
  void OnDisplaySwitch();
  void OnListClick();
  void OnListKillFocus();
  void SetBusy(bool busy);
  // The entry at a row's buffer index, or false when it cannot be read.
  bool EntryOfRow(int row, SCAN_LIST_ENTRY& entry) const;
  PROFILE_ENTRY NewProfileFor(const SCAN_LIST_ENTRY& entry);

  int m_showPeer = 1;
  int m_showB = 1;
  int m_showG = 1;
  int m_showA = 0;  // kept; no entry is classed 802.11a
  ScanFilter m_filter;
  std::vector<uint8_t> m_buffer;
  zelcon::LINK_STATUS m_linkCopy{};
};
