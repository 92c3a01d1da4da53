#pragma once
// The maker's vendor-mode frame: a data frame whose body is the maker vendor header, a
// 16-bit type and the mode byte. The station answers it at once and hands the mode to the
// firmware; decapsulation then strips the header and the type.
#include <cstdint>

struct CoreAdapter;

namespace zelnic::core {

inline constexpr std::uint32_t kVendorModeStripped = 10;   // the header and the type
inline constexpr std::uint32_t kVendorModeFrameBytes = 11;  // ... and the mode byte

// The answer: a ToDS data frame (duration 258, A1 = A3 = BSSID, A2 = the station) whose body
// is the maker vendor header and 03 02 00, handed to the chip layer at once. Without a free
// frame buffer or send record nothing goes out (the access point asks again).
void SendVendorModeReply(CoreAdapter* core);

// A received vendor-mode frame: the answer, then HLVN_FW_SET_MODE with action 1 and `mode`
// (the byte after the type) first in its record, as OID_HLVN_VENDOR_MODE hands its byte over,
// then 0. Nothing without a core.
void AnswerVendorModeFrame(CoreAdapter* core, std::uint8_t mode);

}  // namespace zelnic::core
