#include "sim/chip/firmware_engine.h"

#include <algorithm>

#include "sim/chip/chip_registers.h"
#include "sim/chip/chip_text.h"

namespace simchip {
namespace {

// Bounds-checked little-endian field access: a field that does not fit reads as 0 and is
// not written.
std::uint32_t Get(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t width) {
  if (at + width > bytes.size()) return 0;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}
std::uint16_t Get16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(Get(bytes, at, 2));
}
void Put(std::vector<std::uint8_t>& bytes, std::size_t at, std::size_t width, std::uint32_t value) {
  if (at + width > bytes.size()) return;
  for (std::size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}
MacAddress GetMac(std::span<const std::uint8_t> bytes, std::size_t at) {
  MacAddress mac{};
  if (at + mac.size() <= bytes.size()) std::copy_n(bytes.begin() + at, mac.size(), mac.begin());
  return mac;
}
void PutBytes(std::vector<std::uint8_t>& bytes, std::size_t at, std::span<const std::uint8_t> from) {
  if (at + from.size() <= bytes.size()) std::copy(from.begin(), from.end(), bytes.begin() + at);
}

constexpr std::size_t kMaxMulticast = 32;

}  // namespace

std::string CommandName(std::uint16_t code) {
  switch (code) {
    case command::kGetHwSpec: return "GET_HW_SPEC";
    case command::kMacFilter: return "MAC_FILTER";
    case command::kGetStatistics: return "GET_STATISTICS";
    case command::kRadioControl: return "RADIO_CONTROL";
    case command::kTxPower: return "TX_POWER";
    case command::kAntenna: return "ANTENNA";
    case command::kIbssStart: return "IBSS_START";
    case command::kScanStart: return "SCAN_START";
    case command::kScanEnd: return "SCAN_END";
    case command::kSetChannel: return "SET_CHANNEL";
    case command::kSetAssociation: return "SET_ASSOCIATION";
    case command::kSetInfraMode: return "SET_INFRA_MODE";
    case command::kSetRts: return "SET_RTS";
    case command::kSetMode: return "SET_MODE";
    case command::kMeasureLoad: return "MEASURE_0118";
    case command::kMeasureHistogram: return "MEASURE_0119";
    case command::kMeasureFrames: return "MEASURE_011A";
    case command::kSetLedPattern: return "SET_LED_PATTERN";
    case command::kSetMacAddress: return "SET_MAC_ADDRESS";
    default: return "0x" + Hex(code, 4);
  }
}

void FirmwareEngine::start(std::uint32_t release) {
  release_ = release;
  settings_ = FirmwareSettings{};
  settings_.directedAddress = identity_.mac;
  counters_ = FirmwareCounters{};
  aliveWord_.reset();
}

std::optional<std::vector<std::uint8_t>> FirmwareEngine::execute(
    std::span<const std::uint8_t> record) {
  if (record.size() < command::kHeaderSize) return std::nullopt;
  if (record.size() > command::kMaxRecord) record = record.first(command::kMaxRecord);
  const std::uint16_t code = Get16(record, 0);
  std::vector<std::uint8_t> response(record.begin(), record.end());
  Put(response, 0, 2, code | command::kResponseBit);

  switch (code) {
    case command::kGetHwSpec:
      hardwareSpec(record, response);
      break;
    case command::kMacFilter: {
      settings_.filterAction = Get16(record, 8);
      const std::size_t count = std::min<std::size_t>(Get16(record, 10), kMaxMulticast);
      settings_.multicast.clear();
      for (std::size_t i = 0; i < count && 12 + 6 * (i + 1) <= record.size(); ++i)
        settings_.multicast.push_back(GetMac(record, 12 + 6 * i));
      break;
    }
    case command::kGetStatistics: {
      Put(response, 8, 2, 0);
      Put(response, 10, 2, 0);
      const std::uint32_t words[] = {counters_.transmittedFragments, counters_.multicastTransmitted,
                                     counters_.failed,  counters_.retried,
                                     counters_.multipleRetried,      counters_.ackFailures,
                                     counters_.receivedFragments,    counters_.fcsErrors};
      for (std::size_t i = 0; i < std::size(words); ++i) Put(response, 12 + 4 * i, 4, words[i]);
      break;
    }
    case command::kRadioControl:
      settings_.preambleCode = Get16(record, 10);
      settings_.radioOn = Get16(record, 12) == 1;
      break;
    case command::kTxPower:
      if (Get16(record, 8) == 1) settings_.txPowerLevel = Get16(record, 10);
      break;
    case command::kAntenna:
      if (Get16(record, 8) == 1) settings_.rxAntenna = Get16(record, 10);
      if (Get16(record, 8) == 2) settings_.txAntenna = Get16(record, 10);
      break;
    case command::kIbssStart:
      settings_.ibssTemplate.assign(record.begin(), record.end());
      settings_.infrastructure = false;
      // No access point any more: an IBSS hears every BSSID of its SSID (it may merge).
      settings_.association.clear();
      break;
    case command::kScanStart:
      if (!settings_.scanning) settings_.homeChannel = settings_.channel;
      settings_.scanning = true;
      break;
    case command::kScanEnd:
      if (settings_.scanning) settings_.channel = settings_.homeChannel;
      settings_.scanning = false;
      break;
    case command::kSetChannel:
      settings_.channel = static_cast<std::uint8_t>(Get(record, 10, 1));
      break;
    case command::kSetAssociation:
      settings_.association.assign(record.begin() + command::kHeaderSize, record.end());
      break;
    case command::kSetInfraMode:
      settings_.infrastructure = true;
      break;
    case command::kSetRts:
      settings_.rtsThreshold = Get(record, 8, 4);
      break;
    case command::kSetMode:
      settings_.vendorFlags = static_cast<std::uint8_t>(Get(record, 9, 1));
      settings_.vendorMode = static_cast<std::uint8_t>(Get(record, 10, 1));
      break;
    case command::kSetLedPattern:
      settings_.ledPattern = Get(record, 8, 4);
      break;
    case command::kSetMacAddress:
      if (record.size() >= 14) settings_.directedAddress = GetMac(record, 8);
      break;
    default:
      break;  // stored in the chip's command log, nothing more
  }
  return response;
}

void FirmwareEngine::hardwareSpec(std::span<const std::uint8_t> record,
                                  std::vector<std::uint8_t>& response) {
  if (record.size() >= 44) aliveWord_ = Get(record, 40, 4);
  MacAddress mac = identity_.mac;
  if (knobs_.reportWrongMac) mac[5] ^= 0xFF;
  Put(response, 8, 2, identity_.hardwareVersion);
  PutBytes(response, 14, mac);
  Put(response, 20, 2, identity_.regionCode);
  Put(response, 24, 4, release_);
  Put(response, 28, 4, knobs_.reportTxRingRegister.value_or(kTxRingRegister));
  Put(response, 32, 4, kRxWritePointerRegister);
  Put(response, 36, 4, kRxReadPointerRegister);
}

}  // namespace simchip
