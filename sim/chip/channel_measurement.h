#pragma once
// The chip's radio measurements for CCX: while a measurement runs, every frame the radio
// hears on its channel counts its airtime as busy, in the power range of its signal. The
// commands and their results (MEASURE_0118/0119/011A) are laid out in sim/chip/README.md.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "sim/air/radio.h"

namespace simchip {

class ChannelMeasurement {
 public:
  // Fills the result fields of a measurement command's response (the request's copy) at
  // time `nowMicros`; other commands are left alone.
  void answer(std::uint16_t code, std::span<const std::uint8_t> record, std::vector<std::uint8_t>& response,
              std::int64_t nowMicros);
  // A frame heard on the radio's channel.
  void heard(const simair::AirFrame& frame, const simair::Reception& reception);

  // The power range (0..7) a signal falls in: 0 below -87 dBm, then 5 dB steps, 7 from -57 dBm.
  static unsigned RpiRange(int signalDbm);

 private:
  struct Window {
    bool running = false;
    std::int64_t startMicros = 0;
    std::int64_t busyMicros = 0;
    std::array<std::int64_t, 8> rangeMicros{};
  };
  static void Start(Window& w, std::int64_t now);
  // The share of the window's time, 0..255.
  static std::uint32_t Share(std::int64_t part, std::int64_t whole);

  Window load_;
  Window histogram_;
};

}  // namespace simchip
