#pragma once
// The host's side of the chip, played by hand in the chip's own tests: the download and the
// command interface, with the chip's own rules checked without a driver.
#include <cstring>
#include <vector>

#include "platform/ndis/device_test_bus.h"
#include "sim/chip/chip_registers.h"
#include "sim/chip/firmware_format.h"
#include "sim/chip/sim_chip.h"

namespace simchip::testing {

using namespace std::chrono_literals;
using ndis::AccessWidth;

// Plays the host's side of the download and the command interface by hand, so the chip's
// own rules are checked without a driver.
class ChipHarness {
public:
  ChipHarness() : bus(scheduler) {
    chip.attach(bus);
    block = *bus.memory().allocate(512);
  }
  ~ChipHarness() { chip.detach(); }

  std::uint32_t read(unsigned window, std::uint32_t offset) {
    return chip.readRegister(window, offset, AccessWidth::U32);
  }
  void write(unsigned window, std::uint32_t offset, std::uint32_t value) {
    chip.writeRegister(window, offset, AccessWidth::U32, value);
  }
  void kick(std::uint32_t address) {
    write(1, kRegAddress, address);
    read(1, kRegStatus);
    write(1, kRegStatus, 0);
    read(1, kRegStatus);
    write(1, kRegDoorbell, kDoorbellCommand);
    read(1, kRegStatus);
  }
  // The status the chip shows within 1 ms of virtual time (200 polls of 5 us).
  std::uint32_t awaitMailbox(std::uint32_t wanted) {
    for (int poll = 0; poll < 200; ++poll) {
      scheduler.runFor(5us);
      if (read(1, kRegStatus) == wanted) return wanted;
    }
    return read(1, kRegStatus);
  }
  void putBlock(std::uint16_t length, const std::uint8_t* data) {
    const std::uint8_t header[8] = {1, 0, static_cast<std::uint8_t>(length),
                                    static_cast<std::uint8_t>(length >> 8), 0, 0, 0, 0};
    std::memcpy(block.virtualAddress, header, 8);
    if (data) std::memcpy(block.virtualAddress + 8, data, length);
  }
  bool loadBoot(const std::vector<std::uint8_t>& boot) {
    write(0, kBootMailbox, kBootMailboxLoad);
    for (std::uint32_t i = 0; i < 64; ++i) {
      std::uint32_t word;
      std::memcpy(&word, &boot[4 * i], 4);
      write(0, kBootArea + 4 * i, word);
    }
    kick(kBootKickAddress);
    if (awaitMailbox(kMailboxBlockAccepted) != kMailboxBlockAccepted) return false;
    write(0, kBootMailbox, kBootMailboxImage);
    kick(kBootKickAddress);
    scheduler.runFor(2ms);
    return true;
  }
  // Sends `blocks` blocks of the image; the number the chip accepted.
  unsigned sendImage(const std::vector<std::uint8_t>& image, unsigned blocks) {
    for (unsigned n = 0; n < blocks; ++n) {
      putBlock(256, &image[256 * n]);
      kick(block.physical);
      if (awaitMailbox(kMailboxBlockAccepted) != kMailboxBlockAccepted) return n;
      write(1, kRegStatus, 0);
    }
    return blocks;
  }
  bool endImage() {
    putBlock(0, nullptr);
    kick(block.physical);
    return awaitMailbox(kMailboxRunning) == kMailboxRunning;
  }
  bool download() {
    return loadBoot(boot) && sendImage(image, 479) == 479 && endImage();
  }
  // Puts a command record in the block and rings the doorbell.
  void command(std::vector<std::uint8_t> record) {
    std::memcpy(block.virtualAddress, record.data(), record.size());
    write(1, kRegAddress, block.physical);
    read(1, kRegStatus);
    write(1, kRegDoorbell, kDoorbellCommand);
  }
  std::uint16_t u16At(std::size_t at) const {
    return static_cast<std::uint16_t>(block.virtualAddress[at] | block.virtualAddress[at + 1] << 8);
  }
  std::uint32_t u32At(std::size_t at) const {
    std::uint32_t value;
    std::memcpy(&value, block.virtualAddress + at, 4);
    return value;
  }

  std::vector<std::uint8_t> boot =
      BuildImage(kBootMagic, kDefaultFirmwareRelease, kDefaultHardwareVersion, kBootBlockSize);
  std::vector<std::uint8_t> image = BuildImage(kImageMagic, 0x01020304, kDefaultHardwareVersion,
                                               kFirmwareImageSize);
  ndis::Scheduler scheduler;
  ndis::DeviceTestBus bus;
  SimChip chip;
  ndis::DmaSpace::Block block;
};


inline std::vector<std::uint8_t> Record(std::uint16_t code, std::uint16_t size) {
  std::vector<std::uint8_t> record(size, 0);
  record[0] = static_cast<std::uint8_t>(code);
  record[1] = static_cast<std::uint8_t>(code >> 8);
  record[2] = static_cast<std::uint8_t>(size);
  record[3] = static_cast<std::uint8_t>(size >> 8);
  return record;
}

}  // namespace simchip::testing
