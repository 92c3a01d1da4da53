#include "platform/gui/desktop/netlink_messages.h"

#include <cstring>
#include <sys/socket.h>

#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>

namespace zfw {
namespace {

constexpr size_t align4(size_t n) { return (n + 3) & ~size_t{3}; }

template <class T>
bool readAt(const uint8_t* data, size_t size, size_t offset, T& out) {
  if (offset > size || size - offset < sizeof(T)) return false;
  std::memcpy(&out, data + offset, sizeof(T));
  return true;
}

// Calls `visit(type, payload, length)` for each attribute in [data, data + size).
template <class Visit>
bool forEachAttribute(const uint8_t* data, size_t size, Visit visit) {
  size_t offset = 0;
  while (size - offset >= sizeof(rtattr)) {
    rtattr attr;
    std::memcpy(&attr, data + offset, sizeof attr);
    if (attr.rta_len < sizeof(rtattr) || attr.rta_len > size - offset) return false;
    visit(attr.rta_type, data + offset + sizeof(rtattr), attr.rta_len - sizeof(rtattr));
    offset += align4(attr.rta_len);
    if (offset > size) break;
  }
  return true;
}

bool parseLink(const uint8_t* payload, size_t size, bool removed, NetlinkBatch& out) {
  ifinfomsg info;
  if (!readAt(payload, size, 0, info)) return false;
  LinkMessage link;
  link.removed = removed;
  link.index = info.ifi_index;
  link.type = info.ifi_type;
  link.flags = info.ifi_flags;
  const size_t start = align4(sizeof info);
  if (start > size) return false;
  const bool ok = forEachAttribute(payload + start, size - start, [&](uint16_t type, const uint8_t* p, size_t n) {
    if (type == IFLA_IFNAME) link.name.assign(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), n));
  });
  if (!ok) return false;
  out.links.push_back(std::move(link));
  return true;
}

bool parseAddress(const uint8_t* payload, size_t size, bool removed, NetlinkBatch& out) {
  ifaddrmsg info;
  if (!readAt(payload, size, 0, info)) return false;
  AddressMessage addr;
  addr.removed = removed;
  addr.family = info.ifa_family;
  addr.prefixLength = info.ifa_prefixlen;
  addr.index = static_cast<int32_t>(info.ifa_index);
  addr.flags = info.ifa_flags;
  const size_t want = info.ifa_family == AF_INET6 ? 16 : 4;
  bool haveLocal = false;
  const size_t start = align4(sizeof info);
  if (start > size) return false;
  const bool ok = forEachAttribute(payload + start, size - start, [&](uint16_t type, const uint8_t* p, size_t n) {
    if (type == IFA_FLAGS && n >= 4) std::memcpy(&addr.flags, p, 4);
    // IFA_LOCAL is the interface's own address; IFA_ADDRESS is the peer's on point-to-point links.
    if ((type == IFA_LOCAL || (type == IFA_ADDRESS && !haveLocal)) && n >= want) {
      std::memcpy(addr.address.data(), p, want);
      addr.hasAddress = true;
      haveLocal = haveLocal || type == IFA_LOCAL;
    }
  });
  if (!ok) return false;
  out.addresses.push_back(addr);
  return true;
}

}  // namespace

bool parseNetlink(const uint8_t* data, size_t size, NetlinkBatch& out) {
  size_t offset = 0;
  while (size - offset >= sizeof(nlmsghdr)) {
    nlmsghdr header;
    std::memcpy(&header, data + offset, sizeof header);
    if (header.nlmsg_len < sizeof header || header.nlmsg_len > size - offset) return false;
    const uint8_t* payload = data + offset + sizeof header;
    const size_t length = header.nlmsg_len - sizeof header;
    switch (header.nlmsg_type) {
      case NLMSG_DONE:
        out.done = true;
        return true;
      case NLMSG_ERROR: {
        nlmsgerr error;
        if (!readAt(payload, length, 0, error)) return false;
        if (error.error != 0) out.error = true;
        break;
      }
      case RTM_NEWLINK:
      case RTM_DELLINK:
        if (!parseLink(payload, length, header.nlmsg_type == RTM_DELLINK, out)) return false;
        break;
      case RTM_NEWADDR:
      case RTM_DELADDR:
        if (!parseAddress(payload, length, header.nlmsg_type == RTM_DELADDR, out)) return false;
        break;
      default:
        break;
    }
    const size_t step = align4(header.nlmsg_len);
    if (step > size - offset) break;
    offset += step;
  }
  return true;
}

}  // namespace zfw
