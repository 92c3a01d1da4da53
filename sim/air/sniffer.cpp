#include "sim/air/sniffer.h"

namespace simair {

Sniffer::Sniffer(Air& air, MacAddress address, std::uint8_t channel, PcapRecorder& recorder)
    : air_(air), address_(address), channel_(channel), recorder_(recorder) {
  air_.join(*this);
}

Sniffer::~Sniffer() { air_.leave(*this); }

void Sniffer::receive(const AirFrame& frame, const Reception& reception) {
  ++heard_;
  recorder_.record(frame, reception.signalDbm, reception.atMicros);
}

}  // namespace simair
