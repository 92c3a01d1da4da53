#include "driver/core/rates.h"

#include <algorithm>
#include <cstring>

#include "platform/ndis/ntddndis.h"

namespace zelnic::core {
namespace {

struct RateIndexPair {
  std::uint8_t code;
  std::uint8_t index;
};

constexpr RateIndexPair kRateIndexes[14] = {
    {0x02, 0}, {0x04, 1}, {0x0B, 2}, {0x16, 3},  {0x2C, 4},  {0x0C, 5},  {0x12, 6},
    {0x18, 7}, {0x24, 8}, {0x30, 9}, {0x48, 10}, {0x60, 11}, {0x6C, 12}, {0x90, 13},
};

// The codes that make a BSS more than 802.11b: the OFDM rates and 72 Mbit/s.
constexpr std::uint8_t kNotBRates[] = {0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C, 0x90};

constexpr std::uint32_t kMaxRatesInElement = 8;

const RateIndexPair* Find(std::uint8_t code) {
  for (const RateIndexPair& pair : kRateIndexes)
    if (pair.code == code) return &pair;
  return nullptr;
}

bool Holds(const std::uint8_t* rates, std::uint32_t count, std::uint8_t code) {
  for (std::uint32_t i = 0; i < count; ++i)
    if ((rates[i] & ~kBasicRate) == code) return true;
  return false;
}

}  // namespace

std::uint32_t RateIndex(std::uint8_t code) {
  const RateIndexPair* pair = Find(code);
  return pair != nullptr ? pair->index : kUnknownRateIndex;
}

bool IsKnownRate(std::uint8_t code) { return Find(code) != nullptr; }

std::uint8_t BestCommonRate(const std::uint8_t* rates, std::uint32_t count) {
  for (auto it = kStationRates.rbegin(); it != kStationRates.rend(); ++it)
    if (Holds(rates, count, *it)) return *it;
  return 0;
}

std::uint32_t SortRatesByIndex(std::uint8_t (&rates)[14]) {
  std::uint8_t sorted[14] = {};
  std::uint32_t last = 0;
  for (std::uint8_t code : rates) {
    if (code == 0) continue;
    // An unknown code takes the unknown index's place, as RateIndex says.
    const std::uint32_t index = RateIndex(code & ~kBasicRate);
    sorted[index] = code;
    last = index;
  }
  std::memcpy(rates, sorted, sizeof sorted);
  return last;
}

void CapRatesAtDataRate(std::uint8_t (&rates)[14], std::uint32_t dataRate) {
  if (dataRate > 0xFF || !IsKnownRate(static_cast<std::uint8_t>(dataRate))) return;
  const std::uint32_t cap = RateIndex(static_cast<std::uint8_t>(dataRate));
  if (cap > 12) return;
  for (std::uint32_t i = cap + 1; i < 14; ++i) rates[i] = 0;
}

std::uint32_t IsBOnly(const NDIS_WLAN_BSSID& bss) {
  for (std::uint8_t rate : bss.SupportedRates) {
    const std::uint8_t code = rate == 0x90 ? rate : static_cast<std::uint8_t>(rate & ~kBasicRate);
    if (std::find(std::begin(kNotBRates), std::end(kNotBRates), code) != std::end(kNotBRates)) return 0;
  }
  return 1;
}

void MarkBasicBRates(std::uint8_t* element) {
  const std::uint32_t count = std::min<std::uint32_t>(element[1], kMaxRatesInElement);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t& rate = element[2 + i];
    if (std::find(kBRates.begin(), kBRates.end(), rate & ~kBasicRate) != kBRates.end()) rate |= kBasicRate;
  }
}

void MarkBasicLikeBss(const std::uint8_t (&bssRates)[14], std::uint8_t* element) {
  const std::uint32_t count = std::min<std::uint32_t>(element[1], kMaxRatesInElement);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t& rate = element[2 + i];
    for (std::uint8_t bss : bssRates)
      if ((bss & kBasicRate) != 0 && (bss & ~kBasicRate) == (rate & ~kBasicRate)) rate |= kBasicRate;
  }
}

}  // namespace zelnic::core
