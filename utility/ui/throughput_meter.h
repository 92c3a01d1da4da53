#pragma once
// Transmit and receive rates of the adapter's interface from its octet counters, sampled
// once a second, with the chart scale over the last 60 samples. The counters are 32 bits
// and an interface may be reset: a counter found below its base starts a new base and that
// sample counts as no traffic. Ticks are 64-bit milliseconds; a sample at the same tick is
// ignored.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct ThroughputRates {
  uint64_t txBps = 0;
  uint64_t rxBps = 0;
};

class ThroughputMeter {
public:
  // The rates since the last sample; none at the first sample after a clear or when the
  // clock has not moved.
  std::optional<ThroughputRates> Sample(uint64_t tickMs, uint32_t inOctets, uint32_t outOctets);
  // The link is down: the next sample starts afresh (the history stays for the scale).
  void ClearBase() { m_hasBase = false; }
  // The charts' top: 1.2 x the largest rate kept, at least 200 bit/s.
  uint64_t TxTop() const { return Top(m_largestTx); }
  uint64_t RxTop() const { return Top(m_largestRx); }

  static constexpr int kHistory = 60;

private:
  static uint64_t Top(uint64_t largest);
  void Remember(const ThroughputRates& rates);

  bool m_hasBase = false;
  uint64_t m_baseTick = 0;
  uint32_t m_baseIn = 0;
  uint32_t m_baseOut = 0;
  std::array<ThroughputRates, kHistory> m_history{};
  int m_next = 0;
  int m_count = 0;
  uint64_t m_largestTx = 1000;  // until a sample shows traffic
  uint64_t m_largestRx = 1000;
};

// "%.1f Mbps" above 999,999 bit/s, "%.1f Kbps" from 1000, else "%d bps".
std::string RateText(uint64_t bps);
