#include "utility/ui/throughput_meter.h"

#include <algorithm>
#include <cstdio>

std::optional<ThroughputRates> ThroughputMeter::Sample(uint64_t tickMs, uint32_t inOctets,
                                                        uint32_t outOctets) {
  if (!m_hasBase) {
    m_hasBase = true;
    m_baseTick = tickMs;
    m_baseIn = inOctets;
    m_baseOut = outOctets;
    return std::nullopt;
  }
  if (tickMs <= m_baseTick) return std::nullopt;
  const uint64_t elapsed = tickMs - m_baseTick;
  // A counter below its base was reset (or wrapped): no traffic can be told for this sample.
  auto rate = [elapsed](uint32_t now, uint32_t base) -> uint64_t {
    return now < base ? 0 : static_cast<uint64_t>(now - base) * 8000 / elapsed;
  };
  ThroughputRates rates;
  rates.rxBps = rate(inOctets, m_baseIn);
  rates.txBps = rate(outOctets, m_baseOut);
  m_baseTick = tickMs;
  m_baseIn = inOctets;
  m_baseOut = outOctets;
  Remember(rates);
  return rates;
}

void ThroughputMeter::Remember(const ThroughputRates& rates) {
  m_history[static_cast<size_t>(m_next)] = rates;
  m_next = (m_next + 1) % kHistory;
  m_count = std::min(m_count + 1, kHistory);
  uint64_t tx = 0;
  uint64_t rx = 0;
  for (int i = 0; i < m_count; ++i) {
    tx = std::max(tx, m_history[static_cast<size_t>(i)].txBps);
    rx = std::max(rx, m_history[static_cast<size_t>(i)].rxBps);
  }
  if (tx != 0) m_largestTx = tx;
  if (rx != 0) m_largestRx = rx;
}

uint64_t ThroughputMeter::Top(uint64_t largest) { return std::max<uint64_t>(largest * 6 / 5, 200); }

std::string RateText(uint64_t bps) {
  char text[32];
  if (bps > 999'999) {
    std::snprintf(text, sizeof text, "%.1f Mbps", static_cast<double>(bps) / 1'000'000);
  } else if (bps >= 1000) {
    std::snprintf(text, sizeof text, "%.1f Kbps", static_cast<double>(bps) / 1000);
  } else {
    std::snprintf(text, sizeof text, "%d bps", static_cast<int>(bps));
  }
  return text;
}
