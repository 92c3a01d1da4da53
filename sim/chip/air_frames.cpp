#include "sim/chip/air_frames.h"

#include <algorithm>

namespace simchip {

std::optional<std::vector<std::vector<std::uint8_t>>> ChipFramesToAir(std::span<const std::uint8_t> buffer) {
  std::vector<std::vector<std::uint8_t>> frames;
  std::size_t at = 0;
  while (at + kChipHeader <= buffer.size()) {
    const auto chip = buffer.subspan(at);
    const std::size_t body = static_cast<std::size_t>(chip[0] | chip[1] << 8);
    if (kChipHeader + body > chip.size()) return std::nullopt;
    std::vector<std::uint8_t> air(chip.begin() + 2, chip.begin() + 2 + kAirHeader);
    if (BothDs(air)) air.insert(air.end(), chip.begin() + 26, chip.begin() + kChipHeader);
    air.insert(air.end(), chip.begin() + kChipHeader, chip.begin() + kChipHeader + body);
    frames.push_back(std::move(air));
    at = (at + kChipHeader + body + 3) & ~std::size_t{3};
  }
  if (frames.empty()) return std::nullopt;
  return frames;
}

std::optional<std::vector<std::uint8_t>> AirToChip(std::span<const std::uint8_t> air) {
  if (air.size() < kAirHeader) return std::nullopt;
  const std::size_t header = BothDs(air) ? kAirHeader + kAddress4Bytes : kAirHeader;
  if (air.size() < header) return std::nullopt;
  const std::size_t body = air.size() - header;
  std::vector<std::uint8_t> chip(kChipHeader + body, 0);
  chip[0] = static_cast<std::uint8_t>(body);
  chip[1] = static_cast<std::uint8_t>(body >> 8);
  std::copy_n(air.begin(), kAirHeader, chip.begin() + 2);
  if (header > kAirHeader) std::copy_n(air.begin() + kAirHeader, kAddress4Bytes, chip.begin() + 26);
  std::copy(air.begin() + header, air.end(), chip.begin() + kChipHeader);
  return chip;
}

simair::MacAddress AddressAt(std::span<const std::uint8_t> air, std::size_t at) {
  simair::MacAddress a{};
  if (at + a.size() <= air.size()) std::copy_n(air.begin() + at, a.size(), a.begin());
  return a;
}

std::optional<simair::MacAddress> BssidOf(std::span<const std::uint8_t> air) {
  if (air.size() < kAirHeader) return std::nullopt;
  switch (air[1] & 3) {
    case 0: return AddressAt(air, 16);  // management, IBSS data: address 3
    case 1: return AddressAt(air, 4);   // to the DS: address 1
    case 2: return AddressAt(air, 10);  // from the DS: address 2
    default: return std::nullopt;
  }
}

std::span<const std::uint8_t> FindElement(std::span<const std::uint8_t> air, std::size_t at, std::uint8_t id) {
  while (at + 2 <= air.size()) {
    const std::size_t length = air[at + 1];
    if (at + 2 + length > air.size()) break;
    if (air[at] == id) return air.subspan(at + 2, length);
    at += 2 + length;
  }
  return {};
}

}  // namespace simchip
