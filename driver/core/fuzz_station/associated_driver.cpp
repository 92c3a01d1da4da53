#include "driver/core/fuzz_station/associated_driver.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/core/bss_table.h"
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

std::string AccessPointWorld(const std::array<std::uint8_t, 6>& station) {
  char line[64];
  std::snprintf(line, sizeof line, "station %02x:%02x:%02x:%02x:%02x:%02x\n", station[0], station[1], station[2],
                station[3], station[4], station[5]);
  return std::string(line) + "ap open\n bssid 02:5a:4c:00:00:01\n ssid \"" + kSsid + "\"\n channel 6\n signal -50\n";
}

}  // namespace

// What the association left in the core that a received frame may change.
struct AssociatedDriver::Saved {
  zelnic::StationConfig Config;
  zelnic::core::StationState Station;
  zelnic::core::CipherState Ciphers;
  zelnic::core::BssRecord Bss[zelnic::core::kMaxBss];
  std::uint8_t ShadowBssExtras[zelnic::core::kMaxBss][zelnic::core::kMakerExtraRecordBytes];
  std::vector<std::uint8_t> BssTable, ShadowBssTable, ScanList;
  zelnic::MacAddress Bssid;
  zelnic::Ssid CurrentSsid, ProbeSsid;
  zelnic::MacAddress ProbeAddress;
  std::uint16_t BeaconPeriod, AtimWindow, Capability, AssociationId, MlmeState, ScanIndex, SequenceCounter;
  std::uint32_t Frequency, Privacy, ScanState, ConnectReason, Flags, ShownLedEvent, SecondsSinceLinkLoss;
  std::int32_t LinkRssi, LastRssi;
  std::uint8_t MediaDisconnected, HighTraffic, LinkLost, EapolHoldOff;
  bool LinkLossTickRunning, DwellPending;
  std::uint8_t ScanChannels[14];
  zelnic::core::LinkCounters Link;
  // The firmware's side of the association.
  simchip::FirmwareSettings Firmware;
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
  saved_->Firmware = harness_.chip.firmware().settings();
  harness_.run([&] {
    const CoreAdapter* c = core();
    Saved& s = *saved_;
    s.Config = c->Config;
    s.Station = c->Station;
    s.Ciphers = c->Ciphers;
    std::copy(std::begin(c->Bss), std::end(c->Bss), std::begin(s.Bss));
    std::memcpy(s.ShadowBssExtras, c->ShadowBssExtras, sizeof s.ShadowBssExtras);
    s.BssTable.assign(c->BssTable, c->BssTable + zelnic::core::kBssTableBytes);
    s.ShadowBssTable.assign(c->ShadowBssTable, c->ShadowBssTable + zelnic::core::kBssTableBytes);
    s.ScanList.assign(c->ScanList, c->ScanList + zelnic::core::kScanListBytes);
    s.Bssid = c->Bssid;
    s.CurrentSsid = c->CurrentSsid;
    s.ProbeSsid = c->ProbeSsid;
    s.ProbeAddress = c->ProbeAddress;
    s.BeaconPeriod = c->BeaconPeriod;
    s.AtimWindow = c->AtimWindow;
    s.Capability = c->Capability;
    s.AssociationId = c->AssociationId;
    s.MlmeState = c->MlmeState;
    s.ScanIndex = c->ScanIndex;
    s.SequenceCounter = c->SequenceCounter;
    s.Frequency = c->Frequency;
    s.Privacy = c->Privacy;
    s.ScanState = c->ScanState;
    s.ConnectReason = c->ConnectReason;
    s.Flags = c->Flags;
    s.ShownLedEvent = c->ShownLedEvent;
    s.SecondsSinceLinkLoss = c->SecondsSinceLinkLoss;
    s.LinkRssi = c->LinkRssi;
    s.LastRssi = c->LastRssi;
    s.MediaDisconnected = c->MediaDisconnected;
    s.HighTraffic = c->HighTraffic;
    s.LinkLost = c->LinkLost;
    s.EapolHoldOff = c->EapolHoldOff;
    s.LinkLossTickRunning = c->LinkLossTickRunning;
    s.DwellPending = c->DwellPending;
    std::memcpy(s.ScanChannels, c->ScanChannels, sizeof s.ScanChannels);
    s.Link = c->Link;
  });
}

