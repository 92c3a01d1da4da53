#include "driver/hal/hardware_spec.h"

#include <algorithm>

#include "driver/hal/hal_registers.h"

namespace zelnic::hal {
namespace {

constexpr std::uint16_t kRegionCodes[] = {0x10, 0x20, 0x30, 0x31, 0x32, 0x40};
constexpr std::size_t kRepliedBytes = 40;  // everything up to the last ring offset

std::uint32_t Le(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

}  // namespace

Region RegionOfCode(std::uint16_t code) {
  const auto* found = std::find(std::begin(kRegionCodes), std::end(kRegionCodes), code);
  if (found == std::end(kRegionCodes)) return Region{0x10, 0};
  return Region{code, static_cast<std::uint32_t>(found - std::begin(kRegionCodes))};
}

std::optional<HardwareSpec> ParseHardwareSpec(std::span<const std::uint8_t> reply) {
  if (reply.size() < kRepliedBytes) return std::nullopt;
  HardwareSpec spec;
  spec.version = static_cast<std::uint16_t>(Le(reply, 8, 2));
  std::copy_n(reply.begin() + 14, spec.permanentMac.size(), spec.permanentMac.begin());
  const Region region = RegionOfCode(static_cast<std::uint16_t>(Le(reply, 20, 2)));
  spec.regionCode = region.code;
  spec.regionIndex = region.index;
  spec.firmwareRelease = Le(reply, 24, 4);
  spec.txRingRegister = Le(reply, 28, 4);
  spec.rxWritePointerRegister = Le(reply, 32, 4);
  spec.rxReadPointerRegister = Le(reply, 36, 4);
  return spec;
}

bool RingRegistersUsable(const HardwareSpec& spec) {
  for (const std::uint32_t offset : {spec.txRingRegister, spec.rxWritePointerRegister, spec.rxReadPointerRegister}) {
    if (offset % 4 != 0 || offset > kWindowBytes - 4) return false;
  }
  return true;
}

}  // namespace zelnic::hal
