#include "driver/core/fuzz_station/associated_driver.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>

#include "driver/core/ccx_core.h"
#include "driver/core/pending_frame.h"
#include "driver/core/reassembly.h"
#include "driver/hal/hal_adapter.h"
#include "driver/hal/firmware_commands.h"
#include "platform/ndis/ntddndis.h"
#include "sim/air/air_world.h"
#include "sim/air/world_file.h"

namespace zelnic::testing {
namespace {

constexpr char kSsid[] = "Zelnet Open";

std::string MacText(const std::uint8_t* mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

// The station and one open access point on channel 6.
std::string AccessPointWorld(const std::array<std::uint8_t, 6>& station) {
  return "station " + MacText(station.data()) + "\nap open\n bssid " + MacText(AssociatedDriver::kBssid) +
         "\n ssid \"" + kSsid + "\"\n channel 6\n signal -50\n";
}

// Copies one value of the associated state between the fixture and the core, either way.
template <class T>
void Transfer(T& saved, T& live, bool restoring) {
  if (restoring) {
    live = saved;
  } else {
    saved = live;
  }
}

template <class T, std::size_t N>
void Transfer(T (&saved)[N], T (&live)[N], bool restoring) {
  if constexpr (std::is_trivially_copyable_v<T>) {
    std::memcpy(restoring ? live : saved, restoring ? saved : live, sizeof saved);
  } else {
    for (std::size_t i = 0; i < N; ++i) Transfer(saved[i], live[i], restoring);
  }
}

// A table the core allocated, of N bytes.
template <std::size_t N>
void TransferTable(std::uint8_t (&saved)[N], std::uint8_t* live, bool restoring) {
  std::memcpy(restoring ? live : saved, restoring ? saved : live, N);
}

// The firmware listens where the association left it: on its channel, in infrastructure mode,
// with its association, not scanning.
bool SameNetwork(const simchip::FirmwareSettings& now, const simchip::FirmwareSettings& associated) {
  return now.scanning == associated.scanning && now.infrastructure == associated.infrastructure &&
         now.channel == associated.channel && now.association == associated.association;
}

}  // namespace

// What the association left in the core that an input may change, field by field as the
// core holds it; and the firmware's side of the association.
struct AssociatedDriver::Saved {
  CoreAdapter core;
  std::uint8_t bssTable[zelnic::core::kBssTableBytes];
  std::uint8_t shadowBssTable[zelnic::core::kBssTableBytes];
  std::uint8_t scanList[zelnic::core::kScanListBytes];
  simchip::FirmwareSettings firmware;
};

AssociatedDriver& AssociatedDriver::Get() {
  // Never destroyed: the fuzzer ends the process without unwinding it.
  static auto* fixture = new AssociatedDriver();
  return *fixture;
}

AssociatedDriver::AssociatedDriver() : saved_(std::make_unique<Saved>()) {
  if (harness_.start() != NDIS_STATUS_SUCCESS || !associate()) __builtin_trap();
  save();
}

AssociatedDriver::~AssociatedDriver() = default;

// A real connection, as NDIS makes one: the SSID set scans, authenticates and associates with
// the access point on the simulated air. The air leaves afterwards, so nothing but the inputs
// reaches the station and no beacon ever moves its state between them.
bool AssociatedDriver::associate() {
  harness_.run([&] { hal::ResumeTransmission(hal()); });
  std::string error;
  auto world = simair::ParseWorld(AccessPointWorld(harness_.chip.identity().mac), error);
  if (!world) return false;
  simair::AirWorld air(harness_.scheduler, *world, nullptr);
  harness_.chip.attachAir(air.medium());
  std::vector<std::uint8_t> record(4 + std::strlen(kSsid));
  const auto length = static_cast<ULONG>(std::strlen(kSsid));
  std::memcpy(record.data(), &length, 4);
  std::memcpy(record.data() + 4, kSsid, length);
  const ndis::OidResult result = harness_.host->set(OID_802_11_SSID, record);
  const bool associated = result.status == NDIS_STATUS_SUCCESS && core()->MlmeState == zelnic::core::kMlmeAssociated &&
                          std::equal(kBssid, kBssid + 6, core()->Bssid.begin());
  harness_.chip.detachAir();
  harness_.chip.logCommands(false);  // the log would grow with every input's commands
  harness_.run([&] {
    zelnic::core::CancelAllTimers(core());
    keyGeneration_ = core()->Keys.Generation();
  });
  settle();
  return associated;
}

void AssociatedDriver::save() {
  saved_->firmware = harness_.chip.firmware().settings();
  harness_.run([&] { transfer(false); });
}

// Puts the associated state back whatever the last input did to it (a deauthentication, a
// scan it started, keys it installed or removed, counters it moved).
void AssociatedDriver::restore() {
  CoreAdapter* c = core();
  // Keys are installed in both tables together, so the adapter table's generation tells
  // whether the last input changed either; wiping them costs more than the rest together.
  if (c->Keys.Generation() != keyGeneration_) {
    c->Keys.Clear();
    c->BssKeys.Clear();
    keyGeneration_ = c->Keys.Generation();
  }
  transfer(true);
}

void AssociatedDriver::transfer(bool restoring) {
  CoreAdapter& s = saved_->core;
  CoreAdapter& c = *core();
  Transfer(s.Config, c.Config, restoring);
  Transfer(s.Station, c.Station, restoring);
  Transfer(s.Ciphers, c.Ciphers, restoring);
  Transfer(s.Bss, c.Bss, restoring);
  Transfer(s.ShadowBssExtras, c.ShadowBssExtras, restoring);
  TransferTable(saved_->bssTable, c.BssTable, restoring);
  TransferTable(saved_->shadowBssTable, c.ShadowBssTable, restoring);
  TransferTable(saved_->scanList, c.ScanList, restoring);
  Transfer(s.Bssid, c.Bssid, restoring);
  Transfer(s.CurrentSsid, c.CurrentSsid, restoring);
  Transfer(s.ProbeSsid, c.ProbeSsid, restoring);
  Transfer(s.ProbeAddress, c.ProbeAddress, restoring);
  Transfer(s.BeaconPeriod, c.BeaconPeriod, restoring);
  Transfer(s.AtimWindow, c.AtimWindow, restoring);
  Transfer(s.Frequency, c.Frequency, restoring);
  Transfer(s.Capability, c.Capability, restoring);
  Transfer(s.Privacy, c.Privacy, restoring);
  Transfer(s.AssociationId, c.AssociationId, restoring);
  Transfer(s.LinkRssi, c.LinkRssi, restoring);
  Transfer(s.LastRssi, c.LastRssi, restoring);
  Transfer(s.MlmeState, c.MlmeState, restoring);
  Transfer(s.ScanState, c.ScanState, restoring);
  Transfer(s.ConnectReason, c.ConnectReason, restoring);
  Transfer(s.MediaDisconnected, c.MediaDisconnected, restoring);
  Transfer(s.Flags, c.Flags, restoring);
  Transfer(s.Link, c.Link, restoring);
  Transfer(s.HighTraffic, c.HighTraffic, restoring);
  Transfer(s.ShownLedEvent, c.ShownLedEvent, restoring);
  Transfer(s.LinkLost, c.LinkLost, restoring);
  Transfer(s.SecondsSinceLinkLoss, c.SecondsSinceLinkLoss, restoring);
  Transfer(s.LinkLossTickRunning, c.LinkLossTickRunning, restoring);
  Transfer(s.EapolHoldOff, c.EapolHoldOff, restoring);
  Transfer(s.ScanChannels, c.ScanChannels, restoring);
  Transfer(s.ScanIndex, c.ScanIndex, restoring);
  Transfer(s.DwellPending, c.DwellPending, restoring);
  Transfer(s.SequenceCounter, c.SequenceCounter, restoring);
  Transfer(s.Counters, c.Counters, restoring);
  Transfer(s.TxFailPhase, c.TxFailPhase, restoring);
  // What the CCX of the core keeps of the current and the previous access point (beacons and
  // IAPP frames change it).
  Transfer(s.Ccx.receivedAps, c.Ccx.receivedAps, restoring);
  Transfer(s.Ccx.receivedApCount, c.Ccx.receivedApCount, restoring);
  Transfer(s.Ccx.previousSaved, c.Ccx.previousSaved, restoring);
  Transfer(s.Ccx.previousBssid, c.Ccx.previousBssid, restoring);
  Transfer(s.Ccx.previousChannel, c.Ccx.previousChannel, restoring);
  Transfer(s.Ccx.previousSsid, c.Ccx.previousSsid, restoring);
  Transfer(s.Ccx.previousSsidLength, c.Ccx.previousSsidLength, restoring);
  Transfer(s.Ccx.version, c.Ccx.version, restoring);
  Transfer(s.Ccx.present, c.Ccx.present, restoring);
  Transfer(s.Ccx.aironet, c.Ccx.aironet, restoring);
  Transfer(s.Ccx.ckipFlags, c.Ccx.ckipFlags, restoring);
  Transfer(s.Ccx.qos, c.Ccx.qos, restoring);
  Transfer(s.Ccx.cckmAnswered, c.Ccx.cckmAnswered, restoring);
}

void AssociatedDriver::takeReceiveRecords(void (*giveBack)(HalAdapter*, ReceiveRecord*)) {
  auto& ops = *const_cast<HalAdapterOps*>(reinterpret_cast<HalAdapterHead*>(hal())->Ops);
  ops.ReturnReceiveBuffer = giveBack;
  ops.Transmit = [](HalAdapter*, SendDescriptor*) -> ULONG { return 0; };
}

void AssociatedDriver::run(const std::function<void(CoreAdapter*)>& body) {
  harness_.run([&] {
    restore();
    body(core());
    // What the input left waiting for frames that never come here goes back.
    zelnic::core::DiscardReassembly(core()->Reassembly);
    zelnic::core::ResetPendingFrame(core());  // a frame held for its CKIP keys
    zelnic::core::DropHeldFrame(core());      // a frame held while an association completes
  });
  settle();
  // Timers the input armed (a join's timeout, a scan's dwell, a measurement) are the only
  // events left once the commands are answered: stop them, and a measurement set with them.
  if (harness_.scheduler.queuedCount() != 0 || core()->Ccx.set.running || core()->Ccx.queue.Count() != 0) {
    harness_.run([&] {
      zelnic::core::CancelAllTimers(core());
      if (core()->Ccx.set.running) zelnic::core::ClearCcxMeasurements(core());
      zelnic::core::CcxFreeMeasurementQueue(core());
    });
    settle();
  }
  restoreFirmware();
}

// An input that scanned, started an IBSS (whose beacons the chip then sends on its own) or
// changed channel or association moved the firmware away from the association: the chip
// layer's own commands put it back, as the core would have sent them.
void AssociatedDriver::restoreFirmware() {
  const simchip::FirmwareSettings& now = harness_.chip.firmware().settings();
  const simchip::FirmwareSettings& associated = saved_->firmware;
  if (SameNetwork(now, associated)) return;
  harness_.run([&] {
    if (now.scanning) hal::SendScanEnd(hal(), 0, saved_->core.Bssid, nullptr);
    if (!now.infrastructure) hal::SendSetInfraMode(hal());
    hal::SendSetChannel(hal(), associated.channel, nullptr);
    hal::SendSetAssociation(hal(), associated.association, nullptr);
  });
  settle();
  if (!SameNetwork(now, associated)) __builtin_trap();  // the fixture no longer knows how to put it back
}

// Runs the chip's answers to the firmware commands an input sent (and their interrupts and
// deferred handlers), so their buffers are free again: a queue left full would make every
// later command wait out the chip layer's five-second buffer wait.
void AssociatedDriver::settle() {
  const HalAdapter* chipLayer = hal();
  harness_.scheduler.runUntil(
      [&] { return chipLayer->commands.freeCount == hal::kCommandBuffers && chipLayer->tx.frames == 0; },
      std::chrono::seconds(1));
  // What NDIS was told (statuses, indicated frames, completed sends) is kept by the host
  // until read: read it, so nothing piles up from input to input.
  harness_.host->takeStatus();
  harness_.host->takeReceived();
  harness_.host->takeSendCompletions();
  harness_.trapOnBrokenRules();
}

}  // namespace zelnic::testing
