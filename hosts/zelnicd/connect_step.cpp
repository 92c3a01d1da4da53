#include "hosts/zelnicd/connect_step.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/ndis/ntddndis.h"

namespace zelnicd {
namespace {

constexpr ULONG kDirectedMulticastBroadcast = 0x0B;
constexpr std::uint32_t kMaxSsidBytes = 32;
constexpr auto kConnectWait = std::chrono::seconds(30);

std::string MacText(const std::uint8_t* mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
  return text;
}

// The channel and fastest rate of `bssid` in the adapter's BSSID list; false when absent.
bool DescribeBss(ndis::NdisHost& host, const std::uint8_t* bssid, unsigned& channel, double& rateMbps) {
  constexpr std::size_t kListBytes = 30843;
  const ndis::OidResult list = host.query(OID_802_11_BSSID_LIST, kListBytes);
  if (list.status != NDIS_STATUS_SUCCESS || list.bytesDone < 4) return false;
  const std::uint8_t* at = list.data.data();
  const std::uint8_t* end = at + list.bytesDone;
  ULONG count = 0;
  std::memcpy(&count, at, 4);
  at += 4;
  for (ULONG i = 0; i < count && end - at >= static_cast<std::ptrdiff_t>(offsetof(NDIS_WLAN_BSSID_EX, IEs)); ++i) {
    NDIS_WLAN_BSSID_EX entry;
    std::memcpy(&entry, at, offsetof(NDIS_WLAN_BSSID_EX, IEs));
    if (entry.Length == 0 || entry.Length > static_cast<ULONG>(end - at)) return false;
    if (std::memcmp(entry.MacAddress, bssid, 6) == 0) {
      const ULONG khz = entry.Configuration.DSConfig;
      channel = khz == 2484000 ? 14 : (khz - 2407000) / 5000;
      unsigned best = 0;
      for (UCHAR rate : entry.SupportedRates) best = std::max<unsigned>(best, rate & 0x7F);
      rateMbps = best / 2.0;
      return true;
    }
    at += entry.Length;
  }
  return false;
}

}  // namespace

bool ConnectToSsid(ndis::NdisHost& host, const std::string& ssid, std::ostream& out) {
  if (ssid.size() > kMaxSsidBytes) {
    out << "zelnicd: --connect: an SSID has at most 32 bytes" << std::endl;
    return false;
  }
  std::uint8_t filter[4];
  std::memcpy(filter, &kDirectedMulticastBroadcast, 4);
  const ndis::OidResult filtered = host.set(OID_GEN_CURRENT_PACKET_FILTER, filter);
  if (filtered.status != NDIS_STATUS_SUCCESS)
    out << "zelnicd: packet filter not set: status 0x" << std::hex << filtered.status << std::dec << std::endl;

  std::vector<std::uint8_t> record(4 + ssid.size());
  const auto length = static_cast<ULONG>(ssid.size());
  std::memcpy(record.data(), &length, 4);
  std::memcpy(record.data() + 4, ssid.data(), ssid.size());
  out << "zelnicd: connecting to \"" << ssid << "\"" << std::endl;
  const ndis::OidResult set = host.set(OID_802_11_SSID, record, kConnectWait);
  if (set.timedOut || set.status != NDIS_STATUS_SUCCESS) {
    out << "zelnicd: connect to \"" << ssid << "\" failed" << (set.timedOut ? " (no answer)" : "") << std::endl;
    return false;
  }
  const ndis::OidResult bssid = host.query(OID_802_11_BSSID, 6);
  if (bssid.status != NDIS_STATUS_SUCCESS || bssid.bytesDone != 6) {
    out << "zelnicd: connect to \"" << ssid << "\" answered, but no BSSID" << std::endl;
    return false;
  }
  unsigned channel = 0;
  double rate = 0;
  const bool described = DescribeBss(host, bssid.data.data(), channel, rate);
  out << "zelnicd: media connect: \"" << ssid << "\" BSSID " << MacText(bssid.data.data());
  if (described) out << " channel " << channel << " rate " << rate << " Mbit/s";
  out << std::endl;
  return true;
}

}  // namespace zelnicd
