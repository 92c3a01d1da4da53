#pragma once
// Bounds-checked reading of rtnetlink messages (links and addresses) as the kernel sends
// them; the device watcher and the IP helper use it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zfw {

struct LinkMessage {
  bool removed = false;  // RTM_DELLINK (else RTM_NEWLINK)
  int32_t index = 0;
  uint16_t type = 0;     // ARPHRD_*
  uint32_t flags = 0;    // IFF_*
  std::string name;      // IFLA_IFNAME, empty when absent
};

struct AddressMessage {
  bool removed = false;  // RTM_DELADDR (else RTM_NEWADDR)
  uint8_t family = 0;    // AF_INET, AF_INET6
  uint8_t prefixLength = 0;
  int32_t index = 0;
  uint32_t flags = 0;    // IFA_F_*, from IFA_FLAGS when present
  std::array<uint8_t, 16> address{};  // IFA_LOCAL, else IFA_ADDRESS; the first 4 bytes for AF_INET
  bool hasAddress = false;
};

struct NetlinkBatch {
  std::vector<LinkMessage> links;
  std::vector<AddressMessage> addresses;
  bool done = false;   // NLMSG_DONE seen (end of a dump)
  bool error = false;  // NLMSG_ERROR with a non-zero code
};

// Reads every message of one datagram. False when a message is malformed; the messages
// before it are kept.
bool parseNetlink(const uint8_t* data, size_t size, NetlinkBatch& out);

}  // namespace zfw
