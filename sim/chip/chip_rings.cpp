// The chip's side of the DMA rings: the transmit walk on doorbell 1 and the receive writes
// of frames that passed the filter. Descriptors are read and written by DMA only; an
// address outside shared memory is the host's fault (and the runtime's violation).
#include <algorithm>

#include "sim/chip/air_frames.h"
#include "sim/chip/chip_registers.h"
#include "sim/chip/sim_chip.h"

namespace simchip {
namespace {

constexpr std::uint32_t kOwnedByChip = 0x80000000;
constexpr std::uint32_t kAcknowledged = 1;
constexpr std::size_t kTxDescriptor = 32;
constexpr std::size_t kRxDescriptor = 20;
constexpr std::uint8_t kFilled = 0x80;
constexpr std::size_t kBufferBytes = 2032;
constexpr std::size_t kRingLap = 64;

std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16) | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

}  // namespace

void SimChip::walkTransmitRing() {
  if (!bus_ || txPointer_ == 0 || knobs_.holdTransmit) return;
  bool completed = false;
  for (std::size_t n = 0; n < kRingLap; ++n) {
    std::array<std::uint8_t, kTxDescriptor> d{};
    if (!bus_->dmaRead(txPointer_, d)) {
      fault("transmit descriptor outside shared memory");
      return;
    }
    if ((U32(d, 0) & kOwnedByChip) == 0) break;
    const std::size_t length = U16(d, 12);
    std::uint32_t bits = 0;
    if (length < kChipHeader || length > kBufferBytes) {
      fault("transmit descriptor of length " + std::to_string(length));
    } else {
      std::vector<std::uint8_t> buffer(length);
      if (!bus_->dmaRead(U32(d, 8), buffer)) {
        fault("transmit buffer outside shared memory");
      } else if (auto frames = ChipFramesToAir(buffer)) {
        bool delivered = true;
        for (auto& frame : *frames) delivered = transmitAir(std::move(frame), d[4] & 0x7F) && delivered;
        bits = delivered ? kAcknowledged : 0;
      } else {
        fault("transmit buffer whose frame runs past the descriptor's length");
      }
    }
    const std::array<std::uint8_t, 4> status{static_cast<std::uint8_t>(bits), 0, 0, 0};
    bus_->dmaWrite(txPointer_, status);
    completed = true;
    txPointer_ = U32(d, 20);
  }
  if (completed) raise(kCauseTxDone);
}

bool SimChip::writeReceiveRing(std::span<const std::uint8_t> air, int signalDbm, std::uint16_t rateHalfMbps) {
  if (!bus_ || rxPointer_ == 0) return false;
  if (rxStalled_) {
    ++rings_.receiveDropped;
    return false;
  }
  std::array<std::uint8_t, kRxDescriptor> d{};
  if (!bus_->dmaRead(rxPointer_, d)) {
    fault("receive descriptor outside shared memory");
    return false;
  }
  if (d[0] & kFilled) {
    // Full: this frame is lost, and so is everything until the host says "resume".
    ++rings_.receiveDropped;
    rxStalled_ = true;
    return false;
  }
  const auto chip = AirToChip(air);
  if (!chip || chip->size() > kBufferBytes) {
    ++rings_.filtered;
    return false;
  }
  if (!bus_->dmaWrite(U32(d, 8), *chip)) {
    fault("receive buffer outside shared memory");
    return false;
  }
  const auto length = static_cast<std::uint16_t>(chip->size());
  const std::array<std::uint8_t, 8> head{kFilled,
                                         static_cast<std::uint8_t>(std::clamp(signalDbm + 96, 0, 255)),
                                         d[2],
                                         d[3],
                                         static_cast<std::uint8_t>(length),
                                         static_cast<std::uint8_t>(length >> 8),
                                         0,
                                         static_cast<std::uint8_t>(rateHalfMbps)};
  bus_->dmaWrite(rxPointer_, head);
  rxPointer_ = U32(d, 12);
  ++rings_.framesReceived;
  ++firmware_.counters().receivedFragments;
  raise(kCauseRx);
  return true;
}

}  // namespace simchip
