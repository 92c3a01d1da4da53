#include "sim/air/distribution_tap.h"

#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace simair {
namespace {

constexpr std::size_t kEthernetHeader = 14;
constexpr std::size_t kMaxFrame = 65536;

}  // namespace

std::unique_ptr<DistributionTap> DistributionTap::bind(DistributionPort& port, ndis::Scheduler& scheduler,
                                                       const std::string& name, const std::string& netnsPath,
                                                       std::string& error) {
  auto tap = ndis::TapDevice::open(name, netnsPath, error);
  if (!tap) return nullptr;
  std::unique_ptr<DistributionTap> bound(new DistributionTap(port, scheduler, std::move(tap)));
  if (!bound->watch_) {
    error = "cannot watch TAP " + name + ": " + std::strerror(errno);
    return nullptr;
  }
  return bound;
}

DistributionTap::DistributionTap(DistributionPort& port, ndis::Scheduler& scheduler,
                                 std::unique_ptr<ndis::TapDevice> tap)
    : port_(port), scheduler_(scheduler), tap_(std::move(tap)), readBuffer_(kMaxFrame) {
  // A TAP that already holds frames is reported at once.
  watch_ = scheduler_.watch(tap_->fd(), ndis::EventKind::Air, "tap frames", [this] { deliverInbound(); });
}

DistributionTap::~DistributionTap() { scheduler_.unwatch(watch_); }

// Until the TAP is read empty, as the watch is edge-triggered.
void DistributionTap::deliverInbound() {
  for (;;) {
    std::size_t length = 0;
    const auto result = tap_->read(readBuffer_, length);
    if (result == ndis::TapDevice::ReadResult::Empty) return;
    if (result == ndis::TapDevice::ReadResult::TooLong || length < kEthernetHeader || (readBuffer_[0] & 0x01) != 0) {
      ++dropped_;
      continue;
    }
    std::copy_n(readBuffer_.begin(), 6, inbound_.destination.begin());
    std::copy_n(readBuffer_.begin() + 6, 6, inbound_.source.begin());
    inbound_.typeOrLength = static_cast<std::uint16_t>(readBuffer_[12] << 8 | readBuffer_[13]);
    inbound_.payload.assign(readBuffer_.begin() + kEthernetHeader, readBuffer_.begin() + static_cast<long>(length));
    if (port_.deliver(inbound_) == AccessPoint::DataOutcome::Dropped) ++dropped_;
  }
}

void DistributionTap::pump() {
  while (std::optional<EthernetFrame> frame = port_.take()) {
    std::array<std::uint8_t, kEthernetHeader> header;
    std::copy(frame->destination.begin(), frame->destination.end(), header.begin());
    std::copy(frame->source.begin(), frame->source.end(), header.begin() + 6);
    header[12] = static_cast<std::uint8_t>(frame->typeOrLength >> 8);
    header[13] = static_cast<std::uint8_t>(frame->typeOrLength);
    const std::array<iovec, 2> pieces{iovec{header.data(), header.size()},
                                      iovec{frame->payload.data(), frame->payload.size()}};
    tap_->write(pieces);
  }
}

}  // namespace simair
