#include "driver/hal/testing/hal_harness.h"

#include "driver/hal/testing/os_layer_double.h"

#include <gtest/gtest.h>

namespace zelnic::hal::testing {

HalCoreLink CoreDouble::link() {
  HalCoreLink l;
  l.core = reinterpret_cast<CoreAdapter*>(this);
  l.radioOn = &radioOn;
  l.DisconnectByState = [](CoreAdapter* c, bool) { ++Of(c).disconnects; };
  l.PostUtilityEvent = [](CoreAdapter* c, std::uint32_t code, const void*, std::uint32_t) {
    Of(c).events.push_back(code);
  };
  l.StoreFirmwareStatistics = [](CoreAdapter* c, const std::uint8_t* reply) {
    Of(c).statistics.assign(reply, reply + 44);
  };
  l.SetCcxWord = [](CoreAdapter* c, std::uint32_t word) { Of(c).ccxWord = word; };
  l.StoreMeasurement = [](CoreAdapter* c, const std::uint32_t* words, std::uint32_t count) {
    Of(c).measurement.assign(words, words + count);
  };
  l.FirmwareEvent = [](CoreAdapter* c) { ++Of(c).firmwareEvents; };
  return l;
}

HalHarness::HalHarness(simchip::ChipIdentity identity, HalConfiguration configuration)
    : chip(identity), config(configuration), os_(std::make_unique<OsLayer>()) {
  ndis::AdapterConfig adapterConfig;
  adapterConfig.violations = ndis::ViolationPolicy::Record;
  miniport.initialize = [this] {
    os_->adapter = miniport.adapter;
    os_->configuration = miniport.configuration;
    createStatus = CreateHalAdapter(nullptr, os_.get(), config, core.link(), &hal);
    if (createStatus != NDIS_STATUS_SUCCESS) return createStatus;
    const NDIS_STATUS status = hal->ops->Start(hal);
    if (status != NDIS_STATUS_SUCCESS) {
      hal->ops->Destroy(hal);
      hal = nullptr;
    }
    return status;
  };
  miniport.isr = [this](PBOOLEAN recognized, PBOOLEAN queue) {
    *recognized = *queue = hal != nullptr && hal->ops->Isr(hal);
  };
  miniport.handleInterrupt = [this] {
    if (hal) hal->ops->InterruptDpc(hal);
  };
  miniport.enableInterrupt = [this] {
    if (hal) hal->ops->EnableInterrupts(hal);
  };
  miniport.halt = [this] {
    if (!hal) return;
    hal->removed = 0;
    StopFirmware(hal);
    hal->ops->Stop(hal, 1);
    hal->ops->Destroy(hal);
    hal = nullptr;
  };
  host = ndis::NdisHost::load(&ndis::testing::TestMiniport::DriverEntry, adapterConfig, chip, scheduler);
}

HalHarness::~HalHarness() {
  if (hal) halt();
  for (const auto& violation : host->violations()) ADD_FAILURE() << "runtime: " << violation;
}

NDIS_STATUS HalHarness::start() { return host->initialize(); }

void HalHarness::run(KIRQL irql, const std::function<void()>& body) {
  bool done = false;
  host->runtime().queueDriverEvent(ndis::Micros(0), ndis::EventKind::Host, irql, "test step", [&] {
    body();
    done = true;
  });
  scheduler.runUntil([&] { return done; }, ndis::Micros(0));
}

void HalHarness::halt() { host->halt(); }

bool HalHarness::leakFree() const { return host->leaks().empty(); }
std::string HalHarness::leaks() const { return host->leaks().describe(); }

}  // namespace zelnic::hal::testing
