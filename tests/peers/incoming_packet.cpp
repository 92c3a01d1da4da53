#include "tests/peers/incoming_packet.h"

#include <linux/if_packet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace peers {

std::optional<std::size_t> ReceiveIncoming(int socket, std::uint8_t* buffer, std::size_t size,
                                           std::chrono::steady_clock::time_point deadline,
                                           const char* what) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd ready{socket, POLLIN, 0};
    const int n = poll(&ready, 1, static_cast<int>(left.count()));
    if (n < 0 && errno != EINTR)
      throw std::runtime_error(std::string("poll on the ") + what + " socket: " + std::strerror(errno));
    if (n <= 0) continue;
    sockaddr_ll from{};
    socklen_t fromLength = sizeof from;
    const ssize_t got = recvfrom(socket, buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("receiving a frame on the ") + what + " socket: " +
                               std::strerror(errno));
    }
    if (from.sll_pkttype == PACKET_OUTGOING) continue;
    return static_cast<std::size_t>(got);
  }
}

}  // namespace peers
