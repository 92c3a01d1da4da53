#include "utility/core/frequency_channel.h"

namespace zelcon {

uint32_t ChannelOfFrequency(uint32_t kHz) {
  const uint32_t mhz = kHz / 1000;
  if (mhz < 5180) {
    if (mhz == 2484) return 14;
    if (mhz < 2412) return 0;
    const uint32_t channel = (mhz - 2412) / 5 + 1;
    return channel <= 14 ? channel : 0;
  }
  if (mhz >= 5745) return 149 + (mhz - 5745) / 20 * 4;
  if (mhz >= 5260) return 52 + (mhz - 5260) / 20 * 4;
  return 36 + (mhz - 5180) / 20 * 4;
}

}  // namespace zelcon
