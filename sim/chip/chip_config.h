#pragma once
// What a simulated chip is (identity: the EEPROM and the silicon) and how it misbehaves
// when a test asks it to (knobs).
#include <array>
#include <cstdint>
#include <optional>

#include "platform/ndis/scheduler.h"
#include "sim/chip/firmware_format.h"

namespace simchip {

using MacAddress = std::array<std::uint8_t, 6>;

struct ChipIdentity {
  std::uint16_t subsystemVendor = 0x1E4D;
  std::uint16_t subsystemId = 0x0010;
  std::uint8_t revision = 0x01;
  MacAddress mac{0x00, 0x1E, 0x4D, 0x2D, 0x17, 0x01};
  std::uint32_t hardwareVersion = kDefaultHardwareVersion;
  std::uint16_t regionCode = 0x10;
  std::uint32_t window0Base = 0xF0000000;
  std::uint32_t window1Base = 0xF0010000;
  std::uint32_t interruptLevel = 11;
};

struct ChipKnobs {
  // Resources and PCI.
  unsigned memoryWindows = 2;                    // windows in the resource list
  std::optional<std::uint32_t> pciReadLimit;     // config reads stop short at this offset

  // Download.
  ndis::Micros mailboxLatency{20};               // time until a mailbox answer shows
  unsigned mailboxAnswerAfterPolls = 0;          // non-zero: answer on this status read instead
  bool bootNeverAcknowledged = false;
  std::optional<unsigned> refuseBlock;           // this image block (0-based) gets no answer
  bool neverRunning = false;                     // the end block gets no answer

  // Firmware.
  ndis::Micros commandLatency{200};
  ndis::Micros hardwareSpecLatency{1000};
  bool reportWrongMac = false;                   // hardware-spec MAC differs from 0xA528
  std::optional<std::uint32_t> reportTxRingRegister;  // hardware-spec transmit-ring offset

  // Rings and radio.
  ndis::Micros transmitLatency{0};               // doorbell 1 to the walk of the ring
  bool holdTransmit = false;                     // the chip leaves transmit descriptors alone
  ndis::Micros beaconWaitAfterWake{12000};       // awake without a beacon: 0x08 anyway
  ndis::Micros wakeBeforeBeacon{2000};
};

}  // namespace simchip
