#pragma once
// LINK_STATUS: what the pages show of the link, refreshed from the adapter.
#include <cstdint>
#include <mutex>

#include "hosts/adapterctl/adapter_control.h"

namespace zelcon {

struct LINK_STATUS {
  uint32_t connected;     // 1 associated (or IBSS up)
  uint32_t adHocUp;       // ad hoc mode with a non-empty SSID
  char ssid[33];          // as the library returns it, terminated
  uint8_t bssid[6];       // all zero: not associated
  uint32_t networkMode;   // 1 infrastructure, 0 ad hoc
  uint32_t wepStatus;
  uint32_t channel;
  uint32_t frequencyMhz;
  uint32_t wlanMode;      // 2 (802.11a) for 5 GHz channels
  uint32_t authMode;
  uint32_t regionCode;    // the last three survive a refresh
  uint32_t firstChannel;
  uint32_t lastChannel;
};

// Tray states the refresh leads to.
enum TrayState : int { kTrayUnplugged = 0, kTrayConnected = 1, kTrayNoConnection = 2 };

// Refreshes `link` from the adapter (`connected` as the caller found it) and answers the tray
// state to show. Without an adapter only the region fields survive.
TrayState QueryLinkStatus(IAdapterControl& lib, void* adapter, uint32_t connected,
                          LINK_STATUS& link);

// The same for a link status other threads read under `stateMutex`: the adapter is queried
// into a copy with the lock released, and the copy is stored under it.
TrayState QueryLinkStatus(IAdapterControl& lib, void* adapter, uint32_t connected,
                          LINK_STATUS& link, std::recursive_mutex& stateMutex);

}  // namespace zelcon
