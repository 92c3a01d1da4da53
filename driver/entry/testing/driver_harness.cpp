#include "driver/entry/testing/driver_harness.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "driver/ndis/miniport_context.h"
#include "hosts/zelnicd/driver_entry.h"
#include "platform/ndis/adapter_runtime.h"

namespace zelnic::testing {

DriverHarness::DriverHarness(Parameters parameters, simchip::ChipKnobs knobs) {
  chip.knobs() = knobs;
  ndis::AdapterConfig config;
  for (auto& [name, value] : parameters) config.parameters[name] = value;
  config.violations = ndis::ViolationPolicy::Record;
  config.checkForHang = false;
  host = ndis::NdisHost::load(&DriverEntry, std::move(config), chip, scheduler);
}

DriverHarness::~DriverHarness() {
  if (host->running()) halt();
  for (const auto& violation : host->violations()) ADD_FAILURE() << "runtime: " << violation;
  for (const auto& fault : chip.protocolFaults()) ADD_FAILURE() << "chip: " << fault;
}

void DriverHarness::trapOnBrokenRules() const {
  if (host->violations().empty() && chip.protocolFaults().empty()) return;
  for (const auto& violation : host->violations()) std::fprintf(stderr, "runtime: %s\n", violation.c_str());
  for (const auto& fault : chip.protocolFaults()) std::fprintf(stderr, "chip: %s\n", fault.c_str());
  __builtin_trap();
}

CoreAdapter* DriverHarness::core() const {
  if (!host->running()) return nullptr;
  auto* context = static_cast<MiniportContext*>(host->miniportContext());
  return context != nullptr && context->Container != nullptr ? context->Container->Core : nullptr;
}

HalAdapter* DriverHarness::hal() const {
  CoreAdapter* c = core();
  return c != nullptr ? c->Hal : nullptr;
}

void DriverHarness::run(const std::function<void()>& body) {
  bool done = false;
  host->runtime().queueDriverEvent(ndis::Micros(0), ndis::EventKind::Host, DISPATCH_LEVEL, "test step", [&] {
    body();
    done = true;
  });
  scheduler.runUntil([&] { return done; }, ndis::Micros(0));
}

}  // namespace zelnic::testing
