#include "driver/core/frame_tests.h"

namespace zelnic::core {
namespace {

constexpr std::uint8_t kSwiftBondHeader[8] = {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x01};

}  // namespace

bool IsFragment(const std::uint8_t* frame) {
  return (FrameFlags(frame) & kFlagMoreFragments) != 0 || FragmentNumber(frame) != 0;
}

bool IsDataOrControlFrame(const std::uint8_t* frame) { return FrameType(frame) != 0; }

bool HasSwiftBondHeader(const std::uint8_t* frame, std::uint32_t length) {
  return length >= kChipHeaderBytes + sizeof kSwiftBondHeader &&
         std::memcmp(frame + kChipHeaderBytes, kSwiftBondHeader, sizeof kSwiftBondHeader) == 0;
}

bool IsManagementOrVendorFrame(const std::uint8_t* frame, std::uint32_t length) {
  return IsManagementFrame(frame) || HasSwiftBondHeader(frame, length);
}

}  // namespace zelnic::core
