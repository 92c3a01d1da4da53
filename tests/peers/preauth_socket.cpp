#include "tests/peers/preauth_socket.h"

#include "tests/peers/incoming_packet.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace peers {
namespace {

constexpr size_t kEthernetHeader = 14;

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

MacAddress InterfaceAddress(NetworkNamespace& space, const std::string& interface) {
  return space.RunInside([&] {
    const int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) throw SystemError("socket");
    ifreq request{};
    std::strncpy(request.ifr_name, interface.c_str(), IFNAMSIZ - 1);
    const int result = ioctl(s, SIOCGIFHWADDR, &request);
    close(s);
    if (result != 0) throw SystemError("address of " + interface);
    MacAddress address;
    std::memcpy(address.data(), request.ifr_hwaddr.sa_data, 6);
    return address;
  });
}

PreauthSocket::PreauthSocket(NetworkNamespace& space, const std::string& interface,
                             const MacAddress& station)
    : station_(station) {
  int index = 0;
  space.RunInside([&] {
    index = static_cast<int>(if_nametoindex(interface.c_str()));
    if (index == 0) throw SystemError("no interface " + interface);
    socket_ = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(kEthertypePreauth));
    if (socket_ < 0) throw SystemError("AF_PACKET socket");
  });
  sockaddr_ll address{};
  address.sll_family = AF_PACKET;
  address.sll_protocol = htons(kEthertypePreauth);
  address.sll_ifindex = index;
  // Frames to the station's made-up address reach the socket only in promiscuous mode.
  packet_mreq membership{};
  membership.mr_ifindex = index;
  membership.mr_type = PACKET_MR_PROMISC;
  if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      setsockopt(socket_, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &membership, sizeof membership) != 0) {
    const auto error = SystemError("binding the pre-authentication socket to " + interface);
    close(socket_);
    throw error;
  }
}

PreauthSocket::~PreauthSocket() {
  if (socket_ >= 0) close(socket_);
}

void PreauthSocket::Send(const MacAddress& destination, const std::vector<uint8_t>& eapol) {
  std::vector<uint8_t> frame(destination.begin(), destination.end());
  frame.insert(frame.end(), station_.begin(), station_.end());
  frame.push_back(kEthertypePreauth >> 8);
  frame.push_back(kEthertypePreauth & 0xFF);
  frame.insert(frame.end(), eapol.begin(), eapol.end());
  if (send(socket_, frame.data(), frame.size(), 0) != static_cast<ssize_t>(frame.size()))
    throw SystemError("sending a pre-authentication frame");
}

std::optional<PreauthFrame> PreauthSocket::Receive(std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  uint8_t buffer[2048];
  while (const auto got = ReceiveIncoming(socket_, buffer, sizeof buffer, deadline, "pre-authentication")) {
    const size_t size = *got;
    if (size < kEthernetHeader + 4 || (buffer[12] << 8 | buffer[13]) != kEthertypePreauth) continue;
    if (std::memcmp(buffer, station_.data(), 6) != 0) continue;
    const size_t body = static_cast<size_t>(buffer[16] << 8 | buffer[17]);
    const size_t eapol = std::min(size - kEthernetHeader, 4 + body);  // padding dropped
    PreauthFrame frame;
    std::memcpy(frame.source.data(), buffer + 6, 6);
    frame.eapol.assign(buffer + kEthernetHeader, buffer + kEthernetHeader + eapol);
    return frame;
  }
  return std::nullopt;
}

}  // namespace peers
