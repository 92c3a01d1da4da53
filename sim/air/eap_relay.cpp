#include "sim/air/eap_relay.h"

#include <stdexcept>

#include "sim/air/radius_crypto.h"

namespace simair {
namespace {

constexpr std::uint8_t kEapolEapPacket = 0;
constexpr std::uint8_t kEapolStart = 1;
constexpr std::uint8_t kEapolLogoff = 2;

constexpr std::uint8_t kEapRequest = 1;
constexpr std::uint8_t kEapResponse = 2;
constexpr std::uint8_t kEapSuccess = 3;
constexpr std::uint8_t kEapFailure = 4;
constexpr std::uint8_t kEapTypeIdentity = 1;

constexpr std::size_t kPmkSize = 32;

std::size_t Length16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return (std::size_t{bytes[at]} << 8) | bytes[at + 1];
}

}  // namespace

EapRelay::EapRelay(ndis::Scheduler& scheduler, RadiusClient& client, EapRelayConfig config,
                   EapRelayLinks links)
    : scheduler_(scheduler), client_(client), config_(std::move(config)), links_(std::move(links)) {}

EapRelay::~EapRelay() { StopTimer(); }

void EapRelay::Start() {
  StopTimer();
  client_.Abandon();
  radiusState_.clear();
  userName_.clear();
  state_ = State::AwaitingIdentity;
  ++eapIdentifier_;
  const std::uint8_t identity[] = {kEapRequest, eapIdentifier_, 0, 5, kEapTypeIdentity};
  SendEap(identity);
}

void EapRelay::SendEap(std::span<const std::uint8_t> eap) {
  // Built in one piece: gcc 12 misjudges an insert after a four-byte initializer list.
  RadiusBytes frame(4 + eap.size());
  frame[0] = config_.eapolVersion;
  frame[1] = kEapolEapPacket;
  frame[2] = static_cast<std::uint8_t>(eap.size() >> 8);
  frame[3] = static_cast<std::uint8_t>(eap.size());
  std::copy(eap.begin(), eap.end(), frame.begin() + 4);
  links_.toStation(frame);
}

// EAP-Success or EAP-Failure of our own, with the identifier of the last response.
void EapRelay::SendOwnEap(std::uint8_t code) {
  const std::uint8_t eap[] = {code, eapIdentifier_, 0, 4};
  SendEap(eap);
}

void EapRelay::ReceiveEapol(std::span<const std::uint8_t> frame) {
  if (frame.size() < 4) return Drop("EAPOL frame shorter than its header");
  const std::size_t bodyLength = Length16(frame, 2);
  if (bodyLength > frame.size() - 4) return Drop("EAPOL body length beyond the frame");
  const std::span<const std::uint8_t> body = frame.subspan(4, bodyLength);
  switch (frame[1]) {
    case kEapolStart:
      return Start();
    case kEapolLogoff:
      StopTimer();
      client_.Abandon();
      state_ = State::Idle;
      return;
    case kEapolEapPacket:
      break;
    default:
      return Drop("EAPOL type " + std::to_string(frame[1]) + " is not for the authenticator");
  }
  if (body.size() < 4) return Drop("EAP packet shorter than its header");
  const std::size_t eapLength = Length16(body, 2);
  if (eapLength < 4 || eapLength > body.size()) return Drop("EAP length outside the body");
  const std::span<const std::uint8_t> eap = body.first(eapLength);
  if (eap[0] != kEapResponse) return Drop("EAP code " + std::to_string(eap[0]) + " from the station");
  if (state_ != State::AwaitingIdentity && state_ != State::Relaying) {
    return Drop("EAP response while no authentication runs");
  }
  if (eap[1] != eapIdentifier_) return Drop("EAP response to another request");
  if (client_.HasPending()) return Drop("EAP response while the server has the last one");
  const State before = state_;
  if (state_ == State::AwaitingIdentity) {
    if (eap.size() < 5 || eap[4] != kEapTypeIdentity) return Drop("first response is no identity");
    userName_.assign(eap.begin() + 5, eap.end());
    state_ = State::Relaying;
  }
  if (!Forward(eap)) {
    state_ = before;  // the station may answer the same request again
    if (before == State::AwaitingIdentity) userName_.clear();
  }
}

bool EapRelay::Forward(std::span<const std::uint8_t> eap) {
  AccessRequestFields fields{userName_, eap, radiusState_, config_.accessPoint, config_.ssid,
                             config_.station};
  try {
    links_.toServer(client_.Request(fields));
  } catch (const std::length_error&) {
    // An identity or EAP packet from the air that no Access-Request can carry.
    Drop("EAP response too long for an Access-Request");
    return false;
  }
  retransmissions_ = 0;
  ArmTimer();
  return true;
}

void EapRelay::ArmTimer() {
  StopTimer();
  timer_ = scheduler_.after(config_.radiusTimeout, ndis::EventKind::Air, "radius retransmission",
                            [this] { OnTimer(); });
}

void EapRelay::StopTimer() {
  if (timer_) scheduler_.cancel(*timer_);
  timer_.reset();
}

void EapRelay::OnTimer() {
  timer_.reset();
  if (!client_.HasPending()) return;
  if (retransmissions_ >= config_.radiusRetransmissions) {
    client_.Abandon();
    return Fail("RADIUS server silent after " + std::to_string(retransmissions_) +
                    " retransmissions",
                {});
  }
  ++retransmissions_;
  links_.toServer(client_.Pending());
  ArmTimer();
}

void EapRelay::Fail(std::string why, std::span<const std::uint8_t> eapFailure) {
  StopTimer();
  state_ = State::Failed;
  lastError_ = std::move(why);
  if (eapFailure.size() >= 4 && eapFailure[0] == kEapFailure) {
    SendEap(eapFailure);
  } else {
    SendOwnEap(kEapFailure);
  }
}

void EapRelay::ReceiveRadius(std::span<const std::uint8_t> datagram) {
  if (state_ != State::Relaying) return Drop("RADIUS datagram while no authentication runs");
  std::optional<RadiusReply> reply = client_.Receive(datagram);
  if (!reply) return Drop(client_.LastError());
  StopTimer();
  const RadiusBytes& eap = reply->eap;
  switch (reply->code) {
    case RadiusCode::AccessChallenge:
      if (eap.size() < 5 || eap[0] != kEapRequest || Length16(eap, 2) != eap.size()) {
        return Fail("Access-Challenge without an EAP Request", {});
      }
      radiusState_ = reply->state;
      eapIdentifier_ = eap[1];
      return SendEap(eap);
    case RadiusCode::AccessReject:
      return Fail("Access-Reject", eap);
    case RadiusCode::AccessAccept:
      if (reply->msk.size() < kPmkSize) return Fail("Access-Accept without MS-MPPE keys", {});
      state_ = State::Authenticated;
      lastError_.clear();
      if (eap.size() >= 4 && eap[0] == kEapSuccess) {
        SendEap(eap);
      } else {
        SendOwnEap(kEapSuccess);
      }
      links_.authenticated(std::span(reply->msk).first(kPmkSize));
      return;
    case RadiusCode::AccessRequest:
      break;
  }
}

}  // namespace simair
