// Registry text as the runtime parses it for a miniport: numbers of both kinds, strings
// (UTF-8 to UTF-16 and down to single bytes into buffers of every small size) and the
// network address.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ndis/test_miniport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ndis::AdapterConfig config;
  config.parameters["Value"] = text;
  config.parameters["NetworkAddress"] = text;
  ndis::testing::TestAdapter a(config);
  if (a.host->initialize() != NDIS_STATUS_SUCCESS) return 0;
  a.run(PASSIVE_LEVEL, [&] {
    NDIS_STATUS status;
    NDIS_HANDLE handle;
    NdisOpenConfiguration(&status, &handle, a.miniport.configuration);
    NDIS_STRING keyword;
    NdisInitUnicodeString(&keyword, u"Value");
    for (NDIS_PARAMETER_TYPE type : {NdisParameterInteger, NdisParameterHexInteger, NdisParameterString}) {
      PNDIS_CONFIGURATION_PARAMETER parameter = nullptr;
      NdisReadConfiguration(&status, &parameter, handle, &keyword, type);
      if (status != NDIS_STATUS_SUCCESS || type != NdisParameterString) continue;
      char narrow[101];
      for (USHORT room : {USHORT{0}, USHORT{1}, USHORT{7}, USHORT{101}}) {
        ANSI_STRING ansi{0, room, narrow};
        NdisUnicodeStringToAnsiString(&ansi, &parameter->ParameterData.StringData);
        if (ansi.Length > room) __builtin_trap();
      }
    }
    PVOID address = nullptr;
    UINT length = 0;
    NdisReadNetworkAddress(&status, &address, &length, handle);
    if (status == NDIS_STATUS_SUCCESS && length * 2 > size) __builtin_trap();
    NdisCloseConfiguration(handle);
  });
  a.host->halt();
  return 0;
}
