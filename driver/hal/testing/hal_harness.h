#pragma once
// Tests of the chip layer: a test miniport that does what the shell and the core do around
// it (create, start, serve the interrupt, halt), the simulated chip beneath, and a
// table-shaped double of the station core that records what the chip layer tells it.
#include <memory>
#include <string>
#include <vector>

#include "driver/hal/firmware_commands.h"
#include "driver/hal/firmware_download.h"
#include "driver/hal/hal_adapter.h"
#include "platform/ndis/host.h"
#include "platform/ndis/test_miniport.h"
#include "sim/chip/sim_chip.h"

namespace zelnic::hal::testing {

// The station core as the chip layer sees it.
struct CoreDouble {
  std::uint32_t radioOn = 1;
  std::vector<std::uint32_t> events;     // utility events, in order
  int disconnects = 0;
  std::vector<std::uint8_t> statistics;  // the last statistics reply
  std::vector<std::uint32_t> measurement;
  std::uint32_t ccxWord = 0;
  int firmwareEvents = 0;
  std::vector<std::string> completions;  // names of the completion routines that ran

  HalCoreLink link();
  static CoreDouble& Of(CoreAdapter* core) { return *reinterpret_cast<CoreDouble*>(core); }
};

class HalHarness {
public:
  explicit HalHarness(simchip::ChipIdentity identity = {}, HalConfiguration config = {});
  ~HalHarness();

  simchip::ChipKnobs& knobs() { return chip.knobs(); }
  // Initialize: creates the chip layer and starts it, as the shell does.
  NDIS_STATUS start();
  // Runs driver code on the adapter's executor now.
  void run(KIRQL irql, const std::function<void()>& body);
  // Halt: radio off and stop doorbell, Stop, Destroy.
  void halt();
  bool leakFree() const;
  std::string leaks() const;

  ndis::Scheduler scheduler;
  simchip::SimChip chip;
  ndis::testing::TestMiniport miniport;
  std::unique_ptr<ndis::NdisHost> host;
  CoreDouble core;
  HalConfiguration config;
  HalAdapter* hal = nullptr;
  NDIS_STATUS createStatus = NDIS_STATUS_FAILURE;

private:
  std::unique_ptr<OsLayer> os_;
};

}  // namespace zelnic::hal::testing
