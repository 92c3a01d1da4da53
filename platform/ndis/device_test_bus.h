#pragma once
// A DeviceBus without a driver, for testing a chip on its own: shared memory comes from a
// DmaSpace the test fills directly, the interrupt line is recorded, chip events run on the
// given scheduler.
#include <cstdint>
#include <vector>

#include "platform/ndis/device.h"
#include "platform/ndis/dma_space.h"

namespace ndis {

class DeviceTestBus final : public DeviceBus {
public:
  explicit DeviceTestBus(Scheduler& scheduler) : scheduler_(scheduler) {}

  void setInterruptLine(bool asserted) override;
  bool dmaRead(std::uint32_t physical, std::span<std::uint8_t> into) override;
  bool dmaWrite(std::uint32_t physical, std::span<const std::uint8_t> from) override;
  EventId scheduleChipEvent(Micros delay, std::string_view label, EventAction action) override;
  Scheduler& scheduler() override { return scheduler_; }

  DmaSpace& memory() { return memory_; }
  bool interruptLine() const { return line_; }
  // Each change of the line, in order (true = asserted).
  const std::vector<bool>& lineChanges() const { return changes_; }
  // DMA accesses that fell outside every block.
  std::size_t dmaFaults() const { return dmaFaults_; }

private:
  Scheduler& scheduler_;
  DmaSpace memory_;
  bool line_ = false;
  std::vector<bool> changes_;
  std::size_t dmaFaults_ = 0;
};

}  // namespace ndis
