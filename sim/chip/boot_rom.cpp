#include "sim/chip/boot_rom.h"

#include <array>

#include "sim/chip/chip_registers.h"

namespace simchip {
namespace {

std::uint32_t LoadU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
         static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
         static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

constexpr std::uint16_t kBlockType = 1;
constexpr std::size_t kBlockHeader = 8;

}  // namespace

const char* FirmwareStateName(FirmwareState state) {
  switch (state) {
    case FirmwareState::Reset: return "reset";
    case FirmwareState::BootLoaded: return "boot block loaded";
    case FirmwareState::Loading: return "loading image";
    case FirmwareState::Running: return "running";
  }
  return "?";
}

void BootRom::reset() {
  state_ = FirmwareState::Reset;
  blocks_ = 0;
  image_.clear();
  header_ = {};
}

BootRom::KickResult BootRom::refuse(std::string why, bool hostFault) {
  refusal_ = why;
  return KickResult{std::nullopt, hostFault ? std::move(why) : std::string()};
}

BootRom::KickResult BootRom::kick(std::uint32_t address, std::span<const std::uint8_t> window0,
                                  const DmaRead& read) {
  if (state_ == FirmwareState::Running) return refuse("kick while the firmware runs", true);
  if (address == kBootKickAddress) return bootKick(window0);
  return blockKick(address, read);
}

BootRom::KickResult BootRom::bootKick(std::span<const std::uint8_t> window0) {
  const std::uint32_t mailbox = LoadU32(window0, kBootMailbox);
  if (mailbox == kBootMailboxLoad) {
    reset();
    std::string why;
    if (!VerifyImage(window0.subspan(kBootArea, kBootBlockSize), kBootMagic, kBootBlockSize,
                     identity_.hardwareVersion, &why))
      return refuse("boot block refused: " + why, true);
    state_ = FirmwareState::BootLoaded;
    if (knobs_.bootNeverAcknowledged) return refuse("boot block never acknowledged", false);
    return KickResult{kMailboxBlockAccepted, {}};
  }
  if (mailbox == kBootMailboxImage && state_ == FirmwareState::BootLoaded) {
    state_ = FirmwareState::Loading;
    return KickResult{};
  }
  return refuse("unexpected boot mailbox word " + std::to_string(mailbox) + " in state " +
                    FirmwareStateName(state_),
                true);
}

BootRom::KickResult BootRom::blockKick(std::uint32_t address, const DmaRead& read) {
  if (state_ != FirmwareState::Loading)
    return refuse(std::string("block kick in state ") + FirmwareStateName(state_), true);
  std::array<std::uint8_t, kBlockHeader + kDownloadBlockSize> block{};
  if (!read(address, std::span(block).first(kBlockHeader)))
    return refuse("download block outside shared memory", true);
  const std::uint16_t type = static_cast<std::uint16_t>(block[0] | block[1] << 8);
  const std::uint16_t length = static_cast<std::uint16_t>(block[2] | block[3] << 8);
  if (type != kBlockType) return refuse("download block of type " + std::to_string(type), true);

  if (length == 0) {  // the end block
    std::string why;
    auto header = VerifyImage(image_, kImageMagic, kFirmwareImageSize, identity_.hardwareVersion,
                              &why);
    if (!header) return refuse("image refused: " + why, true);
    if (knobs_.neverRunning) return refuse("firmware never runs", false);
    header_ = *header;
    state_ = FirmwareState::Running;
    image_.clear();
    return KickResult{kMailboxRunning, {}};
  }
  if (length != kDownloadBlockSize)
    return refuse("download block of length " + std::to_string(length), true);
  if (image_.size() + kDownloadBlockSize > kFirmwareImageSize)
    return refuse("more blocks than the image holds", true);
  if (!read(address, block)) return refuse("download block outside shared memory", true);
  if (knobs_.refuseBlock && *knobs_.refuseBlock == blocks_)
    return refuse("block " + std::to_string(blocks_) + " refused", false);
  image_.insert(image_.end(), block.begin() + kBlockHeader, block.end());
  ++blocks_;
  return KickResult{kMailboxBlockAccepted, {}};
}

}  // namespace simchip
