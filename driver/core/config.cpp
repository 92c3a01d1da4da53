#include "driver/core/config.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "driver/core/rates.h"

namespace zelnic {
namespace {

constexpr std::uint32_t kLed0Defaults[10] = {0xFF0001, 0xFE0000, 0xFD0002, 0xFD0005, 0xFD0006,
                                             0xFD0007, 0xFD000C, 0xFD000D, 0xFD0008, 0xFD0009};
constexpr std::uint32_t kLed1Defaults[10] = {0xFE0101, 0xFE0100, 0x030102, 0xFF0105, 0xFF0106,
                                             0xFF0107, 0x01010C, 0x01010D, 0x020108, 0x020109};

bool InRange(std::uint32_t value, std::uint32_t low, std::uint32_t high) {
  return value >= low && value <= high;
}
bool OneOf(std::uint32_t value, std::initializer_list<std::uint32_t> accepted) {
  return std::find(accepted.begin(), accepted.end(), value) != accepted.end();
}
void Keep(std::uint32_t& value, bool accepted, std::uint32_t fallback) {
  if (!accepted) value = fallback;
}

}  // namespace

bool IsValidSsid(const std::uint8_t* bytes, std::uint32_t length) {
  return length >= 1 && length <= 32 && bytes[0] >= 0x20 && bytes[0] <= 0xFE && bytes[0] != 0xA0;
}

std::optional<std::uint32_t> RateIndexOfCode(std::uint32_t code) {
  if (code > 0xFF || !core::IsKnownRate(static_cast<std::uint8_t>(code))) return std::nullopt;
  return core::RateIndex(static_cast<std::uint8_t>(code));
}

std::uint32_t RateIndexOfDataRate(std::uint32_t dataRate) {
  if (dataRate == 0xFF) return 12;
  return RateIndexOfCode(dataRate).value_or(10);
}

AdapterConfig DefaultAdapterConfig() {
  AdapterConfig c;
  c.authMode = 0;
  c.networkMode = 1;
  c.fragThreshold = 2346;
  c.channel = 1;
  c.txAntenna = 2;
  c.rxAntenna = 0xFFFF;
  c.rtsThreshold = 2346;
  c.radioOn = 1;
  c.dataRate = 0xFF;
  c.wepStatus = 1;
  c.preamble = 1;
  c.channelRange = 0;
  c.txPowerLevel = 4;
  c.adhocGMode = 0;
  c.powerMode = 0;
  c.ccxReqTime = 250;
  c.signalThreshold = 200;
  c.txFailThreshold = 0;
  std::copy(std::begin(kLed0Defaults), std::end(kLed0Defaults), c.led0);
  std::copy(std::begin(kLed1Defaults), std::end(kLed1Defaults), c.led1);
  c.ledOffAfterRadioOff = 1;
  c.txWepKey = 0;
  for (std::uint32_t i = 0; i < 4; ++i) c.wepKeys[i].keyIndex = i;
  return c;
}

void RangeCheck(AdapterConfig& c) {
  const AdapterConfig d = DefaultAdapterConfig();
  Keep(c.authMode, InRange(c.authMode, 0, 8), d.authMode);
  Keep(c.networkMode, InRange(c.networkMode, 0, 2), d.networkMode);
  Keep(c.fragThreshold, InRange(c.fragThreshold, 255, 2448), d.fragThreshold);
  Keep(c.channel, InRange(c.channel, 1, 11), d.channel);
  Keep(c.txAntenna, OneOf(c.txAntenna, {1, 2, 0xFFFF}), d.txAntenna);
  Keep(c.rxAntenna, OneOf(c.rxAntenna, {1, 2, 0xFFFF}), d.rxAntenna);
  Keep(c.rtsThreshold, InRange(c.rtsThreshold, 255, 2448), d.rtsThreshold);
  Keep(c.radioOn, InRange(c.radioOn, 0, 2), d.radioOn);
  Keep(c.wepStatus, InRange(c.wepStatus, 0, 7), d.wepStatus);
  Keep(c.preamble, OneOf(c.preamble, {1, 2, 3}), d.preamble);
  Keep(c.txPowerLevel, OneOf(c.txPowerLevel, {1, 2, 3}), d.txPowerLevel);
  Keep(c.adhocGMode, InRange(c.adhocGMode, 0, 1), d.adhocGMode);
  Keep(c.ccxReqTime, InRange(c.ccxReqTime, 250, 65535), d.ccxReqTime);
  if (!IsValidSsid(c.desiredSsid, c.desiredSsidLength)) c.desiredSsidLength = 0;
  for (auto& key : c.wepKeys) {
    if (key.keyLength != 5 && key.keyLength != 13) key.keyLength = 0;
  }
}

void LoadAdapterConfig(StationConfig& station, NDIS_HANDLE wrapperConfigurationContext) {
  AdapterConfig c = DefaultAdapterConfig();
  std::optional<MacAddress> address;
  char description[101] = {};
  if (ReadRegistryParameters(c, address, description, wrapperConfigurationContext) == kConfigOk)
    RangeCheck(c);

  station.radioOn = c.radioOn;
  std::copy(std::begin(c.led0), std::end(c.led0), station.led0);
  std::copy(std::begin(c.led1), std::end(c.led1), station.led1);
  station.ledOffAfterRadioOff = c.ledOffAfterRadioOff;
  station.txPowerLevel = c.txPowerLevel;
  station.fragThreshold = c.fragThreshold;
  station.networkMode = c.networkMode;
  station.authMode = c.authMode;
  station.dataRate = c.dataRate;
  station.rateIndex = RateIndexOfDataRate(c.dataRate);
  station.channelRange = c.channelRange;
  station.signalThreshold = static_cast<std::int32_t>(0u - c.signalThreshold);
  station.txFailThreshold = c.txFailThreshold;
  station.channel = static_cast<std::uint8_t>(c.channel);
  station.txAntenna = c.txAntenna;
  station.rxAntenna = c.rxAntenna;
  station.rtsThreshold = c.rtsThreshold;
  station.wepStatus = c.wepStatus;
  station.preamble = c.preamble;
  station.adhocGMode = c.adhocGMode;
  station.powerMode = c.powerMode;
  station.ccxReqTime = c.ccxReqTime;
  std::memcpy(station.vendorDescription, description, sizeof description);
  station.stationAddress = address;

  station.desiredSsid = Ssid{};
  if (IsValidSsid(c.desiredSsid, c.desiredSsidLength)) {
    station.desiredSsid.length = c.desiredSsidLength;
    std::memcpy(station.desiredSsid.bytes, c.desiredSsid, c.desiredSsidLength);
  }
  for (int i = 0; i < 4; ++i) {
    station.wepKeys[i] = WepKeyRecord{};
    const WepKeyRecord& key = c.wepKeys[i];
    if (key.keyLength == 5 || key.keyLength == 13) {
      station.wepKeys[i] = key;
      station.wepKeys[i].keyClass = key.keyLength;
    }
  }
}

}  // namespace zelnic

namespace zelnic {

hal::HalConfiguration ChipLayerConfiguration(const StationConfig& station) {
  hal::HalConfiguration config;
  config.preamble = station.preamble;
  config.txAntenna = station.txAntenna;
  config.rxAntenna = station.rxAntenna;
  config.txPowerLevel = station.txPowerLevel;
  config.rtsThreshold = station.rtsThreshold;
  config.powerMode = station.powerMode;
  return config;
}

}  // namespace zelnic
