#include "platform/gui/desktop/netlink_messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <vector>

namespace zfw {
namespace {

using Bytes = std::vector<uint8_t>;

void pad(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}

template <class T>
void put(Bytes& b, const T& v) {
  const auto* p = reinterpret_cast<const uint8_t*>(&v);
  b.insert(b.end(), p, p + sizeof v);
}

void attribute(Bytes& b, uint16_t type, const void* data, size_t n) {
  rtattr a{static_cast<unsigned short>(sizeof(rtattr) + n), type};
  put(b, a);
  b.insert(b.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + n);
  pad(b);
}

// One netlink message: header, fixed part, attributes.
template <class Fixed>
Bytes message(uint16_t type, const Fixed& fixed, const Bytes& attributes) {
  Bytes body;
  put(body, fixed);
  pad(body);
  body.insert(body.end(), attributes.begin(), attributes.end());
  nlmsghdr h{};
  h.nlmsg_len = static_cast<uint32_t>(sizeof h + body.size());
  h.nlmsg_type = type;
  Bytes out;
  put(out, h);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes link(uint16_t type, int index, const char* name) {
  ifinfomsg info{};
  info.ifi_index = index;
  Bytes attrs;
  attribute(attrs, IFLA_IFNAME, name, std::strlen(name) + 1);
  return message(type, info, attrs);
}

TEST(Netlink, ReadsLinksAndAddressesOfOneDatagram) {
  Bytes data = link(RTM_NEWLINK, 3, "wlan0");
  const Bytes removed = link(RTM_DELLINK, 4, "eth9");
  data.insert(data.end(), removed.begin(), removed.end());
  ifaddrmsg addr{};
  addr.ifa_family = AF_INET;
  addr.ifa_index = 3;
  addr.ifa_flags = IFA_F_PERMANENT;
  Bytes attrs;
  const uint8_t peer[4] = {10, 0, 0, 99}, local[4] = {192, 168, 1, 20};
  const uint32_t flags = 0;  // the full flags word overrides the 8-bit field
  attribute(attrs, IFA_ADDRESS, peer, 4);
  attribute(attrs, IFA_LOCAL, local, 4);
  attribute(attrs, IFA_FLAGS, &flags, 4);
  const Bytes address = message(RTM_NEWADDR, addr, attrs);
  data.insert(data.end(), address.begin(), address.end());
  nlmsghdr done{sizeof(nlmsghdr), NLMSG_DONE, 0, 0, 0};
  put(data, done);

  NetlinkBatch batch;
  ASSERT_TRUE(parseNetlink(data.data(), data.size(), batch));
  ASSERT_EQ(batch.links.size(), 2u);
  EXPECT_EQ(batch.links[0].name, "wlan0");
  EXPECT_EQ(batch.links[0].index, 3);
  EXPECT_FALSE(batch.links[0].removed);
  EXPECT_TRUE(batch.links[1].removed);
  ASSERT_EQ(batch.addresses.size(), 1u);
  EXPECT_EQ(batch.addresses[0].flags, 0u);
  EXPECT_EQ(std::memcmp(batch.addresses[0].address.data(), local, 4), 0);  // the local address wins
  EXPECT_TRUE(batch.done);
}

TEST(Netlink, MalformedMessagesStopTheReadAndKeepWhatCameBefore) {
  const Bytes good = link(RTM_NEWLINK, 1, "lo");
  struct Case {
    const char* name;
    Bytes tail;
  };
  Bytes longerThanData = link(RTM_NEWLINK, 2, "x");
  longerThanData[0] += 8;  // the length claims more than there is
  Bytes shortHeader = link(RTM_NEWLINK, 2, "x");
  std::memset(shortHeader.data(), 0, 4);  // a length below the header
  shortHeader[0] = 4;
  Bytes badAttribute = link(RTM_NEWLINK, 2, "x");
  badAttribute[sizeof(nlmsghdr) + sizeof(ifinfomsg)] = 200;  // an attribute longer than its message
  const Bytes truncatedFixed = message(RTM_NEWLINK, uint16_t{0}, Bytes{});  // shorter than ifinfomsg
  const Case cases[] = {{"too long", longerThanData},
                        {"too short", shortHeader},
                        {"bad attribute", badAttribute},
                        {"no room for the fixed part", truncatedFixed}};
  for (const Case& c : cases) {
    Bytes data = good;
    data.insert(data.end(), c.tail.begin(), c.tail.end());
    NetlinkBatch batch;
    EXPECT_FALSE(parseNetlink(data.data(), data.size(), batch)) << c.name;
    ASSERT_EQ(batch.links.size(), 1u) << c.name;
    EXPECT_EQ(batch.links[0].name, "lo") << c.name;
  }
  // A name without its terminating zero stops at the attribute's end.
  ifinfomsg plain{};
  Bytes attrs;
  attribute(attrs, IFLA_IFNAME, "abcd", 4);
  Bytes unterminated = message(RTM_NEWLINK, plain, attrs);
  NetlinkBatch batch;
  ASSERT_TRUE(parseNetlink(unterminated.data(), unterminated.size(), batch));
  EXPECT_EQ(batch.links.at(0).name, "abcd");
}

TEST(Netlink, AnErrorAnswerIsReported) {
  nlmsgerr error{};
  error.error = -1;
  const Bytes data = message(NLMSG_ERROR, error, Bytes{});
  NetlinkBatch batch;
  EXPECT_TRUE(parseNetlink(data.data(), data.size(), batch));
  EXPECT_TRUE(batch.error);
}

}  // namespace
}  // namespace zfw
