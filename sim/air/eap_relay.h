#pragma once
// The access point's 802.1X authenticator in pass-through mode (IEEE 802.1X, RFC 3579) for
// one station: it asks the station for its identity, carries each EAP Response to the
// RADIUS server in an Access-Request and each Access-Challenge's EAP Request back in an
// EAPOL frame, and ends with the server's EAP-Success or EAP-Failure. On success it hands
// the PMK (the first 32 bytes of the MSK from MS-MPPE-Recv-Key) to whoever runs the 4-way
// handshake. An unanswered Access-Request is sent again on the scheduler's clock.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "platform/ndis/scheduler.h"
#include "sim/air/radius_client.h"

namespace simair {

struct EapRelayConfig {
  std::array<std::uint8_t, 6> accessPoint{};
  std::array<std::uint8_t, 6> station{};
  std::string ssid;
  ndis::Micros radiusTimeout = std::chrono::seconds(3);
  int radiusRetransmissions = 3;  // then the server counts as gone
  std::uint8_t eapolVersion = 2;
};

struct EapRelayLinks {
  // An EAPOL frame (from the 802.1X header on) for the station.
  std::function<void(const RadiusBytes& frame)> toStation;
  // A datagram for the RADIUS server.
  std::function<void(std::span<const std::uint8_t> datagram)> toServer;
  // The 32-byte PMK after EAP-Success went out; the buffer is wiped when this returns.
  std::function<void(std::span<const std::uint8_t> pmk)> authenticated;
};

class EapRelay {
 public:
  enum class State { Idle, AwaitingIdentity, Relaying, Authenticated, Failed };

  EapRelay(ndis::Scheduler& scheduler, RadiusClient& client, EapRelayConfig config,
           EapRelayLinks links);
  ~EapRelay();
  EapRelay(const EapRelay&) = delete;
  EapRelay& operator=(const EapRelay&) = delete;

  // A new authentication: EAP-Request/Identity to the station (also on EAPOL-Start).
  void Start();
  // An EAPOL frame from the station. Frames that do not belong are dropped (LastError).
  void ReceiveEapol(std::span<const std::uint8_t> frame);
  // A datagram from the RADIUS server; the client drops what does not check out.
  void ReceiveRadius(std::span<const std::uint8_t> datagram);

  State state() const { return state_; }
  const std::string& UserName() const { return userName_; }
  const std::string& LastError() const { return lastError_; }
  int Retransmissions() const { return retransmissions_; }

 private:
  void Drop(std::string why) { lastError_ = std::move(why); }
  void SendEap(std::span<const std::uint8_t> eap);
  void SendOwnEap(std::uint8_t code);
  bool Forward(std::span<const std::uint8_t> eap);  // false: dropped
  void ArmTimer();
  void StopTimer();
  void OnTimer();
  void Fail(std::string why, std::span<const std::uint8_t> eapFailure);

  ndis::Scheduler& scheduler_;
  RadiusClient& client_;
  EapRelayConfig config_;
  EapRelayLinks links_;
  State state_ = State::Idle;
  std::uint8_t eapIdentifier_ = 0;  // of the request the station is to answer
  std::string userName_;
  RadiusBytes radiusState_;
  std::optional<ndis::EventId> timer_;
  int retransmissions_ = 0;
  std::string lastError_;
};

}  // namespace simair
