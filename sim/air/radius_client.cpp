#include "sim/air/radius_client.h"

#include <openssl/rand.h>

#include <cstdio>
#include <stdexcept>

#include "sim/air/radius_crypto.h"

namespace simair {
namespace {

std::array<std::uint8_t, 16> RandomAuthenticator() {
  std::array<std::uint8_t, 16> bytes{};
  if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
    throw std::runtime_error("RAND_bytes failed");
  }
  return bytes;
}

// "00-1E-4D-2D-17-01", the form RFC 3580 gives the station ids.
std::string StationIdText(const std::array<std::uint8_t, 6>& mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2],
                mac[3], mac[4], mac[5]);
  return text;
}

std::span<const std::uint8_t> BytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Offset of the Message-Authenticator's value in the wire form, or 0 when absent.
std::size_t MessageAuthenticatorOffset(std::span<const std::uint8_t> wire) {
  const std::size_t length = (std::size_t{wire[2]} << 8) | wire[3];
  for (std::size_t at = kRadiusHeaderSize; at + 2 <= length; at += wire[at + 1]) {
    if (wire[at] == radius_attribute::kMessageAuthenticator && wire[at + 1] == 18) return at + 2;
  }
  return 0;
}

}  // namespace

RadiusReply::~RadiusReply() { WipeBytes(msk); }

RadiusClient::RadiusClient(RadiusClientConfig config)
    : config_(std::move(config)), nextIdentifier_(RandomAuthenticator()[0]) {}

const RadiusBytes& RadiusClient::Request(const AccessRequestFields& fields) {
  RadiusPacket request;
  request.code = RadiusCode::AccessRequest;
  request.identifier = nextIdentifier_++;
  request.authenticator = RandomAuthenticator();
  request.Add(radius_attribute::kUserName, fields.userName);
  request.Add(radius_attribute::kNasIdentifier, config_.nasIdentifier);
  request.Add(radius_attribute::kCalledStationId,
              StationIdText(fields.accessPoint) + ":" + fields.ssid);
  request.Add(radius_attribute::kCallingStationId, StationIdText(fields.station));
  request.AddInteger(radius_attribute::kNasPortType, kNasPortTypeWireless80211);
  request.AddInteger(radius_attribute::kFramedMtu, config_.framedMtu);
  request.AddEapMessage(fields.eap);
  if (!fields.state.empty()) request.Add(radius_attribute::kState, fields.state);
  request.Add(radius_attribute::kMessageAuthenticator, std::array<std::uint8_t, 16>{});

  RadiusBytes wire = EncodeRadiusPacket(request);
  // Over the whole request with the Message-Authenticator zero (RFC 3579).
  const Md5Digest mac = HmacMd5Of(config_.secret.reveal(), wire);
  std::copy(mac.begin(), mac.end(), wire.begin() + MessageAuthenticatorOffset(wire));
  requestAuthenticator_ = request.authenticator;
  pending_ = std::move(wire);
  return pending_;
}

std::nullopt_t RadiusClient::Drop(std::string why) {
  lastError_ = std::move(why);
  return std::nullopt;
}

bool RadiusClient::MessageAuthenticatorChecks(std::span<const std::uint8_t> datagram,
                                              const RadiusPacket& reply) const {
  // Over the reply as sent, with the request's authenticator in place of the reply's and
  // the Message-Authenticator zero.
  const std::size_t length = (std::size_t{datagram[2]} << 8) | datagram[3];
  RadiusBytes copy(datagram.begin(), datagram.begin() + length);
  std::copy(requestAuthenticator_.begin(), requestAuthenticator_.end(), copy.begin() + 4);
  const std::size_t at = MessageAuthenticatorOffset(copy);
  std::fill(copy.begin() + at, copy.begin() + at + 16, 0);
  const Md5Digest expected = HmacMd5Of(config_.secret.reveal(), copy);
  const RadiusAttribute* given = reply.Find(radius_attribute::kMessageAuthenticator);
  return CRYPTO_memcmp(expected.data(), given->value.data(), expected.size()) == 0;
}

std::optional<RadiusReply> RadiusClient::Receive(std::span<const std::uint8_t> datagram) {
  std::string why;
  const std::optional<RadiusPacket> reply = ParseRadiusPacket(datagram, why);
  if (!reply) return Drop("malformed reply: " + why);
  if (reply->code != RadiusCode::AccessAccept && reply->code != RadiusCode::AccessReject &&
      reply->code != RadiusCode::AccessChallenge) {
    return Drop("code " + std::to_string(static_cast<int>(reply->code)) + " is no reply");
  }
  if (pending_.empty()) return Drop("no request outstanding");
  if (reply->identifier != pending_[1]) {
    return Drop("identifier " + std::to_string(reply->identifier) + " answers no request");
  }
  // Response Authenticator = MD5(Code | Identifier | Length | Request Authenticator |
  // Attributes | Secret).
  const std::size_t length = (std::size_t{datagram[2]} << 8) | datagram[3];
  const Md5Digest expected =
      Md5Of({datagram.first(4), requestAuthenticator_, datagram.subspan(20, length - 20),
             BytesOf(config_.secret.reveal())});
  if (CRYPTO_memcmp(expected.data(), reply->authenticator.data(), expected.size()) != 0) {
    return Drop("bad Response Authenticator");
  }
  const RadiusAttribute* mac = reply->Find(radius_attribute::kMessageAuthenticator);
  if (mac == nullptr) {
    if (reply->Find(radius_attribute::kEapMessage) != nullptr) {
      return Drop("EAP-Message without Message-Authenticator");
    }
  } else if (mac->value.size() != 16 || MessageAuthenticatorOffset(datagram) == 0) {
    return Drop("Message-Authenticator not 16 bytes");
  } else if (!MessageAuthenticatorChecks(datagram, *reply)) {
    return Drop("bad Message-Authenticator");
  }

  RadiusReply checked;
  checked.code = reply->code;
  checked.eap = reply->JoinedEapMessage();
  if (const RadiusAttribute* state = reply->Find(radius_attribute::kState)) {
    checked.state = state->value;
  }
  if (reply->code == RadiusCode::AccessAccept) {
    std::optional<RadiusBytes> recv = reply->FindMicrosoft(kMsMppeRecvKey);
    std::optional<RadiusBytes> send = reply->FindMicrosoft(kMsMppeSendKey);
    std::optional<RadiusBytes> recvKey, sendKey;
    if (recv) recvKey = DecryptMppeKey(config_.secret.reveal(), requestAuthenticator_, *recv);
    if (send) sendKey = DecryptMppeKey(config_.secret.reveal(), requestAuthenticator_, *send);
    if ((recv && !recvKey) || (send && !sendKey)) {
      if (recvKey) WipeBytes(*recvKey);
      if (sendKey) WipeBytes(*sendKey);
      return Drop("MS-MPPE key that does not decrypt");
    }
    if (recvKey && sendKey) {
      checked.msk = *recvKey;
      checked.msk.insert(checked.msk.end(), sendKey->begin(), sendKey->end());
    }
    if (recvKey) WipeBytes(*recvKey);
    if (sendKey) WipeBytes(*sendKey);
  }
  pending_.clear();
  lastError_.clear();
  return checked;
}

}  // namespace simair
