#include "utility/ui/adapter_ip_entry.h"

#include <algorithm>
#include <cstdint>

#include "platform/gui/platform.h"
#include "utility/ui/zelcon_app.h"

std::optional<zfw::IpAdapterInfo> AdapterIpEntry(IAdapterControl& lib, void* adapter) {
  uint8_t mac[6] = {};
  if (!zfw::platform().ipHelper || lib.GetMacAddress(adapter, mac, sizeof mac) != 0) return std::nullopt;
  for (const zfw::IpAdapterInfo& info : zfw::platform().ipHelper->adapters()) {
    if (info.address.size() == 6 && std::equal(info.address.begin(), info.address.end(), mac))
      return info;
  }
  return std::nullopt;
}

bool AdapterUsesDhcp(IAdapterControl& lib, void* adapter, const zfw::IpAdapterInfo& entry, int osVersion) {
  if (osVersion == kOsWin9x) return lib.QueryDhcp9x(adapter) != 0;
  return entry.dhcpEnabled;
}
