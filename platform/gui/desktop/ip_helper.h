#pragma once
// The network adapters as the IP helper reports them: per adapter its hardware address,
// DHCP flag, first IPv4 address, mask and default gateway; per interface its type and
// octet counters. Linux: getifaddrs, rtnetlink and /proc/net/route.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zfw {

enum : uint32_t { IF_TYPE_OTHER = 1, IF_TYPE_ETHERNET_CSMACD = 6 };

struct IpAdapterInfo {
  std::string name;              // interface name
  uint32_t index = 0;            // interface index (for ifEntry)
  std::vector<uint8_t> address;  // hardware address (6 bytes for Ethernet and 802.11)
  bool dhcpEnabled = false;      // the address was leased (it has a finite lifetime)
  std::string ipAddress = "0.0.0.0";
  std::string ipMask = "0.0.0.0";
  std::string gateway = "0.0.0.0";
};

struct IfRow {
  uint32_t index = 0;
  uint32_t type = IF_TYPE_OTHER;
  std::vector<uint8_t> physAddress;
  uint32_t inOctets = 0;   // 32-bit counters: they wrap
  uint32_t outOctets = 0;
};

class IIpHelper {
 public:
  virtual ~IIpHelper() = default;
  virtual std::vector<IpAdapterInfo> adapters() = 0;
  virtual std::optional<IfRow> ifEntry(uint32_t index) = 0;
};

class LinuxIpHelper final : public IIpHelper {
 public:
  std::vector<IpAdapterInfo> adapters() override;
  std::optional<IfRow> ifEntry(uint32_t index) override;

  // Default gateways by interface from the text of /proc/net/route ("0.0.0.0" absent).
  static std::vector<std::pair<std::string, std::string>> defaultGateways(const std::string& routeTable);
};

}  // namespace zfw
