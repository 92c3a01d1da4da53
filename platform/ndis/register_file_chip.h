#pragma once
// A chip for tests: register windows that are plain memory, a PCI configuration space the
// test fills, every access recorded, and hooks to give registers side effects. It knows
// nothing of any real chip; tests of the runtime and of a driver's shell use it where the
// chip's behaviour does not matter.
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/ndis/device.h"

namespace ndis {

class RegisterFileChip : public ChipDevice {
public:
  struct Access {
    bool write;
    unsigned window;
    std::uint32_t offset;
    AccessWidth width;
    std::uint32_t value;
    friend bool operator==(const Access&, const Access&) = default;
  };

  // Two windows of 64 KB at 0xF0000000 and 0xF0010000, interrupt 11; PCI ids 0/0.
  RegisterFileChip();
  explicit RegisterFileChip(DeviceResources resources);

  void attach(DeviceBus& bus) override { bus_ = &bus; }
  void detach() override { bus_ = nullptr; }
  DeviceResources resources() const override { return resources_; }
  std::size_t readPciConfig(std::uint32_t offset, std::span<std::uint8_t> into) override;
  std::size_t writePciConfig(std::uint32_t offset, std::span<const std::uint8_t> from) override;
  std::uint32_t readRegister(unsigned window, std::uint32_t offset, AccessWidth width) override;
  void writeRegister(unsigned window, std::uint32_t offset, AccessWidth width, std::uint32_t value) override;
  void surpriseRemoved() override { removed_ = true; }

  // Test side.
  DeviceBus* bus() const { return bus_; }
  bool removed() const { return removed_; }
  std::array<std::uint8_t, 256>& pciConfig() { return pci_; }
  void setPciDword(std::uint32_t offset, std::uint32_t value);
  // Limit what a PCI read returns (a short read when smaller than asked).
  void setPciReadLimit(std::size_t bytes) { pciReadLimit_ = bytes; }
  std::uint32_t peek(unsigned window, std::uint32_t offset) const;  // a dword, no record
  void poke(unsigned window, std::uint32_t offset, std::uint32_t value);
  const std::vector<Access>& accesses() const { return accesses_; }
  void clearAccesses() { accesses_.clear(); }
  // Called after every write lands (side effects: raise the line, schedule a chip event).
  std::function<void(const Access&)> onWrite;
  // Replaces the value a read returns.
  std::function<std::uint32_t(const Access&)> onRead;

private:
  DeviceResources resources_;
  DeviceBus* bus_ = nullptr;
  bool removed_ = false;
  std::array<std::uint8_t, 256> pci_{};
  std::size_t pciReadLimit_ = 256;
  std::vector<std::vector<std::uint8_t>> windows_;
  std::vector<Access> accesses_;
};

}  // namespace ndis
