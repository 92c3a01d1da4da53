#pragma once
// An access point's frames for stations in power save (IEEE 802.11 power management): while a
// station dozes, frames for it wait here, and the beacon's TIM element carries a bit for each
// association id that has frames waiting. A station that wakes (a frame with the PM bit clear)
// takes them all; a PS-Poll takes one.
#include <cstdint>
#include <deque>
#include <map>
#include <optional>

#include "sim/air/ieee80211.h"

namespace simair {

// A frame waiting for a station: its source and the LLC body of the data frame.
struct BufferedFrame {
  MacAddress source{};
  dot11::Bytes body;
};

class PowerSaveBuffer {
public:
  static constexpr std::size_t kFramesPerStation = 64;  // beyond that, new frames are dropped
  static constexpr std::uint16_t kMaxAid = 2007;

  // Keeps the frame for `aid`; false when that station's buffer is full (the frame is dropped).
  bool hold(std::uint16_t aid, BufferedFrame frame);
  std::optional<BufferedFrame> takeOne(std::uint16_t aid);
  std::size_t count(std::uint16_t aid) const;
  void forget(std::uint16_t aid);
  std::uint64_t dropped() const { return dropped_; }

  // The body of a TIM element: DTIM count and period, bitmap control (the offset of the
  // partial virtual bitmap, in pairs of bytes), and the partial virtual bitmap itself.
  dot11::Bytes timBody(std::uint8_t dtimCount, std::uint8_t dtimPeriod) const;

private:
  std::map<std::uint16_t, std::deque<BufferedFrame>> frames_;
  std::uint64_t dropped_ = 0;
};

}  // namespace simair
