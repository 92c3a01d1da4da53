#pragma once
// The driver started and associated with an open access point once per process, and put back
// into that associated state before each input: for fuzz harnesses that feed the core frames
// (or requests) and must start every input from the same, realistic station. Starting and
// connecting costs a scan's worth of simulated chip work; putting the state back costs a few
// copies, so an input costs only what it does itself.
#include <functional>
#include <memory>
#include <vector>

#include "driver/core/core_adapter.h"
#include "driver/entry/testing/driver_harness.h"
#include "driver/hal/receive_record.h"

namespace zelnic::testing {

class AssociatedDriver {
public:
  // The access point the station is associated with.
  static constexpr std::uint8_t kBssid[6] = {0x02, 0x5A, 0x4C, 0x00, 0x00, 0x01};

  // The one fixture of the process (made on first use; traps when the driver cannot start or
  // associate, as a fuzz run cannot go on without it).
  static AssociatedDriver& Get();

  // Runs `body` on the adapter's executor from the associated state, then stops what the
  // input started (timers, a held frame, a reassembly) and lets the chip answer the firmware
  // commands it sent, so the next input finds every command buffer free.
  void run(const std::function<void(CoreAdapter*)>& body);

  // The harness hands the core receive records of its own: the chip layer's return of a
  // record goes to `giveBack` instead, and what the core transmits goes nowhere.
  void takeReceiveRecords(void (*giveBack)(HalAdapter*, ReceiveRecord*));

  CoreAdapter* core() const { return harness_.core(); }
  HalAdapter* hal() const { return harness_.hal(); }
  DriverHarness& harness() { return harness_; }

private:
  struct Saved;
  AssociatedDriver();
  ~AssociatedDriver();
  bool associate();
  void save();
  void restore();
  void transfer(bool restoring);  // the associated state from the core (false) or back to it
  void restoreFirmware();
  void settle();

  DriverHarness harness_;
  std::unique_ptr<Saved> saved_;
  std::uint32_t keyGeneration_ = 0;  // of the adapter key table as the association left it
};

}  // namespace zelnic::testing
