// Feeds arbitrary bytes to the chip's two parsers of host data: the firmware's command
// engine (one record) and the boot ROM's block handling (a download of arbitrary blocks).
#include <cstring>

#include "platform/ndis/device_test_bus.h"
#include "sim/chip/boot_rom.h"
#include "sim/chip/firmware_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  simchip::ChipIdentity identity;
  simchip::ChipKnobs knobs;
  simchip::FirmwareEngine engine(identity, knobs);
  engine.start(1);
  engine.execute(std::span(data, size));

  // The same bytes as a run of download blocks of 264 bytes after a valid boot block.
  simchip::BootRom rom(identity, knobs);
  std::vector<std::uint8_t> window0(0x10000, 0);
  const auto boot = simchip::BuildImage(simchip::kBootMagic, 1, identity.hardwareVersion, 256);
  std::memcpy(&window0[0xBF00], boot.data(), boot.size());
  const std::uint32_t load = 0x01000001, image = 1;
  std::memcpy(&window0[0xBEF8], &load, 4);
  rom.kick(0xC000BEF8, window0, {});
  std::memcpy(&window0[0xBEF8], &image, 4);
  rom.kick(0xC000BEF8, window0, {});
  for (std::size_t at = 0; at < size; at += 264) {
    const std::size_t left = size - at;
    rom.kick(0x1000, window0, [&](std::uint32_t, std::span<std::uint8_t> into) {
      if (into.size() > left) return false;
      std::memcpy(into.data(), data + at, into.size());
      return true;
    });
  }
  return 0;
}
