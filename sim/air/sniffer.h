#pragma once
// A radio that only listens: every frame it hears on its channel goes to its pcap recorder,
// with the signal it received. It never transmits, so it acknowledges nothing (give it an
// address no frame is sent to).
#include "sim/air/pcap_recorder.h"
#include "sim/air/radio.h"

namespace simair {

class Sniffer final : public Radio {
public:
  Sniffer(Air& air, MacAddress address, std::uint8_t channel, PcapRecorder& recorder);
  ~Sniffer() override;
  Sniffer(const Sniffer&) = delete;
  Sniffer& operator=(const Sniffer&) = delete;

  void setChannel(std::uint8_t channel) { channel_ = channel; }
  std::uint64_t framesHeard() const { return heard_; }

  MacAddress address() const override { return address_; }
  std::uint8_t channel() const override { return channel_; }
  bool radioOn() const override { return true; }
  void receive(const AirFrame& frame, const Reception& reception) override;

private:
  Air& air_;
  MacAddress address_;
  std::uint8_t channel_;
  PcapRecorder& recorder_;
  std::uint64_t heard_ = 0;
};

}  // namespace simair
