#include "driver/hal/testing/hal_harness.h"

#include <gtest/gtest.h>

#include "driver/core/config.h"
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

ULONG CoreInit(CoreAdapter*) { return StatusSuccess; }
void CoreNothing(CoreAdapter*) {}
void CoreFirmwareEvent(CoreAdapter* core) { ++Observed(core).firmwareEvents; }

constexpr CoreAdapterOps kCoreOps = {CoreInit, CoreHalt, CoreNothing, CoreNothing, nullptr, nullptr,
                                     nullptr,  CoreNothing, CoreFirmwareEvent, nullptr, nullptr, nullptr,
                                     nullptr,  nullptr,  CoreDestroy, nullptr};

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
