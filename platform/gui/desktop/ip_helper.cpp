#include "platform/gui/desktop/ip_helper.h"

#include <arpa/inet.h>
#include <fstream>
#include <ifaddrs.h>
#include <linux/if_addr.h>
#include <linux/if_arp.h>
#include <linux/if_link.h>
#include <linux/if_packet.h>
#include <linux/rtnetlink.h>
#include <map>
#include <sstream>

#include "platform/gui/desktop/netlink_socket.h"

namespace zfw {
namespace {

std::string ipv4Text(uint32_t networkOrder) {
  char text[INET_ADDRSTRLEN] = "0.0.0.0";
  in_addr a{networkOrder};
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

struct Interface {
  std::string name;
  uint32_t index = 0;
  uint16_t hardwareType = 0;
  std::vector<uint8_t> address;
  uint32_t rxBytes = 0, txBytes = 0;
  bool haveIpv4 = false;
  uint32_t ip = 0, mask = 0;
};

// Every interface by index, from getifaddrs (link entries first, then the first IPv4 address).
std::map<uint32_t, Interface> interfaces() {
  std::map<uint32_t, Interface> result;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return result;
  std::map<std::string, uint32_t> byName;
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(a->ifa_addr);
    Interface& i = result[static_cast<uint32_t>(link->sll_ifindex)];
    i.name = a->ifa_name;
    i.index = static_cast<uint32_t>(link->sll_ifindex);
    i.hardwareType = link->sll_hatype;
    i.address.assign(link->sll_addr, link->sll_addr + std::min<size_t>(link->sll_halen, sizeof link->sll_addr));
    if (a->ifa_data) {
      const auto* stats = static_cast<const rtnl_link_stats*>(a->ifa_data);
      i.rxBytes = stats->rx_bytes;
      i.txBytes = stats->tx_bytes;
    }
    byName[i.name] = i.index;
  }
  for (ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
    auto it = byName.find(a->ifa_name);
    if (it == byName.end()) continue;
    Interface& i = result[it->second];
    if (i.haveIpv4) continue;
    i.haveIpv4 = true;
    i.ip = reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr;
    if (a->ifa_netmask) i.mask = reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr;
  }
  freeifaddrs(list);
  return result;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> LinuxIpHelper::defaultGateways(const std::string& routeTable) {
  std::vector<std::pair<std::string, std::string>> result;
  std::istringstream lines(routeTable);
  std::string line;
  std::getline(lines, line);  // the heading
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string iface, destination, gateway, flags;
    if (!(fields >> iface >> destination >> gateway >> flags)) continue;
    if (destination != "00000000" || gateway.size() != 8) continue;
    uint32_t value = 0;
    bool hex = true;
    for (char c : gateway) {
      const int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
      if (digit < 0) hex = false;
      value = (value << 4) | static_cast<uint32_t>(digit < 0 ? 0 : digit);
    }
    // The kernel prints the stored address (network byte order) as a host-order number,
    // so the number read back is that stored value again.
    if (hex) result.emplace_back(iface, ipv4Text(value));
  }
  return result;
}

std::vector<IpAdapterInfo> LinuxIpHelper::adapters() {
  std::vector<IpAdapterInfo> result;
  std::map<uint32_t, Interface> all = interfaces();
  // Leased addresses have a finite lifetime: they lack IFA_F_PERMANENT.
  std::map<uint32_t, bool> leased;
  NetlinkBatch addresses;
  if (dumpNetlink(RTM_GETADDR, addresses)) {
    for (const AddressMessage& a : addresses.addresses) {
      if (a.family == AF_INET && !leased.count(static_cast<uint32_t>(a.index))) {
        leased[static_cast<uint32_t>(a.index)] = (a.flags & IFA_F_PERMANENT) == 0;
      }
    }
  }
  std::ifstream routeFile("/proc/net/route");
  std::stringstream routes;
  routes << routeFile.rdbuf();
  const auto gateways = defaultGateways(routes.str());
  for (const auto& [index, i] : all) {
    if (i.hardwareType == ARPHRD_LOOPBACK) continue;
    IpAdapterInfo info;
    info.name = i.name;
    info.index = index;
    info.address = i.address;
    info.dhcpEnabled = leased.count(index) && leased[index];
    if (i.haveIpv4) {
      info.ipAddress = ipv4Text(i.ip);
      info.ipMask = ipv4Text(i.mask);
    }
    for (const auto& [iface, gw] : gateways) {
      if (iface == i.name) {
        info.gateway = gw;
        break;
      }
    }
    result.push_back(std::move(info));
  }
  return result;
}

std::optional<IfRow> LinuxIpHelper::ifEntry(uint32_t index) {
  std::map<uint32_t, Interface> all = interfaces();
  auto it = all.find(index);
  if (it == all.end()) return std::nullopt;
  IfRow row;
  row.index = index;
  row.type = it->second.hardwareType == ARPHRD_ETHER ? IF_TYPE_ETHERNET_CSMACD : IF_TYPE_OTHER;
  row.physAddress = it->second.address;
  row.inOctets = it->second.rxBytes;
  row.outOctets = it->second.txBytes;
  return row;
}

}  // namespace zfw
