#include "sim/air/swiftbond_access_point.h"

#include <cstring>

#include "sim/air/authenticator_crypto.h"

namespace simair {
namespace {

constexpr std::size_t kDataHeaderBytes = 24;
constexpr std::uint8_t kSnap[8] = {0xAA, 0xAA, 0x03, 0x02, 0x5A, 0x9C, 0x00, 0x01};
constexpr std::uint8_t kMakerOui[3] = {0x02, 0x5A, 0x9C};
constexpr std::uint16_t kFinishReply = 0x8002;

bool IsSwiftBondRequestTo(const AirFrame& frame, const MacAddress& bssid) {
  const auto& b = frame.bytes;
  if (b.size() < kDataHeaderBytes + sizeof kSnap) return false;
  const bool data = ((b[0] >> 2) & 3) == 2 && (b[0] >> 4) == 0;  // plain data, no QoS field
  const bool toDs = (b[1] & 0x03) == 0x01;
  return data && toDs && std::memcmp(b.data() + 4, bssid.data(), 6) == 0 &&
         std::memcmp(b.data() + kDataHeaderBytes, kSnap, sizeof kSnap) == 0;
}

// A reply of type 0x8002 with status 0 (both little-endian).
bool IsSuccessfulFinish(const std::vector<std::uint8_t>& reply) {
  return reply.size() >= 16 && (reply[8] | reply[9] << 8) == kFinishReply && reply[14] == 0 && reply[15] == 0;
}

bool IsAutoLinkElement(const dot11::Bytes& body) {
  return body.size() == 6 && std::memcmp(body.data(), kMakerOui, 3) == 0 && body[3] == 0 && body[4] == 0;
}

// What the responder tells stations: the 16-byte value and the 128-byte block it encrypts.
constexpr std::array<std::uint8_t, 16> kValue = {'Z', 'e', 'l', 'n', 'e', 't', ' ', 'A',
                                                 'u', 't', 'o', ' ', 'L', 'i', 'n', 'k'};
std::array<std::uint8_t, 128> Block() {
  std::array<std::uint8_t, 128> block{};
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return block;
}

}  // namespace

AccessPoint::HookId AttachSwiftBondResponder(AccessPoint& ap, SwiftBondResponder& responder,
                                             std::function<void(const MacAddress& station)> finished) {
  return ap.addFrameHook([&ap, &responder, finished](const AirFrame& frame, const Reception&) {
    const MacAddress bssid = ap.address();
    if (!IsSwiftBondRequestTo(frame, bssid)) return false;
    MacAddress station;
    std::memcpy(station.data(), frame.bytes.data() + 10, 6);
    const std::uint8_t* body = frame.bytes.data() + kDataHeaderBytes;
    auto reply = responder.answer(bssid.data(), station.data(), body, frame.bytes.size() - kDataHeaderBytes);
    if (reply.empty()) return true;
    const bool over = IsSuccessfulFinish(reply);
    ap.sendData(station, bssid, dot11::Bytes(reply.begin(), reply.end()));
    if (over && finished) finished(station);
    return true;
  });
}

dot11::Bytes AutoLinkElementBody(std::uint8_t flags) {
  return {kMakerOui[0], kMakerOui[1], kMakerOui[2], 0x00, 0x00, flags};
}

SwiftBondAccessPoint::SwiftBondAccessPoint(ndis::Scheduler& scheduler, AccessPoint& ap, std::function<void()> bonded)
    : scheduler_(scheduler), ap_(ap), onBonded_(std::move(bonded)), responder_(ap.config().ssid, kValue, Block()) {
  // It carries on as WPA-PSK with the pass phrase: one WPA-PSK cannot take is refused.
  responder_.setPassphraseTest([](const std::string& passphrase) { return air::IsPskPassphrase(passphrase); });
  hook_ = AttachSwiftBondResponder(ap_, responder_, [this](const MacAddress&) {
    // Not inside the access point's own frame hook: the change runs as the next event.
    if (!bonded_ && !scheduler_.queued(pending_))
      pending_ = scheduler_.after(ndis::Micros(0), ndis::EventKind::Air, "swiftbond bonded", [this] { bond(); });
  });
}

SwiftBondAccessPoint::~SwiftBondAccessPoint() {
  scheduler_.cancel(pending_);
  if (hook_ != 0) ap_.removeFrameHook(hook_);
}

void SwiftBondAccessPoint::bond() {
  ap_.removeFrameHook(hook_);
  hook_ = 0;
  AccessPointConfig config = ap_.config();
  config.security = Security::Wpa;
  config.passphrase = Secret(responder_.passphrase());
  for (dot11::Bytes& body : config.vendorElements)
    if (IsAutoLinkElement(body)) body = AutoLinkElementBody(kAutoLinkConfigured);
  ap_.reconfigure(std::move(config));
  bonded_ = true;
  if (onBonded_) onBonded_();
}

}  // namespace simair
