// The station side of RSN pre-authentication on a wired test network: EAPOL frames with
// ethertype 0x88C7 over an AF_PACKET socket, addressed to the candidate access point's own
// MAC (not the PAE group address) and received from it.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/peers/mac_address.h"
#include "tests/peers/network_namespace.h"

namespace peers {

inline constexpr uint16_t kEthertypePreauth = 0x88C7;

// The hardware address of an interface inside space.
MacAddress InterfaceAddress(NetworkNamespace& space, const std::string& interface);

struct PreauthFrame {
  MacAddress source{};
  std::vector<uint8_t> eapol;  // from the EAPOL header on, Ethernet padding dropped
};

class PreauthSocket {
 public:
  PreauthSocket(NetworkNamespace& space, const std::string& interface, const MacAddress& station);
  ~PreauthSocket();
  PreauthSocket(const PreauthSocket&) = delete;
  PreauthSocket& operator=(const PreauthSocket&) = delete;

  // One EAPOL frame (header and body) to destination.
  void Send(const MacAddress& destination, const std::vector<uint8_t>& eapol);
  // The next pre-authentication frame to the station, or nullopt when none comes within
  // wait (a guard against a silent peer, not a protocol timer).
  std::optional<PreauthFrame> Receive(std::chrono::milliseconds wait);

 private:
  int socket_ = -1;
  MacAddress station_;
};

}  // namespace peers
