#pragma once
// The elements the supplicant needs from the driver's answers, read from untrusted bytes with
// every offset checked: the association request's and response's elements (from the
// association information record), the access point's elements (from the extended scan
// list), and of those the WPA and RSN elements the 4-way handshake compares.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zelcon {

struct AssociationElements {
  std::vector<uint8_t> request;   // elements of the (re)association request
  std::vector<uint8_t> response;  // elements of the (re)association response
};

// The record of OID_802_11_ASSOCIATION_INFORMATION; nullopt when its offsets or lengths run
// outside `record`.
std::optional<AssociationElements> ParseAssociationInformation(std::span<const uint8_t> record);

// The elements (after the 12 fixed beacon bytes) of the entry for `bssid` in the extended
// scan list ({u32 count, NDIS_WLAN_BSSID_EX entries}); nullopt when it is not there.
std::optional<std::vector<uint8_t>> BeaconElements(std::span<const uint8_t> list,
                                                   std::span<const uint8_t, 6> bssid);

// The access points of the network `ssid` in the extended scan list that announce an RSN
// element: the PMKID candidates of the station's PMKSA cache. The walk stops at an entry
// that runs past the end.
std::vector<std::array<uint8_t, 6>> RsnAccessPoints(std::span<const uint8_t> list, std::span<const uint8_t> ssid);

// The RSN element and the WPA vendor element of `elements`, whole, in the order found;
// the walk stops at an element that runs past the end.
std::vector<uint8_t> SecurityElements(std::span<const uint8_t> elements);

}  // namespace zelcon
