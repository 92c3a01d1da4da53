#pragma once
// Data frames the station core writes itself to its access point (SwiftBond messages, CCX
// IAPP reports): a ToDS data frame to the BSSID through the management frame queue.
#include <cstdint>

struct CoreAdapter;

namespace zelnic::core {

struct ManagementFrameBuffer;

// `body` behind an 802.11 data header (ToDS, duration 0, A1 = A3 = BSSID, A2 = the station)
// in a frame buffer of the pool. With `ivRoom`, the Protected bit is set and four bytes of
// IV space precede the body for the chip layer's cipher. Null when the frame does not fit or
// no frame buffer is free.
ManagementFrameBuffer* BuildDataToBss(CoreAdapter* core, const std::uint8_t* body, std::uint32_t length,
                                      bool ivRoom = false);
// The same frame queued for the chip layer; false when it could not be built.
bool SendDataToBss(CoreAdapter* core, const std::uint8_t* body, std::uint32_t length, bool ivRoom = false);

}  // namespace zelnic::core
