#pragma once
// What the station keeps of one BSS beside its NDIS_WLAN_BSSID entry: the fields parsed from
// its beacons and probe responses, and the element block saved from the last of them.
#include <cstdint>

#include "driver/core/elements.h"
#include "platform/ndis/ntddndis.h"

namespace zelnic::core {

inline constexpr std::uint32_t kCcxSlotBytes = 260;
inline constexpr std::uint32_t kMakerSlotBytes = 33;
inline constexpr std::uint32_t kSecurityElementSlotBytes = 64;

// The parsed fields of a beacon or probe response.
struct BssElements {
  std::uint8_t Bssid[6];
  std::uint8_t Timestamp[8];
  std::uint16_t BeaconInterval;
  std::uint16_t Capability;
  std::uint32_t SsidLength;
  std::uint8_t Ssid[32];
  std::uint8_t Rates[14];  // Supported Rates, then Extended Supported Rates
  std::uint8_t Channel;    // the first allowed DS channel; 0 when none
  std::uint8_t CfpCount;
  std::uint8_t CfpPeriod;
  std::uint16_t CfpMaxDuration;
  std::uint8_t DtimCount;
  std::uint8_t DtimPeriod;
  std::uint8_t TrafficPending;  // the TIM holds traffic for the station's association ID
  std::uint16_t AtimWindow;
  std::uint8_t Erp;             // the ERP element's first byte
  std::uint8_t Ccx[kCcxSlotBytes];  // the CCX vendor element, whole; empty when absent
  std::uint8_t Maker[kMakerSlotBytes];  // the maker's vendor element, whole
  std::uint8_t MakerPresent;
};

// One row of the BSS directory: the parsed fields, the saved element block and the
// timestamps of the last beacon and the last probe response.
struct BssRecord {
  BssElements Elements;
  std::uint8_t Block[kElementBlockBytes];
  std::uint32_t BlockLength;
  std::uint8_t BeaconTimestamp[8];
  std::uint8_t ProbeResponseTimestamp[8];
  // The BSS's WPA and RSN elements as heard last, each cut to its slot; zero when absent.
  std::uint8_t WpaElement[kSecurityElementSlotBytes];
  std::uint8_t RsnElement[kSecurityElementSlotBytes];
};

inline constexpr std::uint32_t kMaxBss = 255;

// What the utility reads of a BSS beside its entry ("extra record"): 1 when the BSS carries
// the maker's vendor element, then that element's first 32 bytes.
inline constexpr std::uint32_t kMakerExtraRecordBytes = 33;

// The BSS table as OID queries read it: a count, then the entries.
struct BssTableData {
  ULONG Count;
  NDIS_WLAN_BSSID Entries[kMaxBss];
};

}  // namespace zelnic::core
