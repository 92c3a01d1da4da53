#pragma once
// The started driver a harness feeds for its whole run (starting it per input would cost far
// more than the input), and the cheap way back, before each input, to a fresh association
// under a chosen cipher: what an earlier input started (timers, a scan, a join, a changed
// configuration) is dropped first.
#include "driver/core/bss_table.h"
#include "driver/core/testing/protected_link.h"
#include "driver/entry/testing/driver_harness.h"

namespace zelnic::testing {

class FuzzDriver {
public:
  static FuzzDriver& Instance() {
    static auto* driver = new FuzzDriver();  // lives as long as the process: never halted
    return *driver;
  }

  DriverHarness& harness() { return h_; }
  CoreAdapter* core() { return core_; }

  void Reassociate(core::testing::Cipher cipher) {
    // Firmware answers to what the last input started still come and call back into the scan
    // and join machines: they must find them idle, not in the state set up for this input.
    h_.run([&] {
      core::CancelAllTimers(core_);
      core_->ScanState = core::kScanIdle;
      core_->MlmeState = core::kMlmeIdle;
      core_->Flags = 0;
    });
    h_.advance(kSettle);
    h_.run([&] {
      core::CancelAllTimers(core_);
      core::ClearBssTable(core_);
      core_->Station = core::StationState{};
      core_->Config = started_;
      core_->Flags = 0;
      core_->ScanState = core::kScanIdle;
    });
    if (!core::testing::AssociateUnder(h_, core_, cipher)) __builtin_trap();
  }

  // After each input: a rule the driver broke is a fault, as a crash is.
  void CheckRules() const { h_.trapOnBrokenRules(); }

private:
  static constexpr ndis::Micros kSettle = std::chrono::milliseconds(2);

  FuzzDriver() {
    h_.chip.logCommands(false);  // the log would grow with every input
    if (h_.start() != NDIS_STATUS_SUCCESS) __builtin_trap();
    core_ = h_.core();
    // Scans cover channels 1 to 3 (an input may set another range): a scan of every channel
    // dwells for two seconds of virtual time, the main cost of an input that scans.
    core_->Config.channelRange = 1 << 8 | 3;
    started_ = core_->Config;
  }

  DriverHarness h_;
  CoreAdapter* core_ = nullptr;
  StationConfig started_;
};

}  // namespace zelnic::testing
