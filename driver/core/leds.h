#pragma once
// LED events: each event selects one pattern word of LED0 and one of LED1 from the
// configuration, and the chip layer sends both to the firmware.
#include <cstdint>

struct CoreAdapter;

namespace zelnic::core {

enum LedEvent : std::uint32_t {
  kLedEventPowerOff = 0,
  kLedEventPowerOn = 1,
  kLedEventScan = 2,
  kLedEventAssociated = 5,
  kLedEventJoined = 6,
  kLedEventStarted = 7,
  kLedEventTx = 8,
  kLedEventRx = 9,
  kLedEventTxHigh = 12,
  kLedEventRxHigh = 13,
};

// Sends the LED0 and then the LED1 word of `event`; with the radio off and
// LEDOffAfterRadioOff 1 every event shows the power-off pattern. Unknown events show
// nothing.
void SetLedPattern(CoreAdapter* core, std::uint32_t event);
// The event that shows the link state: 5 associated, 6 IBSS joined, 7 IBSS started, else 1.
std::uint32_t LinkStateLedEvent(const CoreAdapter* core);

}  // namespace zelnic::core