// Puts the associated state back whatever the last input did to it (a deauthentication, a
// scan it started, keys it installed or removed, counters it moved).
void AssociatedDriver::restore() {
  CoreAdapter* c = core();
  const Saved& s = *saved_;
  // Keys are installed in both tables together, so the adapter table's generation tells
  // whether the last input changed either; wiping them costs more than the rest together.
  if (c->Keys.Generation() != keyGeneration_) {
    c->Keys.Clear();
    c->BssKeys.Clear();
    keyGeneration_ = c->Keys.Generation();
  }
  c->Config = s.Config;
  c->Station = s.Station;
  c->Ciphers = s.Ciphers;
  std::copy(std::begin(s.Bss), std::end(s.Bss), std::begin(c->Bss));
  std::memcpy(c->ShadowBssExtras, s.ShadowBssExtras, sizeof s.ShadowBssExtras);
  std::copy(s.BssTable.begin(), s.BssTable.end(), c->BssTable);
  std::copy(s.ShadowBssTable.begin(), s.ShadowBssTable.end(), c->ShadowBssTable);
  std::copy(s.ScanList.begin(), s.ScanList.end(), c->ScanList);
  c->Bssid = s.Bssid;
  c->CurrentSsid = s.CurrentSsid;
  c->ProbeSsid = s.ProbeSsid;
  c->ProbeAddress = s.ProbeAddress;
  c->BeaconPeriod = s.BeaconPeriod;
  c->AtimWindow = s.AtimWindow;
  c->Capability = s.Capability;
  c->AssociationId = s.AssociationId;
  c->MlmeState = s.MlmeState;
  c->ScanIndex = s.ScanIndex;
  c->SequenceCounter = s.SequenceCounter;
  c->Frequency = s.Frequency;
  c->Privacy = s.Privacy;
  c->ScanState = s.ScanState;
  c->ConnectReason = s.ConnectReason;
  c->Flags = s.Flags;
  c->ShownLedEvent = s.ShownLedEvent;
  c->SecondsSinceLinkLoss = s.SecondsSinceLinkLoss;
  c->LinkRssi = s.LinkRssi;
  c->LastRssi = s.LastRssi;
  c->MediaDisconnected = s.MediaDisconnected;
  c->HighTraffic = s.HighTraffic;
  c->LinkLost = s.LinkLost;
  c->EapolHoldOff = s.EapolHoldOff;
  c->LinkLossTickRunning = s.LinkLossTickRunning;
  c->DwellPending = s.DwellPending;
  std::memcpy(c->ScanChannels, s.ScanChannels, sizeof c->ScanChannels);
  c->Link = s.Link;
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
  const simchip::FirmwareSettings& associated = saved_->Firmware;
  if (now.scanning == associated.scanning && now.infrastructure == associated.infrastructure &&
      now.channel == associated.channel && now.association == associated.association)
    return;
  harness_.run([&] {
    if (now.scanning) hal::SendScanEnd(hal(), 0, saved_->Bssid, nullptr);
    if (!now.infrastructure) hal::SendSetInfraMode(hal());
    hal::SendSetChannel(hal(), associated.channel, nullptr);
    hal::SendSetAssociation(hal(), associated.association, nullptr);
  });
  settle();
  if (now.scanning != associated.scanning || now.infrastructure != associated.infrastructure ||
      now.channel != associated.channel || now.association != associated.association)
    __builtin_trap();  // the fixture no longer knows how to put the firmware back
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
  // A rule of the NDIS runtime or of the chip's protocol broken is a fault as a crash is.
  const auto& violations = harness_.host->violations();
  const auto& faults = harness_.chip.protocolFaults();
  if (violations.empty() && faults.empty()) return;
  for (const std::string& violation : violations) std::fprintf(stderr, "runtime: %s\n", violation.c_str());
  for (const std::string& fault : faults) std::fprintf(stderr, "chip: %s\n", fault.c_str());
  __builtin_trap();
}

}  // namespace zelnic::testing
