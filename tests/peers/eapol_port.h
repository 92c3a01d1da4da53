// The station side of a wired 802.1X port: EAPOL frames over an AF_PACKET socket on one
// end of a veth pair, from a MAC address of the test's choosing.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tests/peers/mac_address.h"
#include "tests/peers/network_namespace.h"

namespace peers {

inline constexpr uint16_t kEthertypeEapol = 0x888E;
inline constexpr uint8_t kEapolEapPacket = 0;
inline constexpr uint8_t kEapolStart = 1;
inline constexpr uint8_t kEapolLogoff = 2;

struct EapolFrame {
  MacAddress destination{};
  MacAddress source{};
  uint8_t version = 0;
  uint8_t type = 0;
  std::vector<uint8_t> body;  // exactly the EAPOL body length; Ethernet padding dropped
};

// An Ethernet frame carrying EAPOL; nullopt when it is not EAPOL or its body is shorter
// than the EAPOL length says.
std::optional<EapolFrame> ParseEapolFrame(std::span<const uint8_t> frame);

class EapolPort {
 public:
  EapolPort(NetworkNamespace& space, const std::string& interface, const MacAddress& station);
  ~EapolPort();
  EapolPort(const EapolPort&) = delete;
  EapolPort& operator=(const EapolPort&) = delete;

  const MacAddress& station() const { return station_; }
  // EAPOL protocol version written into our frames.
  void set_version(uint8_t version) { version_ = version; }

  // One EAPOL frame of `type` to the PAE group address.
  void Send(uint8_t type, std::span<const uint8_t> body = {});
  void SendEap(std::span<const uint8_t> packet) { Send(kEapolEapPacket, packet); }
  // The next EAPOL frame for this station (to its MAC or to the group address), or nullopt
  // when none comes within `wait`.
  std::optional<EapolFrame> Receive(std::chrono::milliseconds wait);

 private:
  int socket_ = -1;
  int interfaceIndex_ = 0;
  MacAddress station_;
  uint8_t version_ = 2;
};

}  // namespace peers
