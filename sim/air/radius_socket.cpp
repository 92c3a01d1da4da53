#include "sim/air/radius_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace simair {

RadiusSocket::RadiusSocket(const std::string& serverAddress, std::uint16_t port) {
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(port);
  if (inet_pton(AF_INET, serverAddress.c_str(), &server.sin_addr) != 1) {
    throw std::runtime_error("RADIUS server address is no IPv4 address: " + serverAddress);
  }
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error(std::string("RADIUS socket: ") + std::strerror(errno));
  if (connect(fd_, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
    const int error = errno;
    close(fd_);
    throw std::runtime_error("RADIUS socket to " + serverAddress + ": " + std::strerror(error));
  }
}

RadiusSocket::~RadiusSocket() {
  if (fd_ >= 0) close(fd_);
}

void RadiusSocket::Send(std::span<const std::uint8_t> datagram) {
  // A lost datagram is the retransmission timer's business, as on any network.
  (void)send(fd_, datagram.data(), datagram.size(), MSG_NOSIGNAL);
}

std::optional<RadiusBytes> RadiusSocket::Receive(std::chrono::milliseconds wait) {
  pollfd ready{fd_, POLLIN, 0};
  if (poll(&ready, 1, static_cast<int>(wait.count())) <= 0) return std::nullopt;
  RadiusBytes datagram(kRadiusMaxPacketSize);
  const ssize_t got = recv(fd_, datagram.data(), datagram.size(), MSG_DONTWAIT);
  if (got < 0) return std::nullopt;
  datagram.resize(static_cast<std::size_t>(got));
  return datagram;
}

}  // namespace simair
