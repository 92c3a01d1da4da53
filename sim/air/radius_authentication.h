#pragma once
// The 802.1X stage of a WPA2-Enterprise access point on the air: for each station that
// associates, an EAP relay (eap_relay.h) to the access point's RADIUS server, its EAPOL
// frames through the distribution port, and the PMK it obtains handed to the key exchange
// that runs the 4-way handshake. The server's datagrams are read on a thread of their own
// and handed to the scheduler's thread, where everything else runs.
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <thread>

#include "platform/ndis/scheduler.h"
#include "sim/air/distribution_port.h"
#include "sim/air/eap_relay.h"
#include "sim/air/radius_client.h"
#include "sim/air/radius_socket.h"

namespace simair {

class RadiusAuthentication {
public:
  // The PMK of an authenticated station; the buffer is wiped when this returns.
  using Authenticated = std::function<void(const MacAddress& station, std::span<const std::uint8_t> pmk)>;

  RadiusAuthentication(ndis::Scheduler& scheduler, AccessPoint& ap, DistributionPort& port,
                       Authenticated authenticated);
  ~RadiusAuthentication();
  RadiusAuthentication(const RadiusAuthentication&) = delete;
  RadiusAuthentication& operator=(const RadiusAuthentication&) = delete;

  // A new authentication of the station (EAP-Request/Identity).
  void start(const MacAddress& station);
  // An EAPOL frame of the station that is not a key frame.
  void receive(const MacAddress& station, std::span<const std::uint8_t> eapol);
  void forget(const MacAddress& station);

private:
  struct Session {
    std::unique_ptr<RadiusClient> client;
    std::unique_ptr<EapRelay> relay;
  };
  bool openSocket();
  void readServer(int stopFd);
  void fromServer(const RadiusBytes& datagram);

  ndis::Scheduler& scheduler_;
  AccessPoint& ap_;
  DistributionPort& port_;
  Authenticated authenticated_;
  std::unique_ptr<RadiusSocket> socket_;  // made at the first association
  int stopFd_ = -1;
  std::thread reader_;
  // Replies the reader posted find the object gone once this is reset.
  std::shared_ptr<RadiusAuthentication*> alive_;
  std::map<MacAddress, Session> sessions_;
};

}  // namespace simair
