#pragma once
// The core's configuration values the chip layer keeps copies of.
#include <cstdint>

namespace zelnic::hal {

struct HalConfiguration {
  std::uint32_t preamble = 1;
  std::uint32_t txAntenna = 2;
  std::uint32_t rxAntenna = 0xFFFF;
  std::uint32_t txPowerLevel = 4;
  std::uint32_t rtsThreshold = 2346;
  std::uint32_t powerMode = 0;
};

}  // namespace zelnic::hal
