#pragma once
// The channel number of a scan entry's frequency (kHz, as the scan list gives it); 0 when the
// frequency is on no channel the utility knows.
#include <cstdint>

namespace zelcon {

uint32_t ChannelOfFrequency(uint32_t kHz);

}  // namespace zelcon
