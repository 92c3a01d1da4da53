#pragma once
// Auto Link without windows: which access points of a scan list offer it (the vendor element
// and its class), how the dialog names them, the profiles it pushes and the records of the
// SwiftBond exchange.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hosts/adapterctl/zelcon_records.h"
#include "utility/core/profile_entry.h"
#include "utility/core/profile_list.h"

namespace zelcon {

// Class 0: not yet configured; 1: configured by Auto Link; 2: the third kind (nothing to do).
struct AutoLinkAccessPoint {
  std::string ssid;
  int signal = 0;  // RSSI + 96, 0..40
  int apClass = 0;
  uint8_t flags = 0;
};

// The class of an entry's vendor element (OUI 02-5A-9C, type 0, subtype 0), or none when it
// does not offer Auto Link.
std::optional<int> AutoLinkClass(const SCAN_LIST_ENTRY& entry);

// The access points of a scan list that offer Auto Link, strongest first (equal signals in
// scan order). Class-1 access points already covered by a profile are left out.
std::vector<AutoLinkAccessPoint> FindAutoLinkAccessPoints(std::span<const uint8_t> scanList,
                                                          const ProfileList& profiles);

// "Office (Rssi=75%)", and back: the SSID is the text before the last " (Rssi=".
std::string AutoLinkComboText(const AutoLinkAccessPoint& ap);
std::string SsidOfAutoLinkComboText(std::string_view text);

// A PIN is a passphrase of 8 to 63 characters (64 is let through, as the adapter takes it).
bool IsAutoLinkPinLength(size_t length);

// The open profile the adapter joins for the exchange.
PROFILE_ENTRY OpenAutoLinkProfile(std::string_view ssid);
// The WPA-PSK/TKIP profile Auto Link ends with: the PIN is its passphrase.
PROFILE_ENTRY FinalAutoLinkProfile(std::string_view ssid, std::string_view pin);

// The adapter's address as the exchange hands it over: DHCP or static, IPv4 first octet first.
struct AdapterAddress {
  bool dhcp = false;
  uint8_t ipv4[4] = {};
};
// "10.0.0.5" as four octets; text that is not a dotted quad gives 0.0.0.0.
AdapterAddress ParseAdapterAddress(bool dhcp, std::string_view text);

HLVN_SWIFTBOND_SEC_INFO MakeSwiftBondSecurity(uint8_t flags, std::string_view pin,
                                              const AdapterAddress& address);
HLVN_SWIFTBOND_SETUP_REQ MakeSwiftBondSetup(uint8_t flags);

// The SSID the access point reported after the exchange, or none when its length is bad.
std::optional<std::string> SwiftBondApSsid(const HLVN_SWIFTBOND_AP_INFO& info);

}  // namespace zelcon
