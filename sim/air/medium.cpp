#include "sim/air/medium.h"

#include <algorithm>
#include <memory>

#include "sim/air/pcap_recorder.h"

namespace simair {

bool FrameMatch::matches(const AirFrame& frame) const {
  const dot11::FrameView view(frame.bytes);
  if (!view.hasFrameControl()) return false;
  if (type && view.type() != *type) return false;
  if (subtype && view.subtype() != *subtype) return false;
  if (receiver && view.address1() != receiver) return false;
  if (transmitter && view.address2() != transmitter) return false;
  return true;
}

Medium::Medium(ndis::Scheduler& scheduler, int defaultPathLossDb)
    : scheduler_(scheduler), defaultPathLossDb_(defaultPathLossDb), random_(scheduler.randomFor("simair.medium")) {}

Medium::~Medium() {
  for (const auto& [serial, event] : pending_) scheduler_.cancel(event);
}

void Medium::join(Radio& radio) {
  if (joins_.contains(&radio)) return;
  joins_[&radio] = nextJoinSerial_++;
  order_.push_back(&radio);
}

void Medium::leave(Radio& radio) {
  joins_.erase(&radio);
  lastArrival_.erase(&radio);
  order_.erase(std::remove(order_.begin(), order_.end(), &radio), order_.end());
}

Medium::Pair Medium::Ordered(const MacAddress& a, const MacAddress& b) {
  return a < b ? Pair{a, b} : Pair{b, a};
}

void Medium::setPathLoss(const MacAddress& a, const MacAddress& b, int lossDb) {
  pathLoss_[Ordered(a, b)] = lossDb;
}

int Medium::pathLoss(const MacAddress& a, const MacAddress& b) const {
  const auto found = pathLoss_.find(Ordered(a, b));
  return found != pathLoss_.end() ? found->second : defaultPathLossDb_;
}

int Medium::signalDbm(const Radio& from, const MacAddress& to) const {
  return from.transmitPowerDbm() - pathLoss(from.address(), to);
}

void Medium::setLossRate(const MacAddress& from, const MacAddress& to, double probability) {
  lossRate_[{from, to}] = std::clamp(probability, 0.0, 1.0);
}

void Medium::dropNext(unsigned count, FrameMatch match) {
  if (count > 0) dropRules_.push_back({count, std::move(match)});
}

unsigned Medium::pendingDrops() const {
  unsigned total = 0;
  for (const DropRule& rule : dropRules_) total += rule.remaining;
  return total;
}

void Medium::setRecorder(PcapRecorder* recorder, std::optional<MacAddress> observer) {
  recorder_ = recorder;
  observer_ = observer;
}

std::int64_t Medium::AirtimeMicros(std::size_t bytes, std::uint16_t rateHalfMbps) {
  const std::int64_t bits = static_cast<std::int64_t>(bytes + 4) * 8;  // with the FCS
  const std::int64_t rate = rateHalfMbps == 0 ? 2 : rateHalfMbps;
  if (rate == 2 || rate == 4 || rate == 11 || rate == 22) {
    // 192 us long preamble and PLCP header, then the bits at the rate.
    return 192 + (bits * 2 + rate - 1) / rate;
  }
  // 20 us preamble and SIGNAL, then 4 us symbols of rate x 4 bits (16 service + 6 tail bits).
  const std::int64_t bitsPerSymbol = rate * 2;
  return 20 + 4 * ((16 + bits + 6 + bitsPerSymbol - 1) / bitsPerSymbol);
}

bool Medium::takeDropRule(const AirFrame& frame) {
  for (auto rule = dropRules_.begin(); rule != dropRules_.end(); ++rule) {
    if (!rule->match.matches(frame)) continue;
    if (--rule->remaining == 0) dropRules_.erase(rule);
    return true;
  }
  return false;
}

bool Medium::linkLoses(const MacAddress& from, const MacAddress& to) {
  const auto found = lossRate_.find({from, to});
  if (found == lossRate_.end() || found->second <= 0.0) return false;
  // 53 random bits as a fraction in [0, 1): the same on every platform, unlike the
  // standard distributions.
  const double draw = static_cast<double>(random_() >> 11) * 0x1.0p-53;
  return draw < found->second;
}

Transmission Medium::transmit(Radio& from, AirFrame frame) {
  if (frame.bytes.empty() || frame.bytes.size() > kMaxFrameBytes || !joins_.contains(&from) || !from.radioOn()) {
    ++counters_.refused;
    return {};
  }
  ++counters_.transmitted;
  const std::int64_t now = scheduler_.now().count();
  Transmission result;
  result.airtimeMicros = AirtimeMicros(frame.bytes.size(), frame.rateHalfMbps);

  if (recorder_ != nullptr) {
    const int signal = observer_ ? signalDbm(from, *observer_) : from.transmitPowerDbm() - defaultPathLossDb_;
    recorder_->record(frame, signal, now);
  }
  if (takeDropRule(frame)) {
    ++counters_.dropped;
    return result;
  }

  const MacAddress sender = from.address();
  const std::optional<MacAddress> receiverAddress = dot11::FrameView(frame.bytes).address1();
  const bool unicast = receiverAddress && !dot11::IsGroup(*receiverAddress);
  std::vector<Receiver> receivers;
  for (Radio* radio : order_) {
    if (radio == &from || !radio->radioOn() || radio->channel() != frame.channel) continue;
    const MacAddress address = radio->address();
    if (linkLoses(sender, address)) {
      ++counters_.lost;
      continue;
    }
    if (unicast && address == *receiverAddress && !result.acknowledged) {
      result.acknowledged = true;
      ++counters_.acknowledged;
    }
    receivers.push_back({radio, joins_[radio], signalDbm(from, address)});
  }
  if (receivers.empty()) return result;

  const std::uint64_t delivery = nextDelivery_++;
  // A radio sends one frame after another: none arrives before a frame its radio sent ahead of
  // it (an access point's first EAPOL message never overtakes its association response, nor a
  // short last fragment the longer ones). Equal times keep their order.
  std::int64_t& lastArrival = lastArrival_[&from];
  const std::int64_t arrival = std::max(now + result.airtimeMicros, lastArrival);
  lastArrival = arrival;
  auto shared = std::make_shared<AirFrame>(std::move(frame));
  pending_[delivery] = scheduler_.at(
      ndis::Micros(arrival), ndis::EventKind::Air, "air delivery",
      [this, delivery, shared, arrival, receivers = std::move(receivers)] {
        pending_.erase(delivery);
        deliver(*shared, arrival, receivers);
      });
  return result;
}

void Medium::deliver(const AirFrame& frame, std::int64_t atMicros, const std::vector<Receiver>& receivers) {
  for (const Receiver& receiver : receivers) {
    // A radio that left (or left and joined again) since the frame was sent does not hear it.
    const auto joined = joins_.find(receiver.radio);
    if (joined == joins_.end() || joined->second != receiver.joinSerial) continue;
    ++counters_.delivered;
    receiver.radio->receive(frame, {receiver.signalDbm, atMicros});
  }
}

}  // namespace simair
