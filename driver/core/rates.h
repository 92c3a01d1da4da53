#pragma once
// The station's rates. Codes are in units of 500 kbit/s; bit 7 marks a basic rate. Rate
// indexes order the rates by speed, 1 Mbit/s (0) to 72 Mbit/s (13).
#include <array>
#include <cstdint>

struct NDIS_WLAN_BSSID;

namespace zelnic::core {

inline constexpr std::uint8_t kBasicRate = 0x80;

// 1, 2, 5.5, 11, 6, 9, 12, 18, 24, 36, 48, 54 Mbit/s: the order BestCommonRate ranks by.
inline constexpr std::array<std::uint8_t, 12> kStationRates = {0x02, 0x04, 0x0B, 0x16, 0x0C, 0x12,
                                                                0x18, 0x24, 0x30, 0x48, 0x60, 0x6C};
inline constexpr std::array<std::uint8_t, 4> kBRates = {0x02, 0x04, 0x0B, 0x16};
inline constexpr std::array<std::uint8_t, 8> kOfdmRates = {0x0C, 0x12, 0x18, 0x24, 0x30, 0x48, 0x60, 0x6C};
// What an association request offers: Supported Rates, then Extended Supported Rates.
inline constexpr std::array<std::uint8_t, 8> kAssociationRates = {0x02, 0x04, 0x0B, 0x16,
                                                                   0x0C, 0x18, 0x30, 0x48};
inline constexpr std::array<std::uint8_t, 4> kAssociationExtendedRates = {0x12, 0x24, 0x60, 0x6C};

// The index of an unknown code.
inline constexpr std::uint32_t kUnknownRateIndex = 10;

std::uint32_t RateIndex(std::uint8_t code);
bool IsKnownRate(std::uint8_t code);

// The fastest station rate, in the station table's order, that `rates` also hold (basic
// bits ignored); 0 when none.
std::uint8_t BestCommonRate(const std::uint8_t* rates, std::uint32_t count);

// Moves each non-zero code of a 14-byte list to the place of its rate index; the last index
// used (0 for an empty list).
std::uint32_t SortRatesByIndex(std::uint8_t (&rates)[14]);
// With a fixed data rate (`dataRate` a known code), clears every entry placed above that
// rate's index; an automatic or unknown rate leaves the list as it is.
void CapRatesAtDataRate(std::uint8_t (&rates)[14], std::uint32_t dataRate);

// 1 when none of the BSS's 8 supported rates is an OFDM rate (or 72 Mbit/s), else 0.
std::uint32_t IsBOnly(const NDIS_WLAN_BSSID& bss);

// In a Supported Rates element (id, length, rates) of at most 8 rates: marks 1, 2, 5.5 and
// 11 Mbit/s basic.
void MarkBasicBRates(std::uint8_t* element);
// In a Supported or Extended Rates element of at most 8 rates: marks basic each rate that
// the BSS's 14 rates list as basic.
void MarkBasicLikeBss(const std::uint8_t (&bssRates)[14], std::uint8_t* element);

}  // namespace zelnic::core
