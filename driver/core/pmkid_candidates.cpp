#include "driver/core/pmkid_candidates.h"

#include <cstring>

#include "driver/core/bss_table.h"
#include "driver/core/core_adapter.h"
#include "driver/core/key_installs.h"
#include "driver/core/little_endian.h"
#include "driver/core/security_elements.h"

namespace zelnic::core {
namespace {

constexpr std::uint32_t kStatusTypePmkidCandidateList = 2;
constexpr std::uint32_t kCandidateListVersion = 1;
constexpr std::uint32_t kHeaderBytes = 12;
constexpr std::uint32_t kCandidateBytes = 12;

bool IsCandidate(const CoreAdapter* core, const NDIS_WLAN_BSSID& entry, const BssRecord& record) {
  return entry.InfrastructureMode == Ndis802_11Infrastructure && record.RsnElement[0] != 0 &&
         entry.Ssid.SsidLength == core->CurrentSsid.length &&
         std::memcmp(entry.Ssid.Ssid, core->CurrentSsid.bytes, core->CurrentSsid.length) == 0;
}

// Ahead: the current network, then the stronger signal; ties keep the table's order.
bool Ahead(const CoreAdapter* core, const NDIS_WLAN_BSSID& a, const NDIS_WLAN_BSSID& b) {
  const bool aCurrent = std::memcmp(a.MacAddress, core->Bssid.data(), 6) == 0;
  const bool bCurrent = std::memcmp(b.MacAddress, core->Bssid.data(), 6) == 0;
  if (aCurrent != bCurrent) return aCurrent;
  return a.Rssi > b.Rssi;
}

}  // namespace

void CollectPmkidCandidates(CoreAdapter* core) {
  const BssTableData& table = BssTableOf(core);
  const std::uint32_t count = table.Count < kMaxBss ? table.Count : kMaxBss;
  // The table's indexes of the candidates, in order (an insertion into the kept best ones).
  std::uint32_t chosen[kMaxPmkidCandidates];
  std::uint32_t kept = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!IsCandidate(core, table.Entries[i], core->Bss[i])) continue;
    std::uint32_t at = kept;
    while (at > 0 && Ahead(core, table.Entries[i], table.Entries[chosen[at - 1]])) --at;
    if (at == kMaxPmkidCandidates) continue;
    const std::uint32_t last = kept < kMaxPmkidCandidates ? kept : kMaxPmkidCandidates - 1;
    for (std::uint32_t j = last; j > at; --j) chosen[j] = chosen[j - 1];
    chosen[at] = i;
    if (kept < kMaxPmkidCandidates) ++kept;
  }
  PmkidCandidateList& list = core->Station.PmkidCandidates;
  list = PmkidCandidateList{};
  for (std::uint32_t c = 0; c < kept; ++c) {
    PmkidCandidate& candidate = list.candidates[c];
    std::memcpy(candidate.bssid, table.Entries[chosen[c]].MacAddress, 6);
    candidate.flags = OffersPreauthentication(core->Bss[chosen[c]].RsnElement) ? kPmkidCandidatePreauthentication : 0;
  }
  list.count = kept;
}

void IndicatePmkidCandidates(CoreAdapter* core) {
  const BssKeyTable* current = CurrentBssKeys(core);
  if (core->MlmeState != kMlmeAssociated || current == nullptr || !current->groupKeyInstalled) return;
  CollectPmkidCandidates(core);
  const PmkidCandidateList& list = core->Station.PmkidCandidates;
  if (list.count == 0) return;
  std::uint8_t indication[kHeaderBytes + kMaxPmkidCandidates * kCandidateBytes] = {};
  Put32(indication, kStatusTypePmkidCandidateList);
  Put32(indication + 4, kCandidateListVersion);
  Put32(indication + 8, list.count);
  for (std::uint32_t c = 0; c < list.count; ++c) {
    std::uint8_t* at = indication + kHeaderBytes + c * kCandidateBytes;
    std::memcpy(at, list.candidates[c].bssid, 6);
    Put32(at + 8, list.candidates[c].flags);
  }
  IndicateMediaSpecific(core, indication, kHeaderBytes + list.count * kCandidateBytes);
}

}  // namespace zelnic::core
