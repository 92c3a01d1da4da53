#include "driver/hal/testing/hal_harness.h"

#include <gtest/gtest.h>

#include "driver/core/config.h"
#include "driver/core/management_frames.h"
#include "driver/ndis/status_codes.h"
#include "platform/ndis/adapter_runtime.h"

namespace zelnic::hal::testing {
namespace {

CoreObservations* g_observed = nullptr;

CoreDouble* Double(CoreAdapter* core) { return reinterpret_cast<CoreDouble*>(core); }

void CoreHalt(CoreAdapter* core, ULONG argument) {
  Observed(core).calls.push_back("halt " + std::to_string(argument));
  HalAdapter* hal = Double(core)->Hal;
  HalOps(hal).Stop(hal, argument);
}

void CoreDestroy(CoreAdapter* core) {
  Observed(core).calls.push_back("destroy");
  CoreDouble* d = Double(core);
  OsLayer* os = d->Head.Container->Os;
  if (d->Hal != nullptr) HalOps(d->Hal).Destroy(d->Hal);
  os->Table->Free(os, d, sizeof(CoreDouble), 0, nullptr);
}

ULONG CoreReceive(CoreAdapter* core, ReceiveRecord* record) {
  CoreObservations& o = Observed(core);
  HalAdapter* hal = Double(core)->Hal;
  ++o.receivedCount;
  if (o.keepFrames)
    o.received.push_back({std::vector<std::uint8_t>(record->Frame, record->Frame + record->Length), record->SignalDbm,
                          record->RateCode});
  if (o.onReceive) o.onReceive(hal, *record);
  if (o.indicate && IndicateReceivedFrame(hal, record, record->Frame, record->Length) == StatusSuccess)
    return StatusSuccess;
  HalOps(hal).ReturnReceiveBuffer(hal, record);
  return StatusSuccess;
}

ULONG CoreEncrypt(CoreAdapter* core, SendDescriptor*, UCHAR*, ULONG) {
  ++Observed(core).encryptCalls;
  return Observed(core).encryptResult;
}

BOOLEAN CoreUnicastFromBss(CoreAdapter* core, const UCHAR*) { return Observed(core).unicastFromBss ? TRUE : FALSE; }

// As the core's management queue does: the next frame goes to the chip layer's Transmit in
// a send record, which comes back at once (the frame was copied).
core::ManagementFrameBuffer g_frame{};
bool CoreSendManagementFrame(CoreAdapter* core) {
  CoreObservations& o = Observed(core);
  if (o.managementQueue.empty()) return false;
  HalAdapter* hal = Double(core)->Hal;
  OsLayer* os = Double(core)->Head.Container->Os;
  SendDescriptor* record = os->Table->PopRecord(&os->SendDescriptors);
  if (record == nullptr) return false;
  std::vector<std::uint8_t>& bytes = o.managementQueue.front();
  g_frame.Buffer = bytes.data();
  g_frame.Length = static_cast<std::uint32_t>(bytes.size());
  g_frame.Chained = nullptr;
  record->Packet = nullptr;
  record->Fragments = nullptr;
  record->FragmentCount = 0;
  record->TotalLength = g_frame.Length;
  record->Flags = o.sendFlags;
  record->Frame = &g_frame;
  HalOps(hal).Transmit(hal, record);
  record->Frame = nullptr;
  os->Table->AppendRecord(&os->SendDescriptors, record);
  o.managementQueue.pop_front();
  return true;
}

ULONG CoreInit(CoreAdapter*) { return StatusSuccess; }
void CoreNothing(CoreAdapter*) {}
void CoreFirmwareEvent(CoreAdapter* core) { ++Observed(core).firmwareEvents; }

constexpr CoreAdapterOps kCoreOps = {CoreInit, CoreHalt, CoreNothing, CoreNothing, nullptr, nullptr,
                                     CoreReceive, CoreNothing, CoreFirmwareEvent, nullptr, CoreEncrypt, nullptr,
                                     nullptr, CoreUnicastFromBss, CoreDestroy, nullptr};

HalCoreLink LinkFor(CoreAdapter* core) {
  HalCoreLink l;
  l.core = core;
  l.radioOn = &Observed(core).radioOn;
  l.DisconnectByState = [](CoreAdapter* c, bool) { ++Observed(c).disconnects; };
  l.PostUtilityEvent = [](CoreAdapter* c, std::uint32_t code, const void*, std::uint32_t) {
    Observed(c).events.push_back(code);
  };
  l.StoreFirmwareStatistics = [](CoreAdapter* c, const std::uint8_t* reply) {
    Observed(c).statistics.assign(reply, reply + 44);
  };
  l.SetCcxWord = [](CoreAdapter* c, std::uint32_t word) { Observed(c).ccxWord = word; };
  l.StoreMeasurement = [](CoreAdapter* c, const std::uint32_t* words, std::uint32_t count) {
    Observed(c).measurement.assign(words, words + count);
  };
  l.FirmwareEvent = [](CoreAdapter* c) { CoreOps(c).FirmwareEvent(c); };
  l.SendManagementFrame = &CoreSendManagementFrame;
  l.ManagementQueueLength = [](const CoreAdapter* c) {
    return static_cast<std::uint32_t>(Observed(const_cast<CoreAdapter*>(c)).managementQueue.size());
  };
  l.PowerSaveAllowed = [](CoreAdapter* c) { return Observed(c).powerSaveAllowed; };
  return l;
}

// As the core's creation does: the registry's configuration, then the chip layer.
CoreAdapter* CreateCore(ULONG* status, AdapterContainer* container) {
  OsLayer* os = container->Os;
  PVOID memory = nullptr;
  *status = os->Table->Allocate(os, &memory, sizeof(CoreDouble), 0, nullptr);
  if (*status != StatusSuccess) return nullptr;
  auto* d = static_cast<CoreDouble*>(memory);
  d->Head = {&kCoreOps, container};
  auto* core = reinterpret_cast<CoreAdapter*>(d);
  StationConfig station;
  LoadAdapterConfig(station, container->ConfigurationContext);
  g_observed->radioOn = station.radioOn;
  *status = CreateHalAdapter(container, ChipLayerConfiguration(station), LinkFor(core), &d->Hal);
  if (*status != StatusSuccess) {
    os->Table->Free(os, d, sizeof(CoreDouble), 0, nullptr);
    return nullptr;
  }
  container->Hal = d->Hal;
  return core;
}

}  // namespace

CoreObservations& Observed(CoreAdapter*) { return *g_observed; }

ShellLinks CoreDoubleLinks(CoreObservations& observations) {
  g_observed = &observations;
  ShellLinks links{};
  links.CreateCoreAdapter = &CreateCore;
  links.StartCore = [](CoreAdapter* c) { Observed(c).calls.push_back("start"); };
  links.LeaveNetworkForHalt = [](CoreAdapter* c) { Observed(c).calls.push_back("leave network"); };
  links.IsMediaConnected = [](CoreAdapter*) -> BOOLEAN { return FALSE; };
  links.QueryOid = [](CoreAdapter*, NDIS_OID, PVOID, ULONG, PULONG, PULONG) { return NDIS_STATUS_NOT_SUPPORTED; };
  links.SetOid = [](CoreAdapter*, NDIS_OID, PVOID, ULONG, PULONG, PULONG) -> ULONG { return StatusNotSupported; };
  links.StopFirmware = &StopFirmware;
  links.StartTransmit = [](HalAdapter*) {};
  return links;
}

HalHarness::HalHarness(simchip::ChipIdentity identity, ndis::AdapterConfig config) : chip(identity) {
  links_ = CoreDoubleLinks(core);
  config.violations = ndis::ViolationPolicy::Record;
  config.checkForHang = false;
  host = ndis::NdisHost::load(
      [this](PDRIVER_OBJECT driver, PUNICODE_STRING path) { return ShellDriverEntry(driver, path, &links_); },
      std::move(config), chip, scheduler);
}

HalHarness::~HalHarness() {
  if (host->running()) halt();
  for (const auto& violation : host->violations()) ADD_FAILURE() << "runtime: " << violation;
  g_observed = nullptr;
}

HalAdapter* HalHarness::hal() const {
  if (!host->running()) return nullptr;
  auto* context = static_cast<MiniportContext*>(host->miniportContext());
  return context != nullptr && context->Container != nullptr ? context->Container->Hal : nullptr;
}

void HalHarness::run(KIRQL irql, const std::function<void()>& body) {
  bool done = false;
  host->runtime().queueDriverEvent(ndis::Micros(0), ndis::EventKind::Host, irql, "test step", [&] {
    body();
    done = true;
  });
  scheduler.runUntil([&] { return done; }, ndis::Micros(0));
}

}  // namespace zelnic::hal::testing
