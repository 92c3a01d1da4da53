// Arbitrary text as a world file; a world that parses is brought to life for a moment.
#include "sim/air/air_world.h"
#include "sim/air/world_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string error;
  const auto world = simair::ParseWorld({reinterpret_cast<const char*>(data), size}, error);
  if (!world) return 0;
  ndis::Scheduler scheduler;
  simair::AirWorld air(scheduler, *world, nullptr);
  scheduler.runFor(std::chrono::milliseconds(100));
  return 0;
}
