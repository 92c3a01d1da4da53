#pragma once
// Questions about a frame in the chip layout: u16 body length, frame control, duration,
// address 1, address 2, address 3, sequence control, a 6-byte address-4 field, body from
// byte 32. Callers hand whole headers (at least kChipHeaderBytes).
#include <cstdint>
#include <cstring>

namespace zelnic::core {

inline constexpr std::uint32_t kChipHeaderBytes = 32;
inline constexpr std::uint32_t kAddress1 = 6;
inline constexpr std::uint32_t kAddress2 = 12;
inline constexpr std::uint32_t kAddress3 = 18;
inline constexpr std::uint32_t kSequenceControl = 24;

inline constexpr std::uint8_t kFlagMoreFragments = 0x04;
inline constexpr std::uint8_t kFlagMoreData = 0x20;
inline constexpr std::uint8_t kFlagProtected = 0x40;

inline std::uint8_t FrameControl0(const std::uint8_t* frame) { return frame[2]; }
inline std::uint8_t FrameFlags(const std::uint8_t* frame) { return frame[3]; }
inline std::uint32_t FrameType(const std::uint8_t* frame) { return (frame[2] >> 2) & 3; }
inline bool IsManagementFrame(const std::uint8_t* frame) { return FrameType(frame) == 0; }
inline std::uint32_t FragmentNumber(const std::uint8_t* frame) { return frame[kSequenceControl] & 0x0F; }
inline bool IsBroadcast(const std::uint8_t* address) {
  static constexpr std::uint8_t kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  return std::memcmp(address, kBroadcast, 6) == 0;
}
inline bool IsGroupAddress(const std::uint8_t* address) { return (address[0] & 0x01) != 0; }

// True when the More Fragments bit is set or the fragment number is not 0.
bool IsFragment(const std::uint8_t* frame);
// True when the type bits are not 00 (management).
bool IsDataOrControlFrame(const std::uint8_t* frame);
// A body of `length - 32` bytes that starts with the SwiftBond header.
bool HasSwiftBondHeader(const std::uint8_t* frame, std::uint32_t length);
// A management frame, or a frame with the SwiftBond header.
bool IsManagementOrVendorFrame(const std::uint8_t* frame, std::uint32_t length);

}  // namespace zelnic::core
