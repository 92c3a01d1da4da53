#pragma once
// The station's configuration as the core keeps it, and LoadAdapterConfig, which fills it
// once at creation: defaults, then the registry, then range checks.
#include <array>
#include <cstdint>
#include <optional>

#include "driver/core/registry_parameters.h"
#include "driver/hal/hal_configuration.h"

namespace zelnic {

struct Ssid {
  std::uint32_t length = 0;
  std::uint8_t bytes[32] = {};
};

// LED events, in the order of the registry's LED words.
enum LedWord : std::uint8_t {
  kLedPowerOn, kLedPowerOff, kLedScan, kLedAssociated, kLedJoined,
  kLedStarted, kLedTxHigh, kLedRxHigh, kLedTx, kLedRx,
};

struct StationConfig {
  std::uint32_t radioOn = 1;
  std::uint32_t led0[10] = {};
  std::uint32_t led1[10] = {};
  std::uint32_t ledOffAfterRadioOff = 1;
  std::uint32_t txPowerLevel = 4;
  std::uint32_t fragThreshold = 2346;
  std::uint32_t networkMode = 1;  // 0 IBSS, 1 infrastructure, 2 automatic
  std::uint32_t authMode = 0;
  std::uint32_t dataRate = 0xFF;  // as read
  std::uint32_t rateIndex = 12;   // from the rate table; 12 automatic
  std::uint32_t channelRange = 0;
  std::int32_t signalThreshold = -200;  // stored negated; -200 turns roaming checks off
  std::uint32_t txFailThreshold = 0;
  std::uint8_t channel = 1;  // IBSS channel
  std::uint32_t txAntenna = 2;
  std::uint32_t rxAntenna = 0xFFFF;
  std::uint32_t rtsThreshold = 2346;
  std::uint32_t wepStatus = 1;
  std::uint32_t preamble = 1;
  std::uint32_t adhocGMode = 0;
  std::uint32_t powerMode = 0;
  std::uint32_t ccxReqTime = 250;
  Ssid desiredSsid;                   // length 0: no desired SSID
  WepKeyRecord wepKeys[4];            // keyLength 0: no key in that position
  char vendorDescription[101] = {};   // DriverDesc, NUL-terminated
  std::optional<MacAddress> stationAddress;  // NetworkAddress, when the registry has one
};

// 1..32 bytes, the first from 0x20 to 0xFE and not 0xA0.
bool IsValidSsid(const std::uint8_t* bytes, std::uint32_t length);

// Rate code (units of 500 kbit/s) to rate index: 0x02 0 ... 0x90 13; nullopt for others.
std::optional<std::uint32_t> RateIndexOfCode(std::uint32_t code);
// The configured DataRate as a rate index: 0xFF is 12 (automatic), unknown codes 10.
std::uint32_t RateIndexOfDataRate(std::uint32_t dataRate);

// The defaults of every keyword, the key indexes 0..3 and no desired SSID.
AdapterConfig DefaultAdapterConfig();
// Replaces every value outside its accepted set by its default.
void RangeCheck(AdapterConfig& config);

// The values the chip layer copies from the station's configuration.
hal::HalConfiguration ChipLayerConfiguration(const StationConfig& station);

// Defaults, the registry (when the configuration opens: then range-checked), and the copy
// into `station`. Always succeeds.
void LoadAdapterConfig(StationConfig& station, NDIS_HANDLE wrapperConfigurationContext);

}  // namespace zelnic
