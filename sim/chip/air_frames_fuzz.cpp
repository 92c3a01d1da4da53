// Feeds arbitrary bytes to the chip's readers of frames: as a transmit buffer of chip-layout
// frames (from the host) and as a frame from the air (header fields, BSSID, elements).
#include "sim/chip/air_frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  if (auto frames = simchip::ChipFramesToAir(bytes)) {
    for (const auto& air : *frames) simchip::AirToChip(air);
  }
  if (auto chip = simchip::AirToChip(bytes)) simchip::ChipFramesToAir(*chip);
  simchip::BssidOf(bytes);
  simchip::FindElement(bytes, 24, 5);
  simchip::FindElement(bytes, 36, 0);
  return 0;
}
