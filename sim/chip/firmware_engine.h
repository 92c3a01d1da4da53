#pragma once
// The running firmware's command engine: takes one host command record, applies it to the
// chip's settings and builds the response the chip writes back in place (the record with
// bit 0x8000 set in its code, plus the command's result fields). What each command does is
// in README.md beside this file.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/chip/chip_config.h"

namespace simchip {

namespace command {
inline constexpr std::uint16_t kGetHwSpec = 0x0003;
inline constexpr std::uint16_t kMacFilter = 0x0010;
inline constexpr std::uint16_t kGetStatistics = 0x0014;
inline constexpr std::uint16_t kRadioControl = 0x001C;
inline constexpr std::uint16_t kTxPower = 0x001E;
inline constexpr std::uint16_t kAntenna = 0x0020;
inline constexpr std::uint16_t kIbssStart = 0x0100;
inline constexpr std::uint16_t kScanStart = 0x0107;
inline constexpr std::uint16_t kScanEnd = 0x0108;
inline constexpr std::uint16_t kSetChannel = 0x010A;
inline constexpr std::uint16_t kSetAssociation = 0x010D;
inline constexpr std::uint16_t kSetInfraMode = 0x010E;
inline constexpr std::uint16_t kSetRts = 0x0113;
inline constexpr std::uint16_t kSetMode = 0x0116;
inline constexpr std::uint16_t kMeasureLoad = 0x0118;
inline constexpr std::uint16_t kMeasureHistogram = 0x0119;
inline constexpr std::uint16_t kMeasureFrames = 0x011A;
inline constexpr std::uint16_t kSetLedPattern = 0x011C;
inline constexpr std::uint16_t kSetMacAddress = 0x0202;
inline constexpr std::uint16_t kResponseBit = 0x8000;
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kMaxRecord = 512;  // one command buffer
}  // namespace command

// The command's name for logs ("RADIO_CONTROL"), or "0x...." for a code it does not know.
std::string CommandName(std::uint16_t code);

// The eight counters of the statistics reply, in reply order (u32 each from offset 12).
struct FirmwareCounters {
  std::uint32_t transmittedFragments = 0;
  std::uint32_t multicastTransmitted = 0;
  std::uint32_t failed = 0;  // frames given up after the retry limit
  std::uint32_t retried = 0;
  std::uint32_t multipleRetried = 0;
  std::uint32_t ackFailures = 0;
  std::uint32_t receivedFragments = 0;
  std::uint32_t fcsErrors = 0;
};

struct FirmwareSettings {
  bool radioOn = false;
  std::uint16_t preambleCode = 0;
  std::uint16_t rxAntenna = 0;
  std::uint16_t txAntenna = 0;
  std::uint16_t txPowerLevel = 0;  // 0 until the host sets one
  std::uint32_t rtsThreshold = 0;
  std::uint32_t ledPattern = 0;
  std::uint8_t channel = 0;
  std::uint8_t homeChannel = 0;   // the channel before SCAN_START; SCAN_END returns to it
  bool scanning = false;
  bool infrastructure = true;
  std::uint16_t filterAction = 0;
  std::vector<MacAddress> multicast;
  MacAddress directedAddress{};
  std::vector<std::uint8_t> association;   // the last SET_ASSOCIATION body
  std::vector<std::uint8_t> ibssTemplate;  // the last IBSS_START record
  std::uint8_t vendorFlags = 0;  // SET_MODE: the byte at 9
  std::uint8_t vendorMode = 0;   // ... and at 10
};

class FirmwareEngine {
public:
  FirmwareEngine(const ChipIdentity& identity, const ChipKnobs& knobs)
      : identity_(identity), knobs_(knobs) {}

  // The image with this release word starts: settings return to their power-up values.
  void start(std::uint32_t release);
  // One command record (at most 512 bytes, at least the 8-byte header); the response has
  // the record's length. Nothing (no response) for a record shorter than its header.
  std::optional<std::vector<std::uint8_t>> execute(std::span<const std::uint8_t> record);

  const FirmwareSettings& settings() const { return settings_; }
  FirmwareCounters& counters() { return counters_; }
  std::uint32_t release() const { return release_; }
  // The host's alive word, as the hardware-specification command named it.
  std::optional<std::uint32_t> aliveWordAddress() const { return aliveWord_; }

private:
  void hardwareSpec(std::span<const std::uint8_t> record, std::vector<std::uint8_t>& response);

  const ChipIdentity& identity_;
  const ChipKnobs& knobs_;
  FirmwareSettings settings_;
  FirmwareCounters counters_;
  std::uint32_t release_ = 0;
  std::optional<std::uint32_t> aliveWord_;
};

}  // namespace simchip
