#pragma once
// The RADIUS client's UDP socket, connected to one server (so only its datagrams arrive).
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/air/radius_attributes.h"

namespace simair {

class RadiusSocket {
 public:
  // Throws std::runtime_error, with the reason, when the address does not parse or the
  // socket cannot be made. Made inside a network namespace, it stays there.
  RadiusSocket(const std::string& serverAddress, std::uint16_t port);
  ~RadiusSocket();
  RadiusSocket(const RadiusSocket&) = delete;
  RadiusSocket& operator=(const RadiusSocket&) = delete;

  void Send(std::span<const std::uint8_t> datagram);
  // The next datagram, or nullopt when none came within `wait` (a refused port too).
  std::optional<RadiusBytes> Receive(std::chrono::milliseconds wait);
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace simair
