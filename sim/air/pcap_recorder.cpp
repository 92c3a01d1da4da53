#include "sim/air/pcap_recorder.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "sim/air/ieee80211.h"

namespace simair {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, static_cast<std::uint16_t>(v));
  Put16(out, static_cast<std::uint16_t>(v >> 16));
}

bool IsCckRate(std::uint16_t rateHalfMbps) {
  return rateHalfMbps == 2 || rateHalfMbps == 4 || rateHalfMbps == 11 || rateHalfMbps == 22;
}

// Radiotap header: version 0, fields Flags (bit 1), Rate (bit 2), Channel (bit 3, 2-byte
// aligned: offset 10) and Antenna signal in dBm (bit 5), 15 bytes in all.
std::vector<std::uint8_t> RadiotapHeader(const AirFrame& frame, int signalDbm) {
  std::vector<std::uint8_t> h;
  h.push_back(0);  // version
  h.push_back(0);  // pad
  Put16(h, 15);    // length
  Put32(h, (1u << 1) | (1u << 2) | (1u << 3) | (1u << 5));
  h.push_back(0);  // flags: no FCS at the end
  h.push_back(static_cast<std::uint8_t>(frame.rateHalfMbps > 255 ? 255 : frame.rateHalfMbps));
  Put16(h, static_cast<std::uint16_t>(dot11::ChannelFrequencyMhz(frame.channel)));
  // 2 GHz spectrum, and CCK or OFDM by the rate.
  Put16(h, static_cast<std::uint16_t>(0x0080 | (IsCckRate(frame.rateHalfMbps) ? 0x0020 : 0x0040)));
  const int clamped = signalDbm < -128 ? -128 : signalDbm > 127 ? 127 : signalDbm;
  h.push_back(static_cast<std::uint8_t>(static_cast<std::int8_t>(clamped)));
  return h;
}

}  // namespace

std::unique_ptr<PcapRecorder> PcapRecorder::Create(const std::string& path, PcapLinkType linkType,
                                                   std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    error = "cannot create " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<PcapRecorder> recorder(new PcapRecorder(file, linkType));
  std::vector<std::uint8_t> header;
  Put32(header, 0xA1B2C3D4);  // microsecond time stamps, written in our byte order (LE)
  Put16(header, 2);
  Put16(header, 4);
  Put32(header, 0);       // time zone
  Put32(header, 0);       // accuracy
  Put32(header, 65535);   // snap length
  Put32(header, static_cast<std::uint32_t>(linkType));
  recorder->write(header.data(), header.size());
  if (!recorder->healthy()) {
    error = "cannot write " + path;
    return nullptr;
  }
  return recorder;
}

PcapRecorder::~PcapRecorder() {
  if (file_ != nullptr) std::fclose(file_);
}

void PcapRecorder::write(const void* data, std::size_t size) {
  if (file_ == nullptr) return;
  if (std::fwrite(data, 1, size, file_) != size) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

void PcapRecorder::record(const AirFrame& frame, int signalDbm, std::int64_t atMicros) {
  if (file_ == nullptr) return;
  std::vector<std::uint8_t> radiotap;
  if (linkType_ == PcapLinkType::Radiotap) radiotap = RadiotapHeader(frame, signalDbm);
  const std::int64_t stamp = originMicros_ + (atMicros < 0 ? 0 : atMicros);
  const auto length = static_cast<std::uint32_t>(radiotap.size() + frame.bytes.size());
  std::vector<std::uint8_t> record;
  Put32(record, static_cast<std::uint32_t>(stamp / 1000000));
  Put32(record, static_cast<std::uint32_t>(stamp % 1000000));
  Put32(record, length);
  Put32(record, length);
  record.insert(record.end(), radiotap.begin(), radiotap.end());
  record.insert(record.end(), frame.bytes.begin(), frame.bytes.end());
  write(record.data(), record.size());
  if (file_ != nullptr && std::fflush(file_) != 0) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (file_ != nullptr) ++frames_;
}

}  // namespace simair
