#include "sim/air/distribution_tap.h"

#include <algorithm>

namespace simair {
namespace {

constexpr std::size_t kEthernetHeader = 14;

}  // namespace

std::unique_ptr<DistributionTap> DistributionTap::bind(DistributionPort& port, ndis::Scheduler& scheduler,
                                                       const std::string& name,
                                                       const std::string& netnsPath,
                                                       std::string& error) {
  auto tap = ndis::TapDevice::open(
      name, netnsPath, [&scheduler] { scheduler.post(ndis::EventKind::Host, "tap frames", [] {}); },
      error);
  if (!tap) return nullptr;
  return std::unique_ptr<DistributionTap>(new DistributionTap(port, std::move(tap)));
}

void DistributionTap::pump() {
  for (const ndis::TapDevice::Frame& bytes : tap_->takeInbound()) {
    if (bytes.size() < kEthernetHeader || (bytes[0] & 0x01) != 0) {
      ++dropped_;
      continue;
    }
    EthernetFrame frame;
    std::copy_n(bytes.begin(), 6, frame.destination.begin());
    std::copy_n(bytes.begin() + 6, 6, frame.source.begin());
    frame.typeOrLength = static_cast<std::uint16_t>(bytes[12] << 8 | bytes[13]);
    frame.payload.assign(bytes.begin() + kEthernetHeader, bytes.end());
    if (port_.deliver(frame) == AccessPoint::DataOutcome::Dropped) ++dropped_;
  }
  while (std::optional<EthernetFrame> frame = port_.take()) {
    dot11::Bytes bytes(frame->destination.begin(), frame->destination.end());
    bytes.insert(bytes.end(), frame->source.begin(), frame->source.end());
    bytes.push_back(static_cast<std::uint8_t>(frame->typeOrLength >> 8));
    bytes.push_back(static_cast<std::uint8_t>(frame->typeOrLength));
    bytes.insert(bytes.end(), frame->payload.begin(), frame->payload.end());
    tap_->write(bytes);
  }
}

}  // namespace simair
