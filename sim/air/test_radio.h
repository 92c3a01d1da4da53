#pragma once
// A radio for tests: fixed address, channel and power, remembers what it heard.
#include <vector>

#include "sim/air/radio.h"

namespace simair {

struct Heard {
  AirFrame frame;
  Reception reception;
};

class TestRadio final : public Radio {
public:
  TestRadio(MacAddress address, std::uint8_t channel, int powerDbm = 15)
      : address_(address), channel_(channel), power_(powerDbm) {}
  MacAddress address() const override { return address_; }
  std::uint8_t channel() const override { return channel_; }
  bool radioOn() const override { return on; }
  int transmitPowerDbm() const override { return power_; }
  void receive(const AirFrame& frame, const Reception& reception) override { heard.push_back({frame, reception}); }

private:
  MacAddress address_;

public:
  std::uint8_t channel_;  // tests move it
  bool on = true;
  std::vector<Heard> heard;

private:
  int power_;
};

}  // namespace simair
