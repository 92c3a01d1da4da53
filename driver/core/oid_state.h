#pragma once
// What the OID layer keeps beside the station core's own words: values that only OIDs set
// and read (PMKIDs, packet filter, multicast list, statistics bins, vendor mode).
#include <cstdint>

namespace zelnic::core {

inline constexpr std::uint32_t kPmkidEntries = 16;
inline constexpr std::uint32_t kPmkidEntryBytes = 22;  // BSSID 6, PMKID 16
inline constexpr std::uint32_t kMulticastMax = 32;

struct PmkidEntry {
  std::uint8_t bssid[6];
  std::uint8_t pmkid[16];
};
static_assert(sizeof(PmkidEntry) == kPmkidEntryBytes);

struct OidState {
  std::uint32_t pmkidCount;
  PmkidEntry pmkids[kPmkidEntries];
  PmkidEntry pmkidHistory[kPmkidEntries];  // entries dropped from the list, round robin
  std::uint32_t pmkidHistoryNext;
  std::uint32_t packetFilter;
  std::uint32_t currentLookahead;
  std::uint32_t protocolOptions;
  std::uint32_t networkTypeInUse;
  std::uint32_t ccxNetworkEap;
  std::uint32_t wlanModeWord;
  std::uint32_t rssiBins[4];
  std::uint8_t vendorMode;
  std::uint8_t configurationSet;
  std::uint8_t configuration[32];  // NDIS_802_11_CONFIGURATION as last set
  std::uint32_t statistics[26];    // the published statistics record's words
};

}  // namespace zelnic::core
