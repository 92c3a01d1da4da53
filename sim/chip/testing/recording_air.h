#pragma once
// A stand-in for the medium in the chip's tests: it records every frame a radio transmits,
// acknowledges unicast frames when told to, and hands frames to a radio at once. A test
// that needs an access point scripts it on top (onTransmit).
#include <functional>
#include <vector>

#include "sim/air/radio.h"

namespace simchip::testing {

class RecordingAir final : public simair::Air {
public:
  void join(simair::Radio& radio) override { radios.push_back(&radio); }
  void leave(simair::Radio& radio) override { std::erase(radios, &radio); }
  simair::Transmission transmit(simair::Radio& from, simair::AirFrame frame) override {
    const bool group = frame.bytes.size() >= 10 && (frame.bytes[4] & 1) != 0;
    ++transmitted;
    if (record) sent.push_back(frame);
    if (onTransmit) onTransmit(from, record ? sent.back() : frame);
    return {!group && acknowledge, 0};
  }
  // Delivers a frame to `to` now, as the medium would after its airtime.
  static void deliver(simair::Radio& to, std::vector<std::uint8_t> bytes, int signalDbm = -40,
                      std::uint16_t rateHalfMbps = 22) {
    to.receive(simair::AirFrame{std::move(bytes), to.channel(), rateHalfMbps}, simair::Reception{signalDbm, 0});
  }

  std::vector<simair::Radio*> radios;
  std::vector<simair::AirFrame> sent;
  std::size_t transmitted = 0;
  bool record = true;
  bool acknowledge = true;
  std::function<void(simair::Radio&, const simair::AirFrame&)> onTransmit;
};

}  // namespace simchip::testing
