#include "platform/ndis/device_test_bus.h"

namespace ndis {

void DeviceTestBus::setInterruptLine(bool asserted) {
  if (asserted == line_) return;
  line_ = asserted;
  changes_.push_back(asserted);
}

bool DeviceTestBus::dmaRead(std::uint32_t physical, std::span<std::uint8_t> into) {
  if (memory_.read(physical, into)) return true;
  ++dmaFaults_;
  return false;
}

bool DeviceTestBus::dmaWrite(std::uint32_t physical, std::span<const std::uint8_t> from) {
  if (memory_.write(physical, from)) return true;
  ++dmaFaults_;
  return false;
}

EventId DeviceTestBus::scheduleChipEvent(Micros delay, std::string_view label, EventAction action) {
  return scheduler_.after(delay, EventKind::Chip, label, std::move(action));
}

}  // namespace ndis
