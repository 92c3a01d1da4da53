#pragma once
// Where a radio meets the simulated air. The medium (sim/air/medium.h) carries frames between
// radios; a radio is anything with an antenna: the simulated chip, an access point, an IBSS
// peer, a sniffer. Everything runs on one ndis::Scheduler (virtual time in tests, real time in
// zelnicd); deliveries are EventKind::Air events.
//
//   chip --transmit(frame)--> Medium --(same channel, path loss, loss rules)--> Radio::receive
//                               └──> pcap (radiotap: channel, rate, signal)
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace simair {

using MacAddress = std::array<std::uint8_t, 6>;

// One frame on the air: the 802.11 MAC frame without FCS, as it would be on the wire.
struct AirFrame {
  std::vector<std::uint8_t> bytes;
  std::uint8_t channel = 0;          // 1..14
  std::uint16_t rateHalfMbps = 2;    // in 500 kbit/s units, as in the rate element (2 = 1 Mbit/s)
};

// What a receiver is told besides the frame.
struct Reception {
  int signalDbm = 0;    // transmit power minus the pair's path loss
  std::int64_t atMicros = 0;
};

// The outcome of one transmission, known at once to the sender (the medium decides loss and
// acknowledgement when the frame is sent, and delivers it after its airtime).
struct Transmission {
  bool acknowledged = false;   // unicast to a radio that is on, on the channel, and not lost
  std::int64_t airtimeMicros = 0;
};

class Radio {
public:
  virtual ~Radio() = default;
  // The address that acknowledges unicast frames (receiver address = this).
  virtual MacAddress address() const = 0;
  virtual std::uint8_t channel() const = 0;
  virtual bool radioOn() const = 0;
  virtual int transmitPowerDbm() const { return 15; }
  // Every frame sent on this radio's channel by another radio, after its airtime. A radio
  // filters for itself (receiver address, BSSID); the medium does not.
  virtual void receive(const AirFrame& frame, const Reception& reception) = 0;
};

// What a radio transmits through. The medium implements it; a test may put a simple double
// (loopback, recorder) in its place.
class Air {
public:
  virtual ~Air() = default;
  virtual void join(Radio& radio) = 0;    // the radio hears its channel from now on
  virtual void leave(Radio& radio) = 0;   // never called back after this returns
  virtual Transmission transmit(Radio& from, AirFrame frame) = 0;
};

}  // namespace simair
