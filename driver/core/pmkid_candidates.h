#pragma once
// The PMKID candidate list of station management: the access points of the current network
// (same SSID, infrastructure, with an RSN element) that the supplicant may pre-authenticate
// with or hold PMKSAs for, the current one first, then by signal. After a group key it is
// indicated to NDIS as the PMKID candidate list status.
#include <cstdint>

struct CoreAdapter;

namespace zelnic::core {

inline constexpr std::uint32_t kMaxPmkidCandidates = 16;
inline constexpr std::uint32_t kPmkidCandidatePreauthentication = 0x1;  // candidate flag bit 0

struct PmkidCandidate {
  std::uint8_t bssid[6];
  std::uint32_t flags;
};

struct PmkidCandidateList {
  std::uint32_t count = 0;
  PmkidCandidate candidates[kMaxPmkidCandidates] = {};
};

// Builds the list from the BSS table.
void CollectPmkidCandidates(CoreAdapter* core);
// In the associated state, once the current network has a group key: collects the list and,
// when it is not empty, indicates NDIS_STATUS_MEDIA_SPECIFIC_INDICATION with {u32 status type
// 2, u32 version 1, u32 count, count x {BSSID, 2 pad bytes, u32 flags}}.
void IndicatePmkidCandidates(CoreAdapter* core);

}  // namespace zelnic::core
