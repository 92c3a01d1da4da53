// The access point's distribution port, written from IEEE 802.11 (data frame addressing,
// fragmentation) and RFC 1042 / 802.1H (SNAP).
#include "sim/air/distribution_port.h"

#include <algorithm>

namespace simair {
namespace {

constexpr std::size_t kHeader = 24;
constexpr std::uint8_t kRfc1042[6] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00};
constexpr std::uint8_t kTunnel[6] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0xF8};
constexpr std::size_t kMaxMsdu = 2304;

// An MSDU body that is RFC 1042 SNAP with the EAPOL type.
bool IsEapolBody(std::span<const std::uint8_t> body) {
  return body.size() >= 8 && std::equal(kRfc1042, kRfc1042 + 6, body.begin()) && body[6] == (kEapolType >> 8) &&
         body[7] == (kEapolType & 0xFF);
}

bool Tunnelled(std::uint16_t type) { return type == 0x80F3 || type == 0x8137; }

}  // namespace

dot11::Bytes EncapsulateBody(const EthernetFrame& frame) {
  dot11::Bytes body;
  if (frame.typeOrLength > 1500) {
    const std::uint8_t* snap = Tunnelled(frame.typeOrLength) ? kTunnel : kRfc1042;
    body.assign(snap, snap + 6);
    body.push_back(static_cast<std::uint8_t>(frame.typeOrLength >> 8));
    body.push_back(static_cast<std::uint8_t>(frame.typeOrLength));
  }
  body.insert(body.end(), frame.payload.begin(), frame.payload.end());
  return body;
}

DistributionPort::DistributionPort(AccessPoint& ap)
    : ap_(ap), keys_(ap.config().wepKeys, ap.config().wepKeyIndex) {
  keys_.useCkip(ap.config().ckipFlags);
  hook_ = ap_.addFrameHook([this](const AirFrame& frame, const Reception&) { return onFrame(frame); });
  watcher_ = ap_.addStationWatcher([this](const MacAddress& station, AccessPoint::StationEvent event, auto) {
    // A (re)connection starts afresh: no half-joined frame, no key of the old association.
    partial_.erase(station);
    held_.erase(station);
    if (event == AccessPoint::StationEvent::Left || ap_.config().security != Security::Wep) keys_.forget(station);
  });
  ap_.setDataProtector([this](const MacAddress& station, dot11::Bytes frame) { return protect(station, std::move(frame)); });
}

DistributionPort::~DistributionPort() {
  ap_.removeFrameHook(hook_);
  ap_.removeStationWatcher(watcher_);
  ap_.setDataProtector({});
}

std::optional<EthernetFrame> DistributionPort::take() {
  if (outbound_.empty()) return std::nullopt;
  EthernetFrame frame = std::move(outbound_.front());
  outbound_.pop_front();
  return frame;
}

AccessPoint::DataOutcome DistributionPort::deliver(const EthernetFrame& frame) {
  if (frame.typeOrLength == kEapolType) return ap_.sendData(frame.destination, frame.source, EncapsulateBody(frame));
  return toStation(frame.destination, frame.source, EncapsulateBody(frame));
}

AccessPoint::DataOutcome DistributionPort::toStation(const MacAddress& station, const MacAddress& source,
                                                     dot11::Bytes body) {
  const auto waiting = held_.find(station);
  if (waiting == held_.end()) return ap_.sendData(station, source, std::move(body));
  if (waiting->second.size() >= kMaxHeld) {
    ++heldDropped_;
    return AccessPoint::DataOutcome::Dropped;
  }
  waiting->second.push_back(BufferedFrame{source, std::move(body)});
  return AccessPoint::DataOutcome::Buffered;
}

void DistributionPort::holdData(const MacAddress& station) {
  if (ap_.associated(station)) held_.try_emplace(station);
}

void DistributionPort::releaseData(const MacAddress& station) {
  const auto waiting = held_.find(station);
  if (waiting == held_.end()) return;
  std::deque<BufferedFrame> frames = std::move(waiting->second);
  held_.erase(waiting);
  for (BufferedFrame& frame : frames) ap_.sendData(station, frame.source, std::move(frame.body));
}

std::size_t DistributionPort::held(const MacAddress& station) const {
  const auto waiting = held_.find(station);
  return waiting == held_.end() ? 0 : waiting->second.size();
}

AccessPoint::DataOutcome DistributionPort::sendEapol(const MacAddress& station, std::span<const std::uint8_t> eapol) {
  return deliver(EthernetFrame{station, ap_.address(), kEapolType, dot11::Bytes(eapol.begin(), eapol.end())});
}

std::optional<dot11::Bytes> DistributionPort::protect(const MacAddress& station, dot11::Bytes frame) {
  if (!protectedNetwork()) return frame;
  if (keys_.protects(station)) return keys_.seal(station, std::move(frame));
  // Before the 4-way handshake has keys only its own frames go, in the clear.
  if (frame.size() >= kHeader && IsEapolBody(std::span(frame).subspan(kHeader))) return frame;
  return std::nullopt;
}

