#pragma once
// The signal bar and the link speed shown once a second, smoothed over the last samples:
// the bar is the rounded-up mean of the last 10 signal samples (RSSI + 96, shown 0-40), the
// speed the largest of the last 5 readings (or the latest when asked).
#include <array>
#include <cstdint>
#include <string>

class LinkSampleRings {
public:
  // The bar position after adding a reading of `rssiDbm`.
  int AddRssi(int32_t rssiDbm);
  // The speed to show after adding a reading (units of 100 bit/s).
  uint32_t AddLinkSpeed(uint32_t speed, bool latestOnly);
  void Clear() { *this = LinkSampleRings{}; }

private:
  std::array<int, 10> m_signal{};
  int m_signalNext = 0;
  int m_signalCount = 0;
  std::array<uint32_t, 5> m_speed{};
  int m_speedNext = 0;
};

// "54 Mbps", "5.5 Mbps" from units of 100 bit/s.
std::string LinkSpeedText(uint32_t speed);
