#include "tests/peers/eapol_port.h"

#include "tests/peers/incoming_packet.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace peers {
namespace {

constexpr size_t kEthernetHeader = 14;
constexpr size_t kEapolHeader = 4;

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

std::optional<EapolFrame> ParseEapolFrame(std::span<const uint8_t> frame) {
  if (frame.size() < kEthernetHeader + kEapolHeader) return std::nullopt;
  if ((frame[12] << 8 | frame[13]) != kEthertypeEapol) return std::nullopt;
  const size_t length = static_cast<size_t>(frame[16] << 8 | frame[17]);
  if (frame.size() - kEthernetHeader - kEapolHeader < length) return std::nullopt;
  EapolFrame parsed;
  std::memcpy(parsed.destination.data(), frame.data(), 6);
  std::memcpy(parsed.source.data(), frame.data() + 6, 6);
  parsed.version = frame[14];
  parsed.type = frame[15];
  const auto body = frame.subspan(kEthernetHeader + kEapolHeader, length);
  parsed.body.assign(body.begin(), body.end());
  return parsed;
}

EapolPort::EapolPort(NetworkNamespace& space, const std::string& interface,
                     const MacAddress& station)
    : station_(station) {
  space.RunInside([&] {
    interfaceIndex_ = static_cast<int>(if_nametoindex(interface.c_str()));
    if (interfaceIndex_ == 0) throw SystemError("no interface " + interface);
    socket_ = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(kEthertypeEapol));
    if (socket_ < 0) throw SystemError("AF_PACKET socket");
  });
  sockaddr_ll address{};
  address.sll_family = AF_PACKET;
  address.sll_protocol = htons(kEthertypeEapol);
  address.sll_ifindex = interfaceIndex_;
  packet_mreq membership{};
  membership.mr_ifindex = interfaceIndex_;
  membership.mr_type = PACKET_MR_MULTICAST;
  membership.mr_alen = 6;
  std::memcpy(membership.mr_address, kPaeGroupAddress.data(), 6);
  if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      setsockopt(socket_, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &membership, sizeof membership) != 0) {
    const auto error = SystemError("binding the EAPOL socket to " + interface);
    close(socket_);
    throw error;
  }
}

EapolPort::~EapolPort() {
  if (socket_ >= 0) close(socket_);
}

void EapolPort::Send(uint8_t type, std::span<const uint8_t> body) {
  std::vector<uint8_t> frame(kPaeGroupAddress.begin(), kPaeGroupAddress.end());
  frame.insert(frame.end(), station_.begin(), station_.end());
  frame.push_back(kEthertypeEapol >> 8);
  frame.push_back(kEthertypeEapol & 0xFF);
  frame.push_back(version_);
  frame.push_back(type);
  frame.push_back(static_cast<uint8_t>(body.size() >> 8));
  frame.push_back(static_cast<uint8_t>(body.size()));
  frame.insert(frame.end(), body.begin(), body.end());
  if (send(socket_, frame.data(), frame.size(), 0) != static_cast<ssize_t>(frame.size())) {
    throw SystemError("sending an EAPOL frame");
  }
}

std::optional<EapolFrame> EapolPort::Receive(std::chrono::milliseconds wait) {
  // The wait guards against a silent peer; it is not a protocol timer.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  uint8_t buffer[2048];
  while (const auto got = ReceiveIncoming(socket_, buffer, sizeof buffer, deadline, "EAPOL")) {
    auto frame = ParseEapolFrame({buffer, *got});
    if (!frame) continue;
    if (frame->destination != station_ && frame->destination != kPaeGroupAddress) continue;
    return frame;
  }
  return std::nullopt;
}

}  // namespace peers