// Always false: the access point itself still sees the frame (power management).
bool DistributionPort::onFrame(const AirFrame& frame) {
  const dot11::FrameView view(frame.bytes);
  if (!view.hasFrameControl() || view.type() != dot11::FrameType::Data || view.subtype() != dot11::subtype::Data) return false;
  const std::uint8_t flags = view.flags();
  const auto to = view.address1();
  const auto from = view.address2();
  const auto destination = view.address3();
  if (frame.bytes.size() < kHeader || !to || !from || !destination || *to != ap_.address()) return false;
  if ((flags & (dot11::flag::ToDs | dot11::flag::FromDs)) != dot11::flag::ToDs || !ap_.associated(*from)) {
    ++refused_;
    return false;
  }
  if ((flags & dot11::flag::Protected) == 0) {
    // In the clear where keys are in force only an unfragmented EAPOL frame is taken.
    const bool whole = (flags & dot11::flag::MoreFragments) == 0 && (frame.bytes[22] & 0x0F) == 0;
    if (protectedNetwork() && !(whole && IsEapolBody(std::span(frame.bytes).subspan(kHeader)))) {
      ++refused_;
      return false;
    }
    mpdu(*from, *destination, frame.bytes, kHeader, DataCipher::None, 0);
    return false;
  }
  Refusal why = Refusal::None;
  auto opened = keys_.open(*from, frame.bytes, why);
  if (!opened) {
    ++refused_;
    return false;
  }
  mpdu(*from, *destination, opened->frame, kHeader, opened->cipher, opened->keyGeneration);
  return false;
}

void DistributionPort::mpdu(const MacAddress& from, const MacAddress& destination, std::span<const std::uint8_t> frame,
                            std::size_t headerLength, DataCipher cipher, std::uint32_t keyGeneration) {
  const std::uint16_t control = static_cast<std::uint16_t>(frame[22] | frame[23] << 8);
  const auto sequence = static_cast<std::uint16_t>(control >> 4);
  const auto fragment = static_cast<std::uint8_t>(control & 0x0F);
  const bool more = (frame[1] & dot11::flag::MoreFragments) != 0;
  const auto body = frame.subspan(headerLength);

  if (fragment == 0 && !more) {
    partial_.erase(from);
    msdu(from, destination, Partial{sequence, 1, cipher, keyGeneration, 0, dot11::Bytes(body.begin(), body.end())});
    return;
  }
  Partial& partial = partial_[from];
  if (fragment == 0) {
    partial = Partial{sequence, 1, cipher, keyGeneration, 0, dot11::Bytes(body.begin(), body.end())};
  } else if (partial.nextFragment != fragment || partial.sequence != sequence ||
             partial.body.size() + body.size() > kMaxMsdu || partial.cipher != cipher ||
             partial.keyGeneration != keyGeneration) {
    // Out of order, or under another key than the fragments before it: the frame ends.
    partial_.erase(from);
    ++refused_;
    return;
  } else {
    partial.body.insert(partial.body.end(), body.begin(), body.end());
    ++partial.nextFragment;
  }
  if (!more) {
    Partial joined = std::move(partial);
    partial_.erase(from);
    msdu(from, destination, std::move(joined));
  }
}

void DistributionPort::msdu(const MacAddress& from, const MacAddress& to, Partial joined) {
  dot11::Bytes& body = joined.body;
  // TKIP: Michael of the whole MSDU, before anything of it is used.
  if (!keys_.finishMsdu(from, joined.cipher, to, from, joined.priority, body)) {
    ++refused_;
    return;
  }
  EthernetFrame frame;
  frame.destination = to;
  frame.source = from;
  const bool snap = body.size() >= 8 && (std::equal(kRfc1042, kRfc1042 + 6, body.begin()) ||
                                          std::equal(kTunnel, kTunnel + 6, body.begin()));
  if (snap) {
    frame.typeOrLength = static_cast<std::uint16_t>(body[6] << 8 | body[7]);
    frame.payload.assign(body.begin() + 8, body.end());
  } else {
    frame.typeOrLength = static_cast<std::uint16_t>(body.size());
    frame.payload = body;
  }
  if (snap && frame.typeOrLength == kEapolType) {
    if (eapolHandler_) eapolHandler_(from, frame.payload);
    return;
  }
  // Between two stations of this access point the frame stays on the air.
  if (ap_.associated(to)) {
    toStation(to, from, std::move(body));
    return;
  }
  // Nobody may be reading the wired side (zelnicd's world): it holds a bounded number.
  if (outbound_.size() >= kMaxWaiting) {
    ++overflowed_;
    return;
  }
  outbound_.push_back(std::move(frame));
}

}  // namespace simair
