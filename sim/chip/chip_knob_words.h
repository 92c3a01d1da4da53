#pragma once
// The chip's fault knobs by name, as a world file sets them for a demonstration
// ("chip-knob hold-transmit", "chip-knob command-latency 5000").
#include <string>
#include <string_view>

#include "sim/chip/chip_config.h"

namespace simchip {

// Sets the knob `name` from `value` (empty for the on/off knobs); false with `error` saying
// why when the name is unknown or the value does not fit it. `knobs` is unchanged then.
bool SetChipKnob(ChipKnobs& knobs, std::string_view name, std::string_view value, std::string& error);

}  // namespace simchip
