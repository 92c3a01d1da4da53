#pragma once
// The adapter's registry parameters: the record the keyword table fills and the reader that
// fills it from the adapter's registry key (NdisOpenConfiguration / NdisReadConfiguration).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/ndis/ndis.h"

namespace zelnic {

using MacAddress = std::array<std::uint8_t, 6>;

// One WEP key as the registry gives it: {class, index, length, key bytes}.
struct WepKeyRecord {
  std::uint32_t keyClass = 0;
  std::uint32_t keyIndex = 0;
  std::uint32_t keyLength = 0;
  std::uint8_t key[16] = {};
};
static_assert(sizeof(WepKeyRecord) == 28);

// What the keyword table fills. Every string field has its length as a u32 just before it.
// Each field has its own room: a long DriverDesc never reaches the SSID or the numbers.
struct AdapterConfig {
  std::uint32_t desiredSsidLength = 0;
  std::uint8_t desiredSsid[32] = {};
  std::uint32_t driverDescLength = 0;
  char driverDesc[100] = {};
  std::uint32_t authMode = 0;
  std::uint32_t networkMode = 0;
  std::uint32_t fragThreshold = 0;
  std::uint32_t channel = 0;
  std::uint32_t txAntenna = 0;
  std::uint32_t rxAntenna = 0;
  std::uint32_t rtsThreshold = 0;
  std::uint32_t radioOn = 0;
  std::uint32_t dataRate = 0;
  std::uint32_t wepStatus = 0;
  std::uint32_t preamble = 0;
  std::uint32_t channelRange = 0;
  std::uint32_t txPowerLevel = 0;
  std::uint32_t adhocGMode = 0;
  std::uint32_t powerMode = 0;
  std::uint32_t ccxReqTime = 0;
  std::uint32_t signalThreshold = 0;
  std::uint32_t txFailThreshold = 0;
  std::uint32_t led0[10] = {};  // PowerOn, PowerOff, Scan, Associated, Joined, Started,
  std::uint32_t led1[10] = {};  // TxHigh, RxHigh, Tx, Rx
  std::uint32_t ledOffAfterRadioOff = 0;
  std::uint32_t txWepKey = 0;
  WepKeyRecord wepKeys[4];
};

enum class KeywordKind : std::uint8_t { Integer = 0, String = 1, HexInteger = 3 };

struct KeywordRow {
  const char16_t* wideName;
  const char* name;
  KeywordKind kind;
  std::size_t offset;  // in AdapterConfig
  std::size_t size;    // bytes of the field (string rows: the text, without its length word)
};

// The 46 keywords in reading order.
std::span<const KeywordRow> KeywordTable();

// Driver status codes of the reader.
inline constexpr int kConfigOk = 0;
inline constexpr int kConfigCannotOpen = 3;

// Reads every keyword present into `config` (a missing or unreadable one keeps what the
// record held) and NetworkAddress, taken only with exactly 6 bytes. `vendorDescription`
// receives DriverDesc NUL-terminated. 0, or 3 when the configuration cannot be opened.
int ReadRegistryParameters(AdapterConfig& config, std::optional<MacAddress>& stationAddress,
                           std::span<char, 101> vendorDescription,
                           NDIS_HANDLE wrapperConfigurationContext);

}  // namespace zelnic
