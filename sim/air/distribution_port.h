#pragma once
// The access point's distribution port: data frames its associated stations send toward
// the distribution system come out here as 802.3 frames (SNAP stripped, fragments joined),
// frames between two of its stations are bridged on the air, and 802.3 frames written into
// the port go to the station they name. Tests read and write the port as the wired side of
// the network would. Protected frames are not read here (the ciphers of the data plane are
// another piece's).
#include <cstdint>
#include <deque>
#include <map>
#include <optional>

#include "sim/air/access_point.h"

namespace simair {

struct EthernetFrame {
  MacAddress destination{};
  MacAddress source{};
  std::uint16_t typeOrLength = 0;  // an EtherType, or the length of an LLC frame (1500 or less)
  dot11::Bytes payload;            // after the 14-byte header
};

class DistributionPort {
public:
  // Takes the access point's frame hook.
  explicit DistributionPort(AccessPoint& ap);
  DistributionPort(const DistributionPort&) = delete;
  DistributionPort& operator=(const DistributionPort&) = delete;

  // The next frame a station sent to the distribution system, or nothing.
  std::optional<EthernetFrame> take();
  std::size_t waiting() const { return outbound_.size(); }
  // A frame from the distribution system to one of the access point's stations.
  AccessPoint::DataOutcome deliver(const EthernetFrame& frame);
  // Frames not taken: malformed, protected, or fragments that did not join.
  std::uint64_t refused() const { return refused_; }

private:
  struct Partial {
    std::uint16_t sequence = 0;
    std::uint8_t nextFragment = 0;
    dot11::Bytes body;
  };
  bool onFrame(const AirFrame& frame);
  void msdu(const MacAddress& from, const MacAddress& to, const dot11::Bytes& body);

  AccessPoint& ap_;
  std::deque<EthernetFrame> outbound_;
  std::map<MacAddress, Partial> partial_;
  std::uint64_t refused_ = 0;
};

// The frame body for an 802.3 frame: RFC 1042 (bridge tunnel for 0x80F3 and 0x8137) SNAP
// and the payload, or the payload alone for a length frame.
dot11::Bytes EncapsulateBody(const EthernetFrame& frame);

}  // namespace simair
