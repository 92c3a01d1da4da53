#pragma once
// Writes frames of the air to a pcap file that Wireshark and tshark read: either radiotap
// (link type 127) with channel (frequency and band flags), rate and the received signal, or
// bare 802.11 frames (link type 105). Each frame is flushed at once, so a file cut short by a
// killed process still holds every frame recorded before.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "sim/air/radio.h"

namespace simair {

enum class PcapLinkType : std::uint32_t { Ieee80211 = 105, Radiotap = 127 };

class PcapRecorder {
public:
  // Nothing when the file cannot be created; `error` then says why.
  static std::unique_ptr<PcapRecorder> Create(const std::string& path, PcapLinkType linkType,
                                              std::string& error);
  ~PcapRecorder();
  PcapRecorder(const PcapRecorder&) = delete;
  PcapRecorder& operator=(const PcapRecorder&) = delete;

  // Time stamps are `atMicros` after this origin (microseconds since 1970); 0 by default, so
  // a virtual-time run gives the same file every time.
  void setOriginMicros(std::int64_t origin) { originMicros_ = origin; }
  void record(const AirFrame& frame, int signalDbm, std::int64_t atMicros);
  std::uint64_t framesRecorded() const { return frames_; }
  // False once a write failed (disk full); recording then stops.
  bool healthy() const { return file_ != nullptr; }

private:
  PcapRecorder(std::FILE* file, PcapLinkType linkType) : file_(file), linkType_(linkType) {}
  void write(const void* data, std::size_t size);

  std::FILE* file_;
  PcapLinkType linkType_;
  std::int64_t originMicros_ = 0;
  std::uint64_t frames_ = 0;
};

}  // namespace simair
