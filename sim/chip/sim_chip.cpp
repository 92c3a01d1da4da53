#include "sim/chip/sim_chip.h"

#include <algorithm>

#include "sim/chip/chip_registers.h"
#include "sim/chip/chip_text.h"

namespace simchip {
namespace {

std::uint32_t AllOnes(ndis::AccessWidth width) {
  switch (width) {
    case ndis::AccessWidth::U8: return 0xFF;
    case ndis::AccessWidth::U16: return 0xFFFF;
    case ndis::AccessWidth::U32: return 0xFFFFFFFF;
  }
  return 0xFFFFFFFF;
}

void PutLe(std::uint8_t* at, std::size_t width, std::uint32_t value) {
  for (std::size_t i = 0; i < width; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLe(const std::uint8_t* at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= static_cast<std::uint32_t>(at[i]) << (8 * i);
  return value;
}

}  // namespace

SimChip::SimChip(ChipIdentity identity)
    : identity_(identity), bootRom_(identity_, knobs_), firmware_(identity_, knobs_) {
  for (auto& window : windows_) window.assign(kWindowSize, 0);
  std::copy(identity_.mac.begin(), identity_.mac.end(), windows_[1].begin() + kRegMacAddress);

  PutLe(&pci_[0x00], 2, kPciVendor);
  PutLe(&pci_[0x02], 2, kPciDevice);
  PutLe(&pci_[0x04], 2, 0x0006);  // memory space and bus master enabled
  pci_[0x08] = identity_.revision;
  pci_[0x0A] = 0x80;  // network controller, other
  pci_[0x0B] = 0x02;
  PutLe(&pci_[0x10], 4, identity_.window0Base);
  PutLe(&pci_[0x14], 4, identity_.window1Base);
  PutLe(&pci_[0x2C], 2, identity_.subsystemVendor);
  PutLe(&pci_[0x2E], 2, identity_.subsystemId);
  pci_[0x3C] = static_cast<std::uint8_t>(identity_.interruptLevel);
  pci_[0x3D] = 1;  // INTA#
}

SimChip::~SimChip() { detachAir(); }

void SimChip::attach(ndis::DeviceBus& bus) { bus_ = &bus; }

void SimChip::detach() {
  cancelEvents();
  if (bus_ && line_) bus_->setInterruptLine(false);
  line_ = false;
  bus_ = nullptr;
}

ndis::DeviceResources SimChip::resources() const {
  ndis::DeviceResources resources;
  resources.interruptLevel = identity_.interruptLevel;
  resources.interruptVector = identity_.interruptLevel;
  const std::uint32_t bases[] = {identity_.window0Base, identity_.window1Base};
  for (unsigned i = 0; i < std::min(knobs_.memoryWindows, 2u); ++i)
    resources.windows.push_back({bases[i], kWindowSize});
  return resources;
}

std::size_t SimChip::readPciConfig(std::uint32_t offset, std::span<std::uint8_t> into) {
  if (offset >= pci_.size()) return 0;
  std::size_t count = std::min<std::size_t>(into.size(), pci_.size() - offset);
  if (knobs_.pciReadLimit && offset + count > *knobs_.pciReadLimit)
    count = *knobs_.pciReadLimit > offset ? *knobs_.pciReadLimit - offset : 0;
  std::copy_n(pci_.begin() + offset, count, into.begin());
  return count;
}

std::size_t SimChip::writePciConfig(std::uint32_t offset, std::span<const std::uint8_t> from) {
  if (offset >= pci_.size()) return 0;
  const std::size_t count = std::min<std::size_t>(from.size(), pci_.size() - offset);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = offset + i;
    // Only the command register and the interrupt line are writable; the rest is read-only.
    if (at == 0x04 || at == 0x05 || at == 0x3C) pci_[at] = from[i];
  }
  return count;
}

std::uint32_t SimChip::load(unsigned window, std::uint32_t offset, ndis::AccessWidth width) const {
  const auto bytes = static_cast<std::size_t>(width);
  if (window > 1 || offset + bytes > kWindowSize) return 0;
  return GetLe(&windows_[window][offset], bytes);
}

void SimChip::store(unsigned window, std::uint32_t offset, ndis::AccessWidth width,
                    std::uint32_t value) {
  const auto bytes = static_cast<std::size_t>(width);
  if (window > 1 || offset + bytes > kWindowSize) return;
  PutLe(&windows_[window][offset], bytes, value);
}

std::uint32_t SimChip::readRegister(unsigned window, std::uint32_t offset,
                                    ndis::AccessWidth width) {
  std::uint32_t value = 0;
  if (removed_) {
    value = AllOnes(width);
  } else if (window == 1) {
    value = readWindow1(offset, width);
  } else if (window == 0) {
    value = load(0, offset, width);
  } else {
    fault("read of window " + std::to_string(window));
  }
  if (recording_) accesses_.push_back({false, window, offset, width, value});
  return value;
}

void SimChip::writeRegister(unsigned window, std::uint32_t offset, ndis::AccessWidth width,
                            std::uint32_t value) {
  if (recording_) accesses_.push_back({true, window, offset, width, value});
  if (removed_) return;
  if (window == 1) {
    writeWindow1(offset, width, value);
  } else if (window == 0) {
    if (offset == kRxReadPointerRegister && value == kRxResume) {
      ++receiveResumes_;  // "carry on receiving": the ring address stays as it was
      rxStalled_ = false;
      return;
    }
    store(0, offset, width, value);
    // The ring registers set where the chip starts walking each ring.
    if (offset == knobs_.reportTxRingRegister.value_or(kTxRingRegister)) txPointer_ = value;
    if (offset == kRxWritePointerRegister) rxPointer_ = value;
  } else {
    fault("write of window " + std::to_string(window));
  }
}

std::uint32_t SimChip::readWindow1(std::uint32_t offset, ndis::AccessWidth width) {
  switch (offset) {
    case kRegStatus:
      if (answerOnPoll_ && --pollsLeft_ == 0) {
        status_ = *answerOnPoll_;
        answerOnPoll_.reset();
      }
      return status_;
    case kRegAddress: return address_;
    case kRegCause: return cause_;
    case kRegMask: return mask_;
    case kRegIndirectData:
      return indirect_[windows_[1][kRegIndirectSelect]][windows_[1][kRegIndirectIndex]];
    default: return load(1, offset, width);
  }
}

void SimChip::writeWindow1(std::uint32_t offset, ndis::AccessWidth width, std::uint32_t value) {
  switch (offset) {
    case kRegAddress: address_ = value; return;
    case kRegStatus: status_ = value; return;
    case kRegDoorbell: doorbell(value); return;
    case kRegCause:
      cause_ &= value;
      updateLine();
      return;
    case kRegMask:
      mask_ = value;
      updateLine();
      return;
    case kRegIndirectData:
      indirect_[windows_[1][kRegIndirectSelect]][windows_[1][kRegIndirectIndex]] =
          static_cast<std::uint8_t>(value);
      return;
    default: store(1, offset, width, value); return;
  }
}

void SimChip::doorbell(std::uint32_t value) {
  constexpr std::uint32_t kKnown = kDoorbellTransmit | kDoorbellCommand | kDoorbellSleep | kDoorbellStop;
  if (value & ~kKnown) fault("unknown doorbell bits " + std::to_string(value & ~kKnown));
  if (value & kDoorbellStop) {
    stopFirmware();
    return;
  }
  if (crashed_) return;
  if (value & kDoorbellCommand) {
    if (bootRom_.state() == FirmwareState::Running) {
      commandKick();
    } else {
      downloadKick();
    }
  }
  if (value & kDoorbellTransmit) {
    ++transmitDoorbells_;
    endDoze();  // the host has frames: the radio is needed now
    if (!knobs_.holdTransmit) schedule(knobs_.transmitLatency, "transmit ring", [this] { walkTransmitRing(); });
  }
  if (value & kDoorbellSleep) {
    ++sleepRequests_;
    sleepRequest();
  }
}

void SimChip::downloadKick() {
  const bool wasRunning = bootRom_.state() == FirmwareState::Running;
  auto result = bootRom_.kick(address_, windows_[0], [this](std::uint32_t physical,
                                                            std::span<std::uint8_t> into) {
    return bus_ && bus_->dmaRead(physical, into);
  });
  if (!result.fault.empty()) fault(result.fault);
  if (!wasRunning && bootRom_.state() == FirmwareState::Running) {
    firmware_.start(bootRom_.image().release);
    step("firmware image accepted: " + std::to_string(bootRom_.blocksLoaded()) +
         " blocks of 256 bytes, release " + ReleaseText(bootRom_.image().release));
  } else if (bootRom_.state() == FirmwareState::BootLoaded && result.answer) {
    step("boot block accepted");
  }
  if (!result.answer) return;
  if (knobs_.mailboxAnswerAfterPolls > 0) {
    answerOnPoll_ = *result.answer;
    pollsLeft_ = knobs_.mailboxAnswerAfterPolls;
    return;
  }
  const std::uint32_t answer = *result.answer;
  schedule(knobs_.mailboxLatency, "mailbox answers", [this, answer] { status_ = answer; });
}

void SimChip::commandKick() {
  if (commandInChip_) {
    fault("command doorbell while a command is outstanding");
    return;
  }
  const std::uint32_t physical = address_;
  std::array<std::uint8_t, command::kHeaderSize> header{};
  if (!bus_ || !bus_->dmaRead(physical, header)) {
    fault("command record outside shared memory");
    return;
  }
  std::size_t size = static_cast<std::size_t>(header[2] | header[3] << 8);
  if (size < command::kHeaderSize || size > command::kMaxRecord) {
    fault("command record of size " + std::to_string(size));
    size = std::clamp(size, command::kHeaderSize, command::kMaxRecord);
  }
  std::vector<std::uint8_t>& record = commandRecord_;
  record.resize(size);
  if (!bus_->dmaRead(physical, record)) {
    fault("command record outside shared memory");
    return;
  }
  const auto code = static_cast<std::uint16_t>(record[0] | record[1] << 8);
  if (loggingCommands_) commands_.push_back({code, record, bus_->scheduler().now()});
  commandInChip_ = true;
  const auto latency =
      code == command::kGetHwSpec ? knobs_.hardwareSpecLatency : knobs_.commandLatency;
  schedule(latency, "command response", [this, physical, code] {
    commandInChip_ = false;
    const std::vector<std::uint8_t>& record = commandRecord_;
    auto response = firmware_.execute(record);
    if (!response) return;
    measurement_.answer(code, record, *response, bus_->scheduler().now().count());
    commandApplied(code);
    if (!bus_->dmaWrite(physical, *response)) {
      fault("command buffer gone before its response");
      return;
    }
    if (code == command::kGetHwSpec && response->size() >= 20) {
      step("hardware specification: MAC " + MacText(std::span(*response).subspan(14, 6)) +
           ", region 0x" + Hex(identity_.regionCode, 2) + ", firmware release " +
           ReleaseText(firmware_.release()));
    } else if (code == command::kSetMode) {
      const FirmwareSettings& now = firmware_.settings();
      step("command SET_MODE answered: flags 0x" + Hex(now.vendorFlags, 2) + ", mode 0x" + Hex(now.vendorMode, 2));
    } else {
      step(std::string("command ") + CommandName(code) + " answered");
    }
    raise(kCauseCommand);
  });
}

void SimChip::stopFirmware() {
  if (bootRom_.state() == FirmwareState::Running) step("firmware stopped");
  cancelEvents();
  bootRom_.reset();
  commandInChip_ = false;
  crashed_ = false;
  answerOnPoll_.reset();
  status_ = 0;
  dozing_ = false;
  awaitingBeacon_ = false;
}

void SimChip::crash() {
  cancelEvents();
  crashed_ = true;
  commandInChip_ = false;
  if (auto alive = firmware_.aliveWordAddress(); alive && bus_) {
    const std::array<std::uint8_t, 4> zero{};
    bus_->dmaWrite(*alive, zero);
  }
}

void SimChip::surpriseRemoved() {
  cancelEvents();
  removed_ = true;
  updateLine();
}

void SimChip::pulseRadioSwitch(bool on) { raise(on ? kCauseRadioOn : kCauseRadioOff); }

void SimChip::setChannelActivity(std::uint8_t value) {
  indirect_[kIndirectChannelSelect][kIndirectChannelActivity] = value;
}

void SimChip::raise(std::uint32_t causes) {
  cause_ |= causes;
  updateLine();
}

void SimChip::updateLine() {
  const bool asserted = !removed_ && (cause_ & mask_ & kCauseAll) != 0;
  if (asserted == line_) return;
  line_ = asserted;
  if (bus_) bus_->setInterruptLine(asserted);
}

void SimChip::fault(std::string what) { faults_.push_back(std::move(what)); }

void SimChip::step(const std::string& line) {
  if (stepLog_) stepLog_(line);
}

ndis::EventId SimChip::schedule(ndis::Micros delay, std::string_view label, ndis::EventAction action) {
  if (!bus_) return {};
  auto& scheduler = bus_->scheduler();
  std::erase_if(events_, [&](ndis::EventId id) { return !scheduler.queued(id); });
  const auto id = bus_->scheduleChipEvent(delay, label, std::move(action));
  events_.push_back(id);
  return id;
}

void SimChip::cancelEvents() {
  if (bus_) {
    for (auto id : events_) bus_->scheduler().cancel(id);
  }
  events_.clear();
}

}  // namespace simchip
