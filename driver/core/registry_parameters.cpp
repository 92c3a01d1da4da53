#include "driver/core/registry_parameters.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace zelnic {
namespace {

#define INT_ROW(name, field) {u##name, name, KeywordKind::Integer, offsetof(AdapterConfig, field), 4}
#define HEX_ROW(name, field) {u##name, name, KeywordKind::HexInteger, offsetof(AdapterConfig, field), 4}
#define STRING_ROW(name, field) \
  {u##name, name, KeywordKind::String, offsetof(AdapterConfig, field), sizeof(AdapterConfig::field)}

constexpr KeywordRow kKeywords[] = {
    STRING_ROW("DesiredSSID", desiredSsid),
    STRING_ROW("DriverDesc", driverDesc),
    INT_ROW("AuthMode", authMode),
    INT_ROW("NetWorkMode", networkMode),
    INT_ROW("FragThsd", fragThreshold),
    INT_ROW("Channel", channel),
    HEX_ROW("TxAntenna", txAntenna),
    HEX_ROW("RxAntenna", rxAntenna),
    INT_ROW("RTSThsd", rtsThreshold),
    INT_ROW("RadioOn", radioOn),
    HEX_ROW("DataRate", dataRate),
    INT_ROW("WepStatus", wepStatus),
    INT_ROW("Preamble", preamble),
    HEX_ROW("ChannelRange", channelRange),
    INT_ROW("TxPowerLvl", txPowerLevel),
    INT_ROW("AdhocGMode", adhocGMode),
    INT_ROW("PowerMode", powerMode),
    INT_ROW("CcxReqTime", ccxReqTime),
    INT_ROW("SignalThsds", signalThreshold),
    INT_ROW("TxFailThsds", txFailThreshold),
    HEX_ROW("LED0PowerOn", led0[0]),
    HEX_ROW("LED0PowerOff", led0[1]),
    HEX_ROW("LED0Scan", led0[2]),
    HEX_ROW("LED0Associated", led0[3]),
    HEX_ROW("LED0Joined", led0[4]),
    HEX_ROW("LED0Started", led0[5]),
    HEX_ROW("LED0TxHigh", led0[6]),
    HEX_ROW("LED0RxHigh", led0[7]),
    HEX_ROW("LED0Tx", led0[8]),
    HEX_ROW("LED0Rx", led0[9]),
    HEX_ROW("LED1PowerOn", led1[0]),
    HEX_ROW("LED1PowerOff", led1[1]),
    HEX_ROW("LED1Scan", led1[2]),
    HEX_ROW("LED1Associated", led1[3]),
    HEX_ROW("LED1Joined", led1[4]),
    HEX_ROW("LED1Started", led1[5]),
    HEX_ROW("LED1TxHigh", led1[6]),
    HEX_ROW("LED1RxHigh", led1[7]),
    HEX_ROW("LED1Tx", led1[8]),
    HEX_ROW("LED1Rx", led1[9]),
    HEX_ROW("LEDOffAfterRadioOff", ledOffAfterRadioOff),
    INT_ROW("TxWepKey", txWepKey),
    STRING_ROW("WepKey1", wepKeys[0].key),
    STRING_ROW("WepKey2", wepKeys[1].key),
    STRING_ROW("WepKey3", wepKeys[2].key),
    STRING_ROW("WepKey4", wepKeys[3].key),
};
static_assert(std::size(kKeywords) == 46);

#undef INT_ROW
#undef HEX_ROW
#undef STRING_ROW

// The length word sits right before each string field.
static_assert(offsetof(AdapterConfig, desiredSsid) - 4 == offsetof(AdapterConfig, desiredSsidLength));
static_assert(offsetof(AdapterConfig, driverDesc) - 4 == offsetof(AdapterConfig, driverDescLength));
static_assert(offsetof(WepKeyRecord, key) - 4 == offsetof(WepKeyRecord, keyLength));

constexpr std::size_t kTextRoom = 100;  // characters of one converted string

NDIS_STRING Keyword(const char16_t* name) {
  const auto length = static_cast<USHORT>(std::char_traits<char16_t>::length(name) * sizeof(WCHAR));
  return NDIS_STRING{length, static_cast<USHORT>(length + sizeof(WCHAR)), const_cast<PWSTR>(name)};
}

void ReadNumber(const KeywordRow& row, std::uint8_t* record, NDIS_HANDLE configuration) {
  NDIS_STATUS status = NDIS_STATUS_FAILURE;
  PNDIS_CONFIGURATION_PARAMETER parameter = nullptr;
  NDIS_STRING keyword = Keyword(row.wideName);
  NdisReadConfiguration(&status, &parameter, configuration, &keyword,
                        row.kind == KeywordKind::HexInteger ? NdisParameterHexInteger
                                                            : NdisParameterInteger);
  if (status != NDIS_STATUS_SUCCESS || parameter == nullptr) return;
  const std::uint32_t value = parameter->ParameterData.IntegerData;
  std::memcpy(record + row.offset, &value, sizeof value);
}

// A string longer than its field is refused (the field keeps what it held), except the
// description, which is cut to its 100 characters.
void ReadText(const KeywordRow& row, std::uint8_t* record, std::span<char, 101> vendorDescription,
              NDIS_HANDLE configuration) {
  NDIS_STATUS status = NDIS_STATUS_FAILURE;
  PNDIS_CONFIGURATION_PARAMETER parameter = nullptr;
  NDIS_STRING keyword = Keyword(row.wideName);
  NdisReadConfiguration(&status, &parameter, configuration, &keyword, NdisParameterString);
  if (status != NDIS_STATUS_SUCCESS || parameter == nullptr ||
      parameter->ParameterType != NdisParameterString)
    return;
  char text[kTextRoom + 1] = {};
  ANSI_STRING narrow{0, static_cast<USHORT>(kTextRoom), text};
  const bool cut = NdisUnicodeStringToAnsiString(&narrow, &parameter->ParameterData.StringData) !=
                   NDIS_STATUS_SUCCESS;
  const std::uint32_t length = std::min<std::uint32_t>(narrow.Length, kTextRoom);
  const bool isDescription = std::string_view(row.name) == "DriverDesc";
  if (!isDescription && (cut || length > row.size)) return;
  std::memcpy(record + row.offset, text, length);
  std::memcpy(record + row.offset - 4, &length, sizeof length);
  if (isDescription) {
    std::memcpy(vendorDescription.data(), text, length);
    vendorDescription[length] = '\0';
  }
}

}  // namespace

std::span<const KeywordRow> KeywordTable() { return kKeywords; }

int ReadRegistryParameters(AdapterConfig& config, std::optional<MacAddress>& stationAddress,
                           std::span<char, 101> vendorDescription,
                           NDIS_HANDLE wrapperConfigurationContext) {
  NDIS_STATUS status = NDIS_STATUS_FAILURE;
  NDIS_HANDLE configuration = nullptr;
  NdisOpenConfiguration(&status, &configuration, wrapperConfigurationContext);
  if (status != NDIS_STATUS_SUCCESS) return kConfigCannotOpen;

  PVOID address = nullptr;
  UINT addressLength = 0;
  NdisReadNetworkAddress(&status, &address, &addressLength, configuration);
  // A group address (broadcast, multicast) cannot name a station: the chip's own stays.
  if (status == NDIS_STATUS_SUCCESS && address != nullptr && addressLength == 6 &&
      (static_cast<const std::uint8_t*>(address)[0] & 0x01) == 0) {
    MacAddress mac;
    std::memcpy(mac.data(), address, mac.size());
    stationAddress = mac;
  }

  auto* record = reinterpret_cast<std::uint8_t*>(&config);
  for (const KeywordRow& row : kKeywords) {
    if (row.kind == KeywordKind::String) {
      ReadText(row, record, vendorDescription, configuration);
    } else {
      ReadNumber(row, record, configuration);
    }
  }
  NdisCloseConfiguration(configuration);
  return kConfigOk;
}

}  // namespace zelnic
