#include "platform/ndis/register_file_chip.h"

#include <algorithm>
#include <cstring>

namespace ndis {

RegisterFileChip::RegisterFileChip()
    : RegisterFileChip(DeviceResources{11, 11, {{0xF0000000u, 0x10000}, {0xF0010000u, 0x10000}}}) {}

RegisterFileChip::RegisterFileChip(DeviceResources resources) : resources_(std::move(resources)) {
  for (std::size_t i = 0; i < resources_.windows.size(); ++i) {
    windows_.emplace_back(resources_.windows[i].length, 0);
    if (i < 6) setPciDword(0x10 + 4 * static_cast<std::uint32_t>(i), resources_.windows[i].physicalBase);
  }
}

std::size_t RegisterFileChip::readPciConfig(std::uint32_t offset, std::span<std::uint8_t> into) {
  if (offset >= pci_.size()) return 0;
  const std::size_t count = std::min({into.size(), pci_.size() - offset, pciReadLimit_});
  std::memcpy(into.data(), pci_.data() + offset, count);
  return count;
}

std::size_t RegisterFileChip::writePciConfig(std::uint32_t offset, std::span<const std::uint8_t> from) {
  if (offset >= pci_.size()) return 0;
  const std::size_t count = std::min(from.size(), pci_.size() - offset);
  std::memcpy(pci_.data() + offset, from.data(), count);
  return count;
}

void RegisterFileChip::setPciDword(std::uint32_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) pci_.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t RegisterFileChip::peek(unsigned window, std::uint32_t offset) const {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | windows_.at(window).at(offset + i);
  return value;
}

void RegisterFileChip::poke(unsigned window, std::uint32_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) windows_.at(window).at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t RegisterFileChip::readRegister(unsigned window, std::uint32_t offset, AccessWidth width) {
  std::uint32_t value = 0xFFFFFFFFu;
  if (!removed_) {
    value = 0;
    const auto bytes = static_cast<int>(width);
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | windows_.at(window).at(offset + i);
  }
  Access access{false, window, offset, width, value};
  if (onRead) access.value = onRead(access);
  if (removed_) access.value = 0xFFFFFFFFu >> (32 - 8 * static_cast<int>(width));
  accesses_.push_back(access);
  return access.value;
}

void RegisterFileChip::writeRegister(unsigned window, std::uint32_t offset, AccessWidth width, std::uint32_t value) {
  const Access access{true, window, offset, width, value};
  accesses_.push_back(access);
  if (removed_) return;
  for (int i = 0; i < static_cast<int>(width); ++i) {
    windows_.at(window).at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
  }
  if (onWrite) onWrite(access);
}

}  // namespace ndis
