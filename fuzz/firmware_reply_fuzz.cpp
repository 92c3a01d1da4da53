// Replies of the firmware are whatever the chip wrote into a command's buffer: the chip
// layer's handling of a reply (hardware specification, statistics, measurements, completions)
// must stay within the buffer on any bytes. The first input byte picks the command in flight;
// the rest takes the buffer's place as the reply (the response bit decides whether it is one).
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/hal/testing/hal_harness.h"

namespace {

using zelnic::hal::testing::HalHarness;

// One adapter, started once with the simulated firmware, for every input.
HalHarness& Harness() {
  static HalHarness* const harness = [] {
    auto* h = new HalHarness;
    if (h->start() != NDIS_STATUS_SUCCESS) std::abort();
    h->scheduler.runFor(std::chrono::milliseconds(20));
    return h;
  }();
  return *harness;
}

void CompletionSeen(CoreAdapter*) {}

NDIS_STATUS Send(HalAdapter* hal, std::uint8_t pick) {
  using namespace zelnic::hal;
  switch (pick % 7) {
    case 0: return SendGetHardwareSpec(hal);
    case 1: return SendGetStatistics(hal);
    case 2: return SendSetChannel(hal, 6, &CompletionSeen);
    case 3: return SendMeasure0118(hal);
    case 4: return SendMeasure0119(hal, 3);
    case 5: return SendMeasure011A(hal, 1);
    default: return SendMacFilter(hal, 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  HalHarness& h = Harness();
  h.run(DISPATCH_LEVEL, [&] {
    HalAdapter* hal = h.hal();
    if (Send(hal, data[0]) != NDIS_STATUS_SUCCESS) return;
    zelnic::hal::CommandDescriptor* inFlight = hal->commands.inFlight;
    if (inFlight == nullptr) return;  // queued behind another: the chip answers that first
    const std::size_t take = std::min<std::size_t>(size - 1, zelnic::hal::kCommandBufferBytes);
    std::memset(inFlight->buffer, 0, zelnic::hal::kCommandBufferBytes);
    std::memcpy(inFlight->buffer, data + 1, take);
    zelnic::hal::ProcessFirmwareResponse(hal);
  });
  // Whatever the chip does with the command it was given settles before the next input.
  h.scheduler.runFor(std::chrono::milliseconds(5));
  return 0;
}
