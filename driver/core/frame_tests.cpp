#include "driver/core/frame_tests.h"

#include "driver/core/snap.h"

namespace zelnic::core {

bool IsFragment(const std::uint8_t* frame) {
  return (FrameFlags(frame) & kFlagMoreFragments) != 0 || FragmentNumber(frame) != 0;
}

bool IsDataOrControlFrame(const std::uint8_t* frame) { return FrameType(frame) != 0; }

bool HasSwiftBondHeader(const std::uint8_t* frame, std::uint32_t length) {
  return length >= kChipHeaderBytes + sizeof kSwiftBondSnap &&
         std::memcmp(frame + kChipHeaderBytes, kSwiftBondSnap, sizeof kSwiftBondSnap) == 0;
}

bool IsManagementOrVendorFrame(const std::uint8_t* frame, std::uint32_t length) {
  return IsManagementFrame(frame) || HasSwiftBondHeader(frame, length);
}

}  // namespace zelnic::core
