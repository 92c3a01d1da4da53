#pragma once
// The chip's boot ROM: the mailbox handshake that loads the boot block from the boot window
// and then the firmware image, block by block, from host memory.
//
//   mailbox 0x01000001, boot block at 0xBF00, kick 0xC000BEF8  -> checks it, answers 5
//   mailbox 1, kick 0xC000BEF8                                 -> image mode, no answer
//   kick <physical address of {u16 type 1, u16 256, 4 bytes, 256 data}> -> answers 5
//   kick <physical address of {u16 type 1, u16 0, ...}>        -> checks the image,
//                                                                 answers 0xF0F1F2F4: running
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/chip/chip_config.h"
#include "sim/chip/firmware_format.h"

namespace simchip {

enum class FirmwareState : std::uint8_t { Reset, BootLoaded, Loading, Running };
const char* FirmwareStateName(FirmwareState state);

class BootRom {
public:
  using DmaRead = std::function<bool(std::uint32_t physical, std::span<std::uint8_t> into)>;

  struct KickResult {
    std::optional<std::uint32_t> answer;  // the mailbox value to show, if any
    std::string fault;                    // the host broke the protocol (empty: it did not)
  };

  BootRom(const ChipIdentity& identity, const ChipKnobs& knobs)
      : identity_(identity), knobs_(knobs) {}

  // The host rang the command doorbell while no firmware runs, with `address` in the
  // address register; `window0` is the chip's window 0 as the host left it.
  KickResult kick(std::uint32_t address, std::span<const std::uint8_t> window0,
                  const DmaRead& read);
  // Back to the ROM's idle state (power-up, or the host's stop doorbell).
  void reset();

  FirmwareState state() const { return state_; }
  unsigned blocksLoaded() const { return blocks_; }
  // The header of the image that runs (valid in state Running).
  const ImageHeader& image() const { return header_; }
  // Why the last block, boot block or image was refused (knobs included).
  const std::string& lastRefusal() const { return refusal_; }

private:
  KickResult bootKick(std::span<const std::uint8_t> window0);
  KickResult blockKick(std::uint32_t address, const DmaRead& read);
  KickResult refuse(std::string why, bool hostFault);

  const ChipIdentity& identity_;
  const ChipKnobs& knobs_;
  FirmwareState state_ = FirmwareState::Reset;
  unsigned blocks_ = 0;
  std::vector<std::uint8_t> image_;
  ImageHeader header_;
  std::string refusal_;
};

}  // namespace simchip
