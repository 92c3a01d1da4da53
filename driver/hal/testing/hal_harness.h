#pragma once
// Tests of the chip layer under the real miniport shell and OS-service table, over the
// simulated chip. The station core is a table-shaped double: it is reached through its
// operations table and the shell's links like the real one, creates the chip layer from the
// registry's configuration, and records what the chip layer tells it.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "driver/core/core_adapter_ops.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/firmware_download.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/miniport.h"
#include "platform/ndis/host.h"
#include "sim/chip/sim_chip.h"

namespace zelnic::hal::testing {

// What the core double saw of the chip layer.
struct CoreObservations {
  std::uint32_t radioOn = 1;
  std::vector<std::uint32_t> events;     // utility events, in order
  int disconnects = 0;
  std::vector<std::uint8_t> statistics;  // the last statistics reply
  std::vector<std::uint32_t> measurement;
  std::uint32_t ccxWord = 0;
  int firmwareEvents = 0;
  std::vector<std::string> completions;  // names of the completion routines that ran
  std::vector<std::string> calls;        // what the shell asked of the core

  // Transmit: chip-layout frames the double's management queue hands the chip layer.
  std::deque<std::vector<std::uint8_t>> managementQueue;
  ULONG sendFlags = 0;                   // the send records' flags
  ULONG encryptResult = 0;               // what Encrypt answers
  int encryptCalls = 0;
  bool powerSaveAllowed = true;
  // Receive: what the chip layer handed up (with keepFrames), and what happens to it.
  struct Received {
    std::vector<std::uint8_t> frame;
    LONG signalDbm;
    UCHAR rateCode;
  };
  bool keepFrames = true;
  std::vector<Received> received;
  std::size_t receivedCount = 0;
  bool indicate = false;                 // up to NDIS in the record's packet, else straight back
  bool unicastFromBss = false;
  std::function<void(HalAdapter*, const ReceiveRecord&)> onReceive;
};

// The core double as the driver holds it: the head every core begins with.
struct CoreDouble {
  CoreAdapterHead Head;
  HalAdapter* Hal;
};

CoreObservations& Observed(CoreAdapter* core);

// The shell's links with the core double (and the chip layer's real stop); the double
// records into `observations`, which must outlive the adapter. One set is active at a time.
ShellLinks CoreDoubleLinks(CoreObservations& observations);

class HalHarness {
public:
  explicit HalHarness(simchip::ChipIdentity identity = {}, ndis::AdapterConfig config = {});
  ~HalHarness();

  simchip::ChipKnobs& knobs() { return chip.knobs(); }
  NDIS_STATUS start() { return host->initialize(); }
  void halt() { host->halt(); }
  // Runs driver code on the adapter's executor now.
  void run(KIRQL irql, const std::function<void()>& body);
  // The chip layer while the adapter exists.
  HalAdapter* hal() const;
  bool leakFree() const { return host->leaks().empty(); }
  std::string leaks() const { return host->leaks().describe(); }

  ndis::Scheduler scheduler;
  simchip::SimChip chip;
  CoreObservations core;
  std::unique_ptr<ndis::NdisHost> host;

private:
  ShellLinks links_{};
};

}  // namespace zelnic::hal::testing
