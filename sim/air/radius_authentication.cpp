#include "sim/air/radius_authentication.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <stdexcept>

namespace simair {

RadiusAuthentication::RadiusAuthentication(ndis::Scheduler& scheduler, AccessPoint& ap, DistributionPort& port,
                                           Authenticated authenticated)
    : scheduler_(scheduler),
      ap_(ap),
      port_(port),
      authenticated_(std::move(authenticated)),
      alive_(std::make_shared<RadiusAuthentication*>(this)) {}

RadiusAuthentication::~RadiusAuthentication() {
  if (reader_.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
    reader_.join();
  }
  if (stopFd_ >= 0) close(stopFd_);
  alive_.reset();
  sessions_.clear();  // the relays go before the clients they use
}

bool RadiusAuthentication::openSocket() {
  if (socket_) return true;
  const RadiusServer& server = ap_.config().radius;
  try {
    socket_ = std::make_unique<RadiusSocket>(server.address, server.port);
  } catch (const std::runtime_error&) {
    return false;  // the station's authentication fails; the relay never hears back
  }
  stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd_ < 0) {
    socket_.reset();
    return false;
  }
  reader_ = std::thread([this, stop = stopFd_] { readServer(stop); });
  return true;
}

void RadiusAuthentication::readServer(int stopFd) {
  std::weak_ptr<RadiusAuthentication*> alive = alive_;
  for (;;) {
    pollfd polled[2] = {{socket_->fd(), POLLIN, 0}, {stopFd, POLLIN, 0}};
    if (poll(polled, 2, -1) < 0) continue;
    if ((polled[1].revents & POLLIN) != 0) return;
    std::optional<RadiusBytes> datagram = socket_->Receive(std::chrono::milliseconds(0));
    if (!datagram) continue;
    scheduler_.post(ndis::EventKind::Air, "simair.radius-reply",
                    [alive, bytes = std::move(*datagram)] {
                      if (auto self = alive.lock()) (*self)->fromServer(bytes);
                    });
  }
}

void RadiusAuthentication::fromServer(const RadiusBytes& datagram) {
  // Each client takes only the reply to its own outstanding request.
  for (auto& [station, session] : sessions_) {
    if (session.client->HasPending()) session.relay->ReceiveRadius(datagram);
  }
}

void RadiusAuthentication::start(const MacAddress& station) {
  forget(station);
  if (!openSocket()) return;
  Session& session = sessions_[station];
  session.client = std::make_unique<RadiusClient>(RadiusClientConfig{ap_.config().radius.secret});
  EapRelayConfig config;
  config.accessPoint = ap_.address();
  config.station = station;
  config.ssid = ap_.config().ssid;
  EapRelayLinks links;
  links.toStation = [this, station](const RadiusBytes& frame) { port_.sendEapol(station, frame); };
  links.toServer = [this](std::span<const std::uint8_t> datagram) { socket_->Send(datagram); };
  links.authenticated = [this, station](std::span<const std::uint8_t> pmk) { authenticated_(station, pmk); };
  session.relay = std::make_unique<EapRelay>(scheduler_, *session.client, std::move(config), std::move(links));
  session.relay->Start();
}

void RadiusAuthentication::receive(const MacAddress& station, std::span<const std::uint8_t> eapol) {
  const auto found = sessions_.find(station);
  if (found != sessions_.end()) found->second.relay->ReceiveEapol(eapol);
}

void RadiusAuthentication::forget(const MacAddress& station) {
  const auto found = sessions_.find(station);
  if (found == sessions_.end()) return;
  found->second.relay.reset();
  sessions_.erase(found);
}

}  // namespace simair
