#pragma once
// The "Network Status" page of the main sheet (dialog 101): once a second, while on show, it
// shows the link (status, SSID, BSSID, network type, security, channel, link speed), the
// signal bar, the IP settings of the adapter's interface and the transmit and receive rates
// with their scales. Choosing a profile in its box connects with it.
#include <cstdint>
#include <string>

#include "utility/ui/graph_ctrl.h"
#include "utility/ui/link_sample_rings.h"
#include "utility/ui/throughput_meter.h"
#include "utility/ui/zelcon_images.h"
#include "utility/ui/zelcon_page.h"

class CMainPage : public CZelconPage {
public:
  enum : int {
    IDC_PROFILE_BOX = 1071,
    IDC_STATUS = 1072,
    IDC_SSID = 1084,
    IDC_BSSID = 1075,
    IDC_NETWORK_TYPE = 1035,
    IDC_SECURITY = 1073,
    IDC_LINK_SPEED = 1076,
    IDC_BAND_ICON = 1041,
    IDC_SIGNAL = 1022,
    IDC_CHANNEL_GROUP = 1074,
    IDC_DHCP = 1007,
    IDC_IP_ADDRESS = 1045,
    IDC_SUBNET_MASK = 1046,
    IDC_GATEWAY = 1047,
    IDC_RENEW_LEASE = 1011,
    IDC_PROPERTIES = 1012,
    IDC_TX_RATE = 1085,
    IDC_RX_RATE = 1086,
    IDC_TX_TOP = 1087,
    IDC_RX_TOP = 1088,
    IDC_TX_MIDDLE = 1089,
    IDC_RX_MIDDLE = 1090,
    IDC_TX_CHART = 5001,  // the charts, where the dialog had 1025 and 1026
    IDC_RX_CHART = 5002,
  };
  // The band icon by the link's radio: not connected, 802.11b, 802.11a, any other.
  enum : int {
    IDI_BAND_NONE = IDI_LINK_NONE,
    IDI_BAND_B = IDI_LINK_B,
    IDI_BAND_A = IDI_LINK_A,
    IDI_BAND_OTHER = IDI_LINK_G,
  };
  static constexpr int kRefreshTimer = 0x1000;
  // The charts scroll once a second from the page's creation, shown or not.
  static constexpr int kChartTimer = 0x1001;

  CMainPage();
  // Shows the link as the sheet holds it.
  void RefreshStatus();
  // The once-a-second refresh of signal, speed, throughput, IP settings and security.
  void RefreshLinkStatus();
  void FillProfileBox();
  void OnSelectProfile();
  void OnRadioStateChanged(int radioOn) override;
  // The band icon on show.
  int bandIcon() const { return itemIcon(IDC_BAND_ICON); }
  CGraphCtrl* Chart(int id) const;

protected:
  void buildControls(zfw::ControlBuilder& builder) override;
  bool onInitDialog() override;
  bool onSetActive() override;
  bool onKillActive() override;
  void onTimer(int id) override;
  intptr_t onAppMessage(uint32_t code, const zfw::AppParam& param) override;

private:
  void ClearTexts();
  void ShowNotConnected(const char* status);
  std::string SecurityText();
  void RefreshThroughput(void* adapter);
  void RefreshIpInfo(void* adapter);
  void ShowScale(int topId, int middleId, uint64_t top);
  // Both charts get the rates (1 for none).
  void AddToCharts(uint64_t txBps, uint64_t rxBps);
  // Windows set a security value of the adapter itself: put back the selected profile's.
  void ResyncSecurity();

  bool m_radioOff = false;
  bool m_timerRunning = false;
  LinkSampleRings m_rings;
  ThroughputMeter m_throughput;
};
