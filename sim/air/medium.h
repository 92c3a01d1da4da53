#pragma once
// The simulated air: radios join it, and a frame one radio transmits reaches, after its
// airtime, every other radio that is on and on the same channel, with the signal
// "transmit power minus the pair's path loss". Unicast frames are acknowledged when the
// addressed radio is there to hear them. Links may lose frames at a seeded rate (the
// scheduler's reproducible random source), and rules drop the next n frames that match.
// Every frame transmitted is also handed to the recorder (pcap), dropped ones included: the
// recorder hears what was sent, as a sniffer beside the sender would.
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "platform/ndis/scheduler.h"
#include "sim/air/ieee80211.h"
#include "sim/air/radio.h"

namespace simair {

class PcapRecorder;

// Which frames a drop rule takes; an unset field matches anything.
struct FrameMatch {
  std::optional<dot11::FrameType> type;
  std::optional<std::uint8_t> subtype;
  std::optional<MacAddress> transmitter;  // address 2
  std::optional<MacAddress> receiver;     // address 1
  bool matches(const AirFrame& frame) const;
};

struct MediumCounters {
  std::uint64_t transmitted = 0;   // frames handed to transmit() and put on the air
  std::uint64_t refused = 0;       // empty, oversized, or from a radio that is off or not joined
  std::uint64_t dropped = 0;       // by a drop rule (the whole frame)
  std::uint64_t lost = 0;          // by a link's loss rate (one receiver each)
  std::uint64_t delivered = 0;     // receptions
  std::uint64_t acknowledged = 0;
};

class Medium final : public Air {
public:
  // Frames longer than this are refused (far above any 802.11 MPDU).
  static constexpr std::size_t kMaxFrameBytes = 4095;

  explicit Medium(ndis::Scheduler& scheduler, int defaultPathLossDb = 60);
  ~Medium() override;
  Medium(const Medium&) = delete;
  Medium& operator=(const Medium&) = delete;

  // Air
  void join(Radio& radio) override;
  void leave(Radio& radio) override;
  Transmission transmit(Radio& from, AirFrame frame) override;

  // Path loss between two addresses, the same both ways; the default for any other pair.
  void setDefaultPathLoss(int lossDb) { defaultPathLossDb_ = lossDb; }
  void setPathLoss(const MacAddress& a, const MacAddress& b, int lossDb);
  int pathLoss(const MacAddress& a, const MacAddress& b) const;
  // What `to` receives of a frame `from` transmits.
  int signalDbm(const Radio& from, const MacAddress& to) const;

  // Probability (0..1) that a frame from `from` does not reach `to` (one way).
  void setLossRate(const MacAddress& from, const MacAddress& to, double probability);
  // The next `count` frames that match are lost for every receiver (and not acknowledged).
  void dropNext(unsigned count, FrameMatch match);
  unsigned pendingDrops() const;

  // Every transmitted frame goes here; the signal recorded is what `observer` receives
  // (usually the station), or transmit power minus the default loss without one.
  void setRecorder(PcapRecorder* recorder, std::optional<MacAddress> observer = std::nullopt);

  const MediumCounters& counters() const { return counters_; }
  bool joined(const Radio& radio) const { return joins_.contains(const_cast<Radio*>(&radio)); }

  // Air time of a frame of `bytes` (FCS added) at the rate: long-preamble DSSS/CCK for 1, 2,
  // 5.5 and 11 Mbit/s, OFDM (ERP) for the others.
  static std::int64_t AirtimeMicros(std::size_t bytes, std::uint16_t rateHalfMbps);

private:
  struct Receiver {
    Radio* radio;
    std::uint64_t joinSerial;
    int signalDbm;
  };
  struct DropRule {
    unsigned remaining;
    FrameMatch match;
  };
  using Pair = std::pair<MacAddress, MacAddress>;
  static Pair Ordered(const MacAddress& a, const MacAddress& b);
  bool takeDropRule(const AirFrame& frame);
  bool linkLoses(const MacAddress& from, const MacAddress& to);
  void deliver(const AirFrame& frame, std::int64_t atMicros, const std::vector<Receiver>& receivers);

  ndis::Scheduler& scheduler_;
  int defaultPathLossDb_;
  std::map<Radio*, std::uint64_t> joins_;  // radio -> serial of its current join
  std::vector<Radio*> order_;              // joined radios in the order they joined
  std::uint64_t nextJoinSerial_ = 1;
  std::map<Pair, int> pathLoss_;
  std::map<std::pair<MacAddress, MacAddress>, double> lossRate_;
  std::vector<DropRule> dropRules_;
  std::mt19937_64 random_;
  PcapRecorder* recorder_ = nullptr;
  std::optional<MacAddress> observer_;
  MediumCounters counters_;
  // Deliveries still queued; cancelled when the medium goes first.
  std::map<std::uint64_t, ndis::EventId> pending_;
  std::uint64_t nextDelivery_ = 1;
  // When each radio's last frame arrives.
  std::map<Radio*, std::int64_t> lastArrival_;
};

}  // namespace simair
