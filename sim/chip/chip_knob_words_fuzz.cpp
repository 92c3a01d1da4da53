// Arbitrary "NAME VALUE" text as a world file's chip knob.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/chip/chip_knob_words.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t space = text.find(' ');
  const std::string_view name = text.substr(0, space);
  const std::string_view value = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
  simchip::ChipKnobs knobs;
  std::string error;
  simchip::SetChipKnob(knobs, name, value, error);
  return 0;
}
