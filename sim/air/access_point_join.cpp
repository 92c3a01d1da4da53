// An access point's shared-key authentication (IEEE 802.11 clause 12.3.3.3: a challenge in
// frame 2, returned WEP-encrypted in frame 3), and the deauthentication and disassociation it
// sends on demand.
#include <algorithm>
#include <optional>
#include <random>

#include "sim/air/access_point.h"
#include "sim/air/authenticator_crypto.h"

namespace simair {
namespace {

using dot11::FrameType;
namespace subtype = dot11::subtype;

constexpr std::uint16_t kAlgorithmSharedKey = 1;
constexpr std::uint16_t kStatusSuccess = 0, kStatusUnspecified = 1, kStatusChallengeFailure = 15;
constexpr std::uint8_t kElementChallenge = 16;
constexpr std::size_t kChallengeBytes = 128;
constexpr std::size_t kIvBytes = 4, kIcvBytes = 4;

std::uint32_t Crc32(const dot11::Bytes& data, std::size_t length) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// Frame 3's body decrypted with the access point's WEP key of its key index; nothing when the
// key is missing, the body too short, or the ICV wrong.
std::optional<dot11::Bytes> WepDecrypt(const AccessPointConfig& config, std::span<const std::uint8_t> body) {
  if (body.size() < kIvBytes + kIcvBytes) return std::nullopt;
  const std::size_t keyIndex = body[3] >> 6;
  if (keyIndex >= config.wepKeys.size() || config.wepKeys[keyIndex].empty()) return std::nullopt;
  const std::string& key = config.wepKeys[keyIndex].reveal();
  dot11::Bytes seed(3 + key.size());
  std::copy_n(body.begin(), 3, seed.begin());
  std::copy(key.begin(), key.end(), seed.begin() + 3);
  dot11::Bytes plain = air::Rc4(seed, dot11::Bytes(body.begin() + kIvBytes, body.end()));
  std::fill(seed.begin(), seed.end(), 0);
  const std::size_t length = plain.size() - kIcvBytes;
  const std::uint32_t icv = plain[length] | plain[length + 1] << 8 | plain[length + 2] << 16 |
                            static_cast<std::uint32_t>(plain[length + 3]) << 24;
  if (Crc32(plain, length) != icv) return std::nullopt;
  plain.resize(length);
  return plain;
}

std::uint16_t Read16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

}  // namespace

void AccessPoint::sendAuthentication(const MacAddress& to, std::uint16_t algorithm, std::uint16_t transaction,
                                     std::uint16_t status, const dot11::Bytes& challenge) {
  dot11::FrameWriter w;
  w.header(FrameType::Management, subtype::Authentication, 0, to, config_.bssid, config_.bssid, nextSequence());
  w.u16(algorithm);
  w.u16(transaction);
  w.u16(status);
  if (!challenge.empty()) w.element(kElementChallenge, challenge);
  send(w.take());
}

void AccessPoint::answerSharedKey(const dot11::FrameView& view, const MacAddress& from) {
  const auto body = view.managementBody();
  if ((view.flags() & dot11::flag::Protected) == 0) {
    if (Read16(body, 2) != 1) return;
    std::uint16_t status = config_.join.authenticationStatus;
    if (status == kStatusSuccess && config_.wepKeys.empty()) status = kStatusUnspecified;
    dot11::Bytes challenge;
    if (status == kStatusSuccess) {
      std::mt19937 random(static_cast<std::uint32_t>(sequence_ * 2654435761u) ^ from[5]);
      for (std::size_t i = 0; i < kChallengeBytes; ++i) challenge.push_back(static_cast<std::uint8_t>(random()));
      challenges_[from] = challenge;
    }
    sendAuthentication(from, kAlgorithmSharedKey, 2, status, challenge);
    return;
  }
  // Frame 3: the challenge back, under the shared key.
  const auto expected = challenges_.find(from);
  if (expected == challenges_.end()) return;
  const dot11::Bytes challenge = std::move(expected->second);
  challenges_.erase(expected);
  const auto plain = WepDecrypt(config_, body);
  const bool answered = plain && plain->size() == 6 + 2 + challenge.size() && Read16(*plain, 0) == kAlgorithmSharedKey &&
                        Read16(*plain, 2) == 3 && (*plain)[6] == kElementChallenge &&
                        (*plain)[7] == challenge.size() && std::equal(challenge.begin(), challenge.end(), plain->begin() + 8);
  if (answered) {
    stations_[from].authenticated = true;
    ++counters_.authentications;
  }
  sendAuthentication(from, kAlgorithmSharedKey, 4, answered ? kStatusSuccess : kStatusChallengeFailure, {});
}

bool AccessPoint::deauthenticate(const MacAddress& station, std::uint16_t reason) {
  if (!stations_.contains(station)) return false;
  dot11::FrameWriter w;
  w.header(FrameType::Management, subtype::Deauthentication, 0, station, config_.bssid, config_.bssid, nextSequence());
  w.u16(reason);
  send(w.take());
  forgetStation(station);
  return true;
}

bool AccessPoint::disassociate(const MacAddress& station, std::uint16_t reason) {
  const auto found = stations_.find(station);
  if (found == stations_.end() || found->second.aid == 0) return false;
  dot11::FrameWriter w;
  w.header(FrameType::Management, subtype::Disassociation, 0, station, config_.bssid, config_.bssid, nextSequence());
  w.u16(reason);
  send(w.take());
  powerSave_.forget(found->second.aid);
  found->second.aid = 0;
  found->second.dozing = false;
  announce(station, StationEvent::Left);
  return true;
}

}  // namespace simair
