#pragma once
// The adapter's network interface as the IP helper reports it, found by the adapter's MAC:
// the status page shows its addresses and Auto Link hands its address to the access point.
#include <optional>

#include "hosts/adapterctl/adapter_control.h"
#include "platform/gui/desktop/ip_helper.h"

// The first entry whose 6-byte hardware address is the adapter's MAC; none without one.
std::optional<zfw::IpAdapterInfo> AdapterIpEntry(IAdapterControl& lib, void* adapter);
// Whether the adapter's address is leased: Windows 9x asks the library, the others the entry.
bool AdapterUsesDhcp(IAdapterControl& lib, void* adapter, const zfw::IpAdapterInfo& entry, int osVersion);
