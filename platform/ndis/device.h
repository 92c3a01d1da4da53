#pragma once
// The device interface: what a chip implements so the NDIS runtime can put it under a
// driver, and what the runtime offers the chip in return.
//
//   driver --READ_/WRITE_REGISTER_*--> runtime --readRegister/writeRegister--> ChipDevice
//   driver --NdisReadPciSlotInformation--> runtime --readPciConfig--> ChipDevice
//   ChipDevice --setInterruptLine--> runtime --ISR, deferred handler--> driver
//   ChipDevice --dmaRead/dmaWrite(physical)--> runtime shared memory <-- driver (virtual)
//   ChipDevice --scheduleChipEvent--> the adapter's Scheduler (EventKind::Chip)
//
// Nothing here knows a particular chip; a simulated chip (or a test double) derives from
// ChipDevice and is handed to ndis::NdisHost::load together with the Scheduler.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/ndis/scheduler.h"

namespace ndis {

// Width of one register access in bytes.
enum class AccessWidth : std::uint8_t { U8 = 1, U16 = 2, U32 = 4 };

// One memory window (PCI BAR) of the device: window i is the i-th entry of
// DeviceResources::windows, and NdisMMapIoSpace of a physical address inside it routes the
// driver's register accesses there as (window i, offset from physicalBase).
struct MemoryWindow {
  std::uint32_t physicalBase = 0;
  std::uint32_t length = 0;
};

// What the adapter's resource list describes (NdisMQueryAdapterResources).
struct DeviceResources {
  std::uint32_t interruptLevel = 11;
  std::uint32_t interruptVector = 11;
  std::vector<MemoryWindow> windows;
};

// What the runtime offers a chip. Valid from ChipDevice::attach until ChipDevice::detach.
class DeviceBus {
public:
  // The interrupt line is level-triggered: the chip holds it asserted while it has an
  // unmasked cause. The runtime calls the driver's ISR when the line rises while an
  // interrupt is registered, and again after the deferred handler and the enable handler
  // when the line is still asserted then.
  virtual void setInterruptLine(bool asserted) = 0;

  // Bus-master DMA into the runtime's shared memory by its (fake, 32-bit) physical
  // address. False, and nothing copied, when the range is empty or not inside one live
  // block of shared memory (the runtime also records it as a fault of the bus).
  virtual bool dmaRead(std::uint32_t physical, std::span<std::uint8_t> into) = 0;
  virtual bool dmaWrite(std::uint32_t physical, std::span<const std::uint8_t> from) = 0;

  // The chip's own work at a later time: runs on the adapter's scheduler as
  // EventKind::Chip, so NdisStallExecution runs it too (a mailbox that answers while the
  // driver spins). Cancel with scheduler().cancel().
  virtual EventId scheduleChipEvent(Micros delay, std::string_view label, EventAction action) = 0;
  virtual Scheduler& scheduler() = 0;

protected:
  ~DeviceBus() = default;
};

// What a chip implements. All calls come from the scheduler's thread.
class ChipDevice {
public:
  virtual ~ChipDevice() = default;

  // The runtime hands the chip its bus when the adapter is loaded and takes it back when
  // the adapter is unloaded; no bus call is allowed outside that span.
  virtual void attach(DeviceBus& bus) = 0;
  virtual void detach() = 0;

  // Interrupt and memory windows; PCI configuration space must agree with it (the base
  // address registers at 0x10, 0x14, ... hold the windows' physical bases).
  virtual DeviceResources resources() const = 0;

  // PCI configuration space (256 bytes): the number of bytes actually read or written.
  virtual std::size_t readPciConfig(std::uint32_t offset, std::span<std::uint8_t> into) = 0;
  virtual std::size_t writePciConfig(std::uint32_t offset, std::span<const std::uint8_t> from) = 0;

  // One register access inside a memory window; offset + width never exceeds the window's
  // length (the runtime refuses such an access before it reaches the chip).
  virtual std::uint32_t readRegister(unsigned window, std::uint32_t offset, AccessWidth width) = 0;
  virtual void writeRegister(unsigned window, std::uint32_t offset, AccessWidth width,
                             std::uint32_t value) = 0;

  // The card was pulled out (surprise removal): from now on reads return all ones.
  virtual void surpriseRemoved() {}
};

}  // namespace ndis
