#include "utility/ui/link_sample_rings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

int LinkSampleRings::AddRssi(int32_t rssiDbm) {
  m_signal[static_cast<size_t>(m_signalNext)] = rssiDbm + 96;
  m_signalNext = (m_signalNext + 1) % static_cast<int>(m_signal.size());
  m_signalCount = std::min(m_signalCount + 1, static_cast<int>(m_signal.size()));
  long sum = 0;
  for (int i = 0; i < m_signalCount; ++i) sum += m_signal[static_cast<size_t>(i)];
  const double mean = static_cast<double>(sum) / m_signalCount;
  return std::clamp(static_cast<int>(std::ceil(mean)), 0, 40);
}

uint32_t LinkSampleRings::AddLinkSpeed(uint32_t speed, bool latestOnly) {
  if (latestOnly) return speed;
  m_speed[static_cast<size_t>(m_speedNext)] = speed;
  m_speedNext = (m_speedNext + 1) % static_cast<int>(m_speed.size());
  return *std::max_element(m_speed.begin(), m_speed.end());
}

std::string LinkSpeedText(uint32_t speed) {
  char text[32];
  std::snprintf(text, sizeof text, speed % 2000 == 0 ? "%u Mbps" : "%u.5 Mbps", speed / 10000);
  return text;
}
