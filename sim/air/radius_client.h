#pragma once
// The access point's RADIUS client for 802.1X (RFC 2865, RFC 3579, RFC 2869): it builds
// Access-Requests that carry the station's EAP packet, and accepts a reply only when it
// answers the request outstanding and both its Response Authenticator and its
// Message-Authenticator check out under the shared secret. Anything else is dropped with
// the reason in LastError(), as a RADIUS client silently discards it. It keeps no time:
// whoever drives it resends Pending() when its timer runs out.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "sim/air/radius_attributes.h"
#include "sim/air/secret.h"

namespace simair {

struct RadiusClientConfig {
  Secret secret;
  std::string nasIdentifier = "zelnic-sim-ap";
  std::uint32_t framedMtu = 1400;  // the largest EAP packet the station's link carries
};

// What one Access-Request says about the station and its EAP packet.
struct AccessRequestFields {
  std::string userName;             // from the station's EAP-Response/Identity
  std::span<const std::uint8_t> eap;  // the station's EAP packet
  std::span<const std::uint8_t> state;  // the State of the last Access-Challenge, or empty
  std::array<std::uint8_t, 6> accessPoint{};
  std::string ssid;
  std::array<std::uint8_t, 6> station{};
};

// A checked reply. The MSK is MS-MPPE-Recv-Key then MS-MPPE-Send-Key (the PMK is its first
// 32 bytes); it is wiped with the reply.
struct RadiusReply {
  RadiusCode code = RadiusCode::AccessReject;
  RadiusBytes eap;    // the EAP-Message attributes joined
  RadiusBytes state;  // of a challenge
  RadiusBytes msk;    // of an accept that carries both keys
  RadiusReply() = default;
  RadiusReply(const RadiusReply&) = delete;
  RadiusReply& operator=(const RadiusReply&) = delete;
  RadiusReply(RadiusReply&&) = default;
  RadiusReply& operator=(RadiusReply&&) = default;
  ~RadiusReply();
};

class RadiusClient {
 public:
  explicit RadiusClient(RadiusClientConfig config);

  // A new Access-Request (next identifier, fresh Request Authenticator), remembered as the
  // one outstanding. Throws std::length_error when the EAP packet cannot fit.
  const RadiusBytes& Request(const AccessRequestFields& fields);
  // The outstanding request as it was sent (a retransmission repeats it byte for byte).
  const RadiusBytes& Pending() const { return pending_; }
  bool HasPending() const { return !pending_.empty(); }
  void Abandon() { pending_.clear(); }

  // The reply to the outstanding request; nullopt when it is dropped (LastError says why).
  std::optional<RadiusReply> Receive(std::span<const std::uint8_t> datagram);
  const std::string& LastError() const { return lastError_; }

 private:
  std::nullopt_t Drop(std::string why);
  bool MessageAuthenticatorChecks(std::span<const std::uint8_t> datagram,
                                  const RadiusPacket& reply) const;

  RadiusClientConfig config_;
  std::uint8_t nextIdentifier_;
  RadiusBytes pending_;
  std::array<std::uint8_t, 16> requestAuthenticator_{};
  std::string lastError_;
};

}  // namespace simair
