#pragma once
// The whole driver, as its entry builds it, in the NDIS runtime over the simulated chip and
// in virtual time: for tests of the station core and of the driver's start-up.
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "driver/core/core_adapter.h"
#include "platform/ndis/host.h"
#include "sim/chip/sim_chip.h"

namespace zelnic::testing {

// The adapter's registry values, as text.
using Parameters = std::map<std::string, std::string>;

class DriverHarness {
public:
  explicit DriverHarness(Parameters parameters = {}, simchip::ChipKnobs knobs = {});
  // Halts a running adapter; the runtime's violations and the chip's protocol faults fail
  // the test.
  ~DriverHarness();

  NDIS_STATUS start() { return host->initialize(); }
  void halt() { host->halt(); }
  // Runs driver code on the adapter's executor now, at dispatch level.
  void run(const std::function<void()>& body);
  // Moves virtual time on, running what falls due.
  void advance(ndis::Micros duration) { scheduler.runFor(duration); }
  // The station core and chip layer while the adapter runs.
  CoreAdapter* core() const;
  HalAdapter* hal() const;
  std::string leaks() const { return host->leaks().describe(); }
  bool leakFree() const { return host->leaks().empty(); }
  // For a fuzz run, which has no test to fail: a rule of the NDIS runtime or of the chip's
  // protocol broken (an IRQL, a lock, a command out of turn) is printed and traps, as a crash.
  void trapOnBrokenRules() const;

  ndis::Scheduler scheduler;
  simchip::SimChip chip;
  std::unique_ptr<ndis::NdisHost> host;
};

}  // namespace zelnic::testing
