// Feeds arbitrary bytes to the chip's readers of frames: as a transmit buffer of chip-layout
// frames (from the host), as a frame from the air through the running chip's receive path
// (filter, beacon clock, TIM, probe answers, the receive ring), and as an IBSS template.
#include <cstring>

#include "sim/chip/air_frames.h"
#include "sim/chip/testing/chip_harness.h"
#include "sim/chip/testing/recording_air.h"

namespace {

// One running chip for the whole run: the download takes a while.
struct RunningChip {
  RunningChip() {
    if (!h.download()) std::abort();
    auto radio = simchip::testing::Record(0x001C, 14);
    radio[8] = 1, radio[12] = 1;
    command(radio);
    auto association = simchip::testing::Record(0x010D, 31);
    const std::uint8_t bssid[6] = {2, 0, 0, 0, 0, 1};
    std::memcpy(&association[8], bssid, 6);
    association[14] = 1;
    command(association);
    h.chip.attachAir(air);
    air.record = false;
    ring = *h.bus.memory().allocate(20 + 2032);
    h.write(0, simchip::kRxWritePointerRegister, ring.physical);
  }
  void command(std::vector<std::uint8_t> record) {
    h.command(std::move(record));
    h.scheduler.runFor(std::chrono::milliseconds(1));
  }
  // A fresh one-descriptor ring, chained to itself.
  void resetRing() {
    std::memset(ring.virtualAddress, 0, 20);
    const std::uint32_t buffer = ring.physical + 20;
    std::memcpy(ring.virtualAddress + 8, &buffer, 4);
    std::memcpy(ring.virtualAddress + 12, &ring.physical, 4);
    h.write(0, simchip::kRxReadPointerRegister, simchip::kRxResume);
  }
  simchip::testing::RecordingAir air;  // outlives the chip, which leaves it when it goes
  simchip::testing::ChipHarness h;
  ndis::DmaSpace::Block ring;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  if (auto frames = simchip::ChipFramesToAir(bytes)) {
    for (const auto& air : *frames) simchip::AirToChip(air);
  }
  if (auto chip = simchip::AirToChip(bytes)) simchip::ChipFramesToAir(*chip);

  static RunningChip running;
  running.resetRing();
  simchip::testing::RecordingAir::deliver(running.h.chip, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  if (size <= 500) {
    auto record = simchip::testing::Record(0x0100, static_cast<std::uint16_t>(10 + size));
    record[8] = static_cast<std::uint8_t>(size);
    std::memcpy(&record[10], data, size);
    running.command(record);
    simchip::testing::RecordingAir::deliver(running.h.chip, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    running.command(simchip::testing::Record(0x010E, 8));
  }
  return 0;
}
