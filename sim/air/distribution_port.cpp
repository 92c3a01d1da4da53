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

DistributionPort::DistributionPort(AccessPoint& ap) : ap_(ap) {
  ap_.setFrameHook([this](const AirFrame& frame, const Reception&) { return onFrame(frame); });
}

std::optional<EthernetFrame> DistributionPort::take() {
  if (outbound_.empty()) return std::nullopt;
  EthernetFrame frame = std::move(outbound_.front());
  outbound_.pop_front();
  return frame;
}

AccessPoint::DataOutcome DistributionPort::deliver(const EthernetFrame& frame) {
  return ap_.sendData(frame.destination, frame.source, EncapsulateBody(frame));
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
  if ((flags & (dot11::flag::ToDs | dot11::flag::FromDs)) != dot11::flag::ToDs || !ap_.associated(*from) ||
      (flags & dot11::flag::Protected) != 0) {
    ++refused_;
    return false;
  }
  const std::uint16_t control = static_cast<std::uint16_t>(frame.bytes[22] | frame.bytes[23] << 8);
  const auto sequence = static_cast<std::uint16_t>(control >> 4);
  const auto fragment = static_cast<std::uint8_t>(control & 0x0F);
  const bool more = (flags & dot11::flag::MoreFragments) != 0;
  const auto body = std::span(frame.bytes).subspan(kHeader);

  if (fragment == 0 && !more) {
    partial_.erase(*from);
    msdu(*from, *destination, dot11::Bytes(body.begin(), body.end()));
    return false;
  }
  Partial& partial = partial_[*from];
  if (fragment == 0) {
    partial = Partial{sequence, 1, dot11::Bytes(body.begin(), body.end())};
  } else if (partial.nextFragment != fragment || partial.sequence != sequence ||
             partial.body.size() + body.size() > kMaxMsdu) {
    partial_.erase(*from);  // a fragment out of order ends the frame
    ++refused_;
    return false;
  } else {
    partial.body.insert(partial.body.end(), body.begin(), body.end());
    ++partial.nextFragment;
  }
  if (!more) {
    const dot11::Bytes joined = std::move(partial.body);
    partial_.erase(*from);
    msdu(*from, *destination, joined);
  }
  return false;
}

void DistributionPort::msdu(const MacAddress& from, const MacAddress& to, const dot11::Bytes& body) {
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
  // Between two stations of this access point the frame stays on the air.
  if (ap_.associated(to)) {
    ap_.sendData(to, from, body);
    return;
  }
  outbound_.push_back(std::move(frame));
}

}  // namespace simair
