#include "utility/core/link_status.h"

#include <algorithm>
#include <cstring>

namespace zelcon {
namespace {

void ResetKeepingRegion(LINK_STATUS& link) {
  LINK_STATUS kept{};
  kept.regionCode = link.regionCode;
  kept.firstChannel = link.firstChannel;
  kept.lastChannel = link.lastChannel;
  link = kept;
}

}  // namespace

TrayState QueryLinkStatus(IAdapterControl& lib, void* adapter, uint32_t connected,
                          LINK_STATUS& link) {
  ResetKeepingRegion(link);
  if (!adapter) return kTrayUnplugged;
  link.connected = connected;
  lib.QueryNetworkMode(adapter, link.networkMode);
  lib.QueryAuthMode(adapter, link.authMode);
  lib.QueryWepStatus(adapter, link.wepStatus);
  lib.QueryBssid(adapter, link.bssid, 6);
  lib.QueryChannel(adapter, link.channel);
  if (link.channel >= 1 && link.channel <= 14) {
    link.frequencyMhz = link.channel == 14 ? 2484 : 2407 + 5 * link.channel;
    lib.QueryWlanMode(adapter, link.wlanMode);
  } else {
    link.frequencyMhz = 5000 + 5 * link.channel;
    link.wlanMode = 2;
  }
  lib.QuerySsid(adapter, link.ssid, 32);
  link.ssid[32] = '\0';
  if (std::all_of(link.bssid, link.bssid + 6, [](uint8_t b) { return b == 0; })) {
    ResetKeepingRegion(link);
    connected = 0;
  }
  link.adHocUp = link.networkMode == 0 && link.ssid[0] != '\0';
  return connected ? kTrayConnected : kTrayNoConnection;
}

TrayState QueryLinkStatus(IAdapterControl& lib, void* adapter, uint32_t connected,
                          LINK_STATUS& link, std::recursive_mutex& stateMutex) {
  LINK_STATUS fresh;
  {
    std::lock_guard lock(stateMutex);
    fresh = link;  // the region and channel range are kept from it
  }
  const TrayState tray = QueryLinkStatus(lib, adapter, connected, fresh);
  std::lock_guard lock(stateMutex);
  link = fresh;
  return tray;
}

}  // namespace zelcon
