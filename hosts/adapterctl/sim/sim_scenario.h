#pragma once
// What the simulated adapter shows: its facts, the networks in range, how connections to
// them end, its counters, and notifications to raise after it is opened. Read from a small
// text file, one "key = value" a line ("#" starts a comment):
//
//   present = 1                       # 0: no adapter is plugged in
//   mac = 00-0A-F5-12-34-56
//   region = 0x10                     # 0x10 0x20 0x30 0x31 0x32 0x40
//   radio = 1                         # 0 off, 1 on, 2 hardware switch off
//   description = Brevik BRX210C Wireless LAN Adapter 6140
//   chip_version = 3
//   firmware_version = 0x01020304
//   driver_version = 1.0.0.1
//   driver_date = 3-14-2005
//   dhcp = 1
//   connect_delay_ms = 300
//   bss = Office | 00-11-22-33-44-01 | 6 | -45 | wpa2-psk | infra | g [| 0x01]
//         (SSID | BSSID | channel | RSSI dBm | open/wep/wpa-psk/wpa2-psk | infra/adhoc |
//          b/g | optional Auto Link flags byte for the vendor element)
//   connect = Office | join           # join, fail, or a result for the SSID set (e.g. 7)
//   swiftbond = success               # or failure
//   counter = tx_fragments 1200       # statistics, beacons_received/lost, rssi_bin0..3
//   event = 2000 5                    # after 2000 ms raise code 5; text may follow the code
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelcon {

struct SimBss {
  enum class Security { Open, Wep, WpaPsk, Wpa2Psk };
  std::string ssid;
  uint8_t bssid[6] = {};
  uint32_t channel = 1;
  int32_t rssi = -50;
  Security security = Security::Open;
  bool infrastructure = true;
  bool bOnly = false;
  std::optional<uint8_t> autoLinkFlags;
};

struct SimEvent {
  uint32_t delayMs = 0;
  uint32_t code = 0;
  std::string text;
};

struct SimScenario {
  bool present = true;
  uint8_t mac[6] = {0x00, 0x0A, 0xF5, 0x12, 0x34, 0x56};
  uint32_t region = 0x10;
  uint32_t radio = 1;
  std::string description = "Brevik BRX210C Wireless LAN Adapter 6140";
  uint32_t chipVersion = 3;
  uint32_t firmwareVersion = 0x01000000;
  std::string driverVersion = "1.0.0.1";
  std::string driverDate = "1-1-2005";
  uint32_t dhcp = 1;
  uint32_t connectDelayMs = 300;
  std::vector<SimBss> networks;
  std::map<std::string, std::string> connectResults;  // SSID -> join / fail / number
  bool swiftBondSucceeds = true;
  std::map<std::string, int64_t> counters;
  std::vector<SimEvent> events;

  static constexpr size_t kMaxNetworks = 64;
  static constexpr size_t kMaxEvents = 256;
  static constexpr size_t kMaxFileBytes = 1 << 20;
};

struct SimScenarioResult {
  std::optional<SimScenario> scenario;
  std::string error;  // "line N: what is wrong" when scenario is empty
};

SimScenarioResult ParseSimScenario(std::string_view text);
SimScenarioResult LoadSimScenario(const std::string& path);

}  // namespace zelcon
