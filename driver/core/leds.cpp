#include "driver/core/leds.h"

#include <optional>

#include "driver/core/core_adapter.h"
#include "driver/hal/hal_adapter.h"

namespace zelnic::core {
namespace {

// The event's position among the configuration's LED words.
std::optional<LedWord> WordOf(std::uint32_t event) {
  switch (event) {
    case kLedEventPowerOff: return kLedPowerOff;
    case kLedEventPowerOn: return kLedPowerOn;
    case kLedEventScan: return kLedScan;
    case kLedEventAssociated: return kLedAssociated;
    case kLedEventJoined: return kLedJoined;
    case kLedEventStarted: return kLedStarted;
    case kLedEventTxHigh: return kLedTxHigh;
    case kLedEventRxHigh: return kLedRxHigh;
    case kLedEventTx: return kLedTx;
    case kLedEventRx: return kLedRx;
    default: return std::nullopt;
  }
}

}  // namespace

void SetLedPattern(CoreAdapter* core, std::uint32_t event) {
  core->ShownLedEvent = event;
  if (core->Config.ledOffAfterRadioOff == 1 && core->Config.radioOn != 1) event = kLedEventPowerOff;
  const auto word = WordOf(event);
  if (!word) return;
  HalOps(core->Hal).SetLed(core->Hal, core->Config.led0[*word]);
  HalOps(core->Hal).SetLed(core->Hal, core->Config.led1[*word]);
}

std::uint32_t LinkStateLedEvent(const CoreAdapter* core) {
  switch (core->MlmeState) {
    case kMlmeAssociated: return kLedEventAssociated;
    case kMlmeIbssJoined: return kLedEventJoined;
    case kMlmeIbssStarted: return kLedEventStarted;
    default: return kLedEventPowerOn;
  }
}

}  // namespace zelnic::core
