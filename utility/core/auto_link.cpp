#include "utility/core/auto_link.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "utility/core/scan_records.h"

namespace zelcon {
namespace {

constexpr uint8_t kVendorElementId = 221;
constexpr uint8_t kAutoLinkOui[3] = {0x02, 0x5A, 0x9C};
constexpr int kMaxSignal = 40;

// The 128-byte block the security record carries to the access point unchanged: this
// program's own constant, the same in every record.
constexpr uint8_t kSecurityBlockSeed[] = "Zelcon Auto Link security block ";

}  // namespace

std::optional<int> AutoLinkClass(const SCAN_LIST_ENTRY& e) {
  const uint8_t* v = e.Vendor;
  if (v[0] != kVendorElementId || std::memcmp(v + 2, kAutoLinkOui, 3) != 0) return std::nullopt;
  if (v[5] != 0 || v[6] != 0) return std::nullopt;  // type 0, subtype 0
  const uint8_t flags = v[7];
  if (flags & 0x01) return 0;
  if (flags & 0x02) return 1;
  if (flags & 0x04) return 2;
  return std::nullopt;
}

std::vector<AutoLinkAccessPoint> FindAutoLinkAccessPoints(std::span<const uint8_t> scanList,
                                                          const ProfileList& profiles) {
  std::vector<AutoLinkAccessPoint> found;
  for (const SCAN_LIST_ENTRY& e : ParseScanList(scanList)) {
    const std::optional<std::string_view> ssid = ScanEntrySsid(e);
    if (!ssid || e.InfrastructureMode == 0) continue;
    const std::optional<int> apClass = AutoLinkClass(e);
    if (!apClass) continue;
    if (*apClass == 1) {
      bool covered = false;
      for (size_t i = 0; i < profiles.Size() && !covered; ++i) {
        const PROFILE_ENTRY& p = profiles.At(i);
        covered = p.networkType == e.InfrastructureMode && ProfileSsid(p).starts_with(*ssid);
      }
      if (covered) continue;
    }
    AutoLinkAccessPoint ap;
    ap.ssid = std::string(*ssid);
    ap.signal = SignalAboveNoiseFloor(e.Rssi, kMaxSignal);
    ap.apClass = *apClass;
    ap.flags = e.Vendor[7];
    auto at = std::find_if(found.begin(), found.end(),
                           [&](const AutoLinkAccessPoint& f) { return f.signal < ap.signal; });
    found.insert(at, std::move(ap));
  }
  return found;
}

std::string AutoLinkComboText(const AutoLinkAccessPoint& ap) {
  return ap.ssid + " (Rssi=" + std::to_string(ap.signal * 100 / kMaxSignal) + "%)";
}

std::string SsidOfAutoLinkComboText(std::string_view text) {
  const size_t at = text.rfind(" (Rssi=");
  return std::string(at == std::string_view::npos ? text : text.substr(0, at));
}

bool IsAutoLinkPinLength(size_t length) { return length >= 8 && length <= 64; }

PROFILE_ENTRY OpenAutoLinkProfile(std::string_view ssid) {
  PROFILE_ENTRY p{};
  SetFieldText(p.ssid, ssid);
  p.networkType = 1;
  p.authMode = kAuthOpen;
  p.encryption = 0;
  p.wlanMode = 255;
  return p;
}

PROFILE_ENTRY FinalAutoLinkProfile(std::string_view ssid, std::string_view pin) {
  PROFILE_ENTRY p{};
  SetFieldText(p.name, ssid);
  SetFieldText(p.ssid, ssid);
  p.prefer = 1;
  p.keepAdapterDefaults = 1;
  p.networkType = 1;
  p.authMode = kAuthWpaPsk;
  p.encryption = 2;  // TKIP
  const size_t length = std::min(pin.size(), sizeof p.wpa.passphrase);
  if (length > 0) std::memcpy(p.wpa.passphrase, pin.data(), length);
  p.wpa.passphraseLength = static_cast<uint32_t>(length);
  return p;
}

AdapterAddress ParseAdapterAddress(bool dhcp, std::string_view text) {
  AdapterAddress address;
  address.dhcp = dhcp;
  uint8_t octets[4] = {};
  const char* at = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 4; ++i) {
    unsigned value = 0;
    auto [next, error] = std::from_chars(at, end, value);
    if (error != std::errc() || value > 255) return address;
    octets[i] = static_cast<uint8_t>(value);
    at = next;
    if (i < 3) {
      if (at == end || *at != '.') return address;
      ++at;
    }
  }
  if (at != end) return address;
  std::memcpy(address.ipv4, octets, 4);
  return address;
}

HLVN_SWIFTBOND_SEC_INFO MakeSwiftBondSecurity(uint8_t flags, std::string_view pin,
                                              const AdapterAddress& address) {
  HLVN_SWIFTBOND_SEC_INFO r{};
  r.Length = sizeof r;
  r.Flags = flags;
  if (!pin.empty()) std::memcpy(r.Pin, pin.data(), std::min(pin.size(), sizeof r.Pin));
  for (size_t i = 0; i < sizeof r.SecurityBlock; ++i)
    r.SecurityBlock[i] = kSecurityBlockSeed[i % (sizeof kSecurityBlockSeed - 1)];
  r.SecurityWord = address.dhcp ? 2 : 1;
  std::memcpy(r.Address, address.ipv4, 4);
  return r;
}

HLVN_SWIFTBOND_SETUP_REQ MakeSwiftBondSetup(uint8_t flags) {
  HLVN_SWIFTBOND_SETUP_REQ r{};
  r.Length = sizeof r;
  r.Flags = flags;
  r.Action = 1;
  r.KeyType = 1;
  r.KeyIndex = 0;
  return r;
}

std::optional<std::string> SwiftBondApSsid(const HLVN_SWIFTBOND_AP_INFO& info) {
  if (info.SsidLength > sizeof info.Ssid) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(info.Ssid), info.SsidLength);
}

}  // namespace zelcon
