// Registry parameters from the host's REG_SZ dictionary, and the counted-string helpers.
// 8-bit text is Latin-1: characters up to U+00FF become that byte, others '?' (the
// system's single-byte code page for the driver's strings).
#include <cctype>
#include <cstdlib>
#include <string>

#include "platform/ndis/adapter_runtime.h"
#include "platform/ndis/configuration_number.h"

using ndis::AdapterRuntime;

namespace {

std::string Narrow(const UNICODE_STRING* text) {
  std::string out;
  if (text == nullptr || text->Buffer == nullptr) return out;
  for (USHORT i = 0; i < text->Length / sizeof(WCHAR); ++i) {
    out += text->Buffer[i] < 0x100 ? static_cast<char>(text->Buffer[i]) : '?';
  }
  return out;
}

// UTF-8 to UTF-16; an invalid sequence becomes U+FFFD.
std::u16string Widen(const std::string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    int extra = lead < 0x80 ? 0 : (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : -1;
    char32_t code = extra == 0 ? lead : extra == 1 ? (lead & 0x1F) : extra == 2 ? (lead & 0x0F) : (lead & 0x07);
    bool valid = extra >= 0 && i + static_cast<std::size_t>(extra) < text.size();
    for (int k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (next & 0x3F);
    }
    if (!valid || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += extra + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

bool ParseAddress(const std::string& raw, std::vector<std::uint8_t>& bytes) {
  std::string digits;
  for (char c : ndis::TrimConfigurationText(raw)) {
    if (c == '-' || c == ':') continue;
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    digits += c;
  }
  if (digits.empty() || digits.size() % 2 != 0) return false;
  bytes.clear();
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return true;
}

const std::string* Lookup(AdapterRuntime& adapter, const std::string& keyword) {
  const auto& parameters = adapter.config().parameters;
  auto found = parameters.find(keyword);
  return found == parameters.end() ? nullptr : &found->second;
}

}  // namespace

void NdisOpenConfiguration(PNDIS_STATUS Status, PNDIS_HANDLE ConfigurationHandle,
                           NDIS_HANDLE WrapperConfigurationContext) {
  AdapterRuntime& adapter =
      AdapterRuntime::fromConfigurationContext(WrapperConfigurationContext, "NdisOpenConfiguration");
  adapter.requirePassive("NdisOpenConfiguration");
  *ConfigurationHandle = adapter.openConfiguration();
  *Status = *ConfigurationHandle != nullptr ? NDIS_STATUS_SUCCESS : NDIS_STATUS_FAILURE;
}

void NdisReadConfiguration(PNDIS_STATUS Status, PNDIS_CONFIGURATION_PARAMETER* ParameterValue,
                           NDIS_HANDLE ConfigurationHandle, PNDIS_STRING Keyword, NDIS_PARAMETER_TYPE ParameterType) {
  auto* session = AdapterRuntime::configurationSessionOf(ConfigurationHandle, "NdisReadConfiguration");
  session->adapter->requirePassive("NdisReadConfiguration");
  *ParameterValue = nullptr;
  *Status = NDIS_STATUS_FAILURE;
  const std::string* text = Lookup(*session->adapter, Narrow(Keyword));
  if (text == nullptr) return;
  NDIS_CONFIGURATION_PARAMETER parameter{};
  parameter.ParameterType = ParameterType;
  switch (ParameterType) {
    case NdisParameterInteger:
    case NdisParameterHexInteger:
      if (!ndis::ParseConfigurationNumber(*text, ParameterType == NdisParameterHexInteger, parameter.ParameterData.IntegerData)) return;
      break;
    case NdisParameterString: {
      std::u16string& wide = session->texts.emplace_back(Widen(*text));
      const std::size_t bytes = std::min<std::size_t>(wide.size() * sizeof(WCHAR), 0xFFFE);
      parameter.ParameterData.StringData = UNICODE_STRING{static_cast<USHORT>(bytes), static_cast<USHORT>(bytes),
                                                          wide.data()};
      break;
    }
    default:
      return;  // the dictionary holds REG_SZ values only
  }
  *ParameterValue = &session->parameters.emplace_back(parameter);
  *Status = NDIS_STATUS_SUCCESS;
}

void NdisCloseConfiguration(NDIS_HANDLE ConfigurationHandle) {
  auto* session = AdapterRuntime::configurationSessionOf(ConfigurationHandle, "NdisCloseConfiguration");
  session->adapter->closeConfiguration(session);
}

void NdisReadNetworkAddress(PNDIS_STATUS Status, PVOID* NetworkAddress, PUINT NetworkAddressLength,
                            NDIS_HANDLE ConfigurationHandle) {
  auto* session = AdapterRuntime::configurationSessionOf(ConfigurationHandle, "NdisReadNetworkAddress");
  *NetworkAddress = nullptr;
  *NetworkAddressLength = 0;
  *Status = NDIS_STATUS_FAILURE;
  const std::string* text = Lookup(*session->adapter, "NetworkAddress");
  if (text == nullptr || !ParseAddress(*text, session->networkAddress)) return;
  *NetworkAddress = session->networkAddress.data();
  *NetworkAddressLength = static_cast<UINT>(session->networkAddress.size());
  *Status = NDIS_STATUS_SUCCESS;
}

void NdisInitUnicodeString(PNDIS_STRING Destination, PCWSTR Source) {
  std::size_t length = 0;
  if (Source != nullptr) {
    while (Source[length] != 0) ++length;
  }
  Destination->Buffer = const_cast<PWSTR>(Source);
  Destination->Length = static_cast<USHORT>(length * sizeof(WCHAR));
  Destination->MaximumLength = static_cast<USHORT>(Source != nullptr ? Destination->Length + sizeof(WCHAR) : 0);
}

void NdisInitAnsiString(PANSI_STRING Destination, PCSTR Source) {
  std::size_t length = 0;
  if (Source != nullptr) {
    while (Source[length] != 0) ++length;
  }
  Destination->Buffer = const_cast<PCHAR>(Source);
  Destination->Length = static_cast<USHORT>(length);
  Destination->MaximumLength = static_cast<USHORT>(Source != nullptr ? length + 1 : 0);
}

NDIS_STATUS NdisUnicodeStringToAnsiString(PANSI_STRING DestinationString, PCUNICODE_STRING SourceString) {
  const std::string narrow = Narrow(SourceString);
  const std::size_t room = DestinationString->Buffer != nullptr ? DestinationString->MaximumLength : 0;
  const std::size_t copied = std::min(narrow.size(), room);
  for (std::size_t i = 0; i < copied; ++i) DestinationString->Buffer[i] = narrow[i];
  if (copied < room) DestinationString->Buffer[copied] = '\0';
  DestinationString->Length = static_cast<USHORT>(copied);
  return copied == narrow.size() ? NDIS_STATUS_SUCCESS : NDIS_STATUS_BUFFER_OVERFLOW;
}
