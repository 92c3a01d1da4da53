#include "sim/chip/channel_measurement.h"

#include <algorithm>

#include "sim/air/medium.h"
#include "sim/chip/firmware_engine.h"

namespace simchip {
namespace {

constexpr std::uint16_t kResultFollows = 0;
constexpr std::uint16_t kMeasuring = 1;

std::uint16_t Get16(std::span<const std::uint8_t> r, std::size_t at) {
  return at + 2 <= r.size() ? static_cast<std::uint16_t>(r[at] | r[at + 1] << 8) : 0;
}

void Put(std::vector<std::uint8_t>& out, std::size_t at, std::size_t width, std::uint64_t value) {
  for (std::size_t i = 0; i < width && at + i < out.size(); ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

unsigned ChannelMeasurement::RpiRange(int signalDbm) {
  if (signalDbm < -87) return 0;
  return static_cast<unsigned>(std::min(7, 1 + (signalDbm + 87) / 5));
}

void ChannelMeasurement::Start(Window& w, std::int64_t now) {
  w = Window{};
  w.running = true;
  w.startMicros = now;
}

std::uint32_t ChannelMeasurement::Share(std::int64_t part, std::int64_t whole) {
  if (whole <= 0) return 0;
  return static_cast<std::uint32_t>(std::min<std::int64_t>(255, part * 255 / whole));
}

void ChannelMeasurement::answer(std::uint16_t code, std::span<const std::uint8_t> record,
                                std::vector<std::uint8_t>& response, std::int64_t nowMicros) {
  switch (code) {
    case command::kMeasureLoad:
      Put(response, 10, 4, static_cast<std::uint64_t>(nowMicros));  // the chip's time, low 32 bits
      break;
    case command::kMeasureFrames:  // channel load
      if (Get16(record, 8) == 1) {
        Start(load_, nowMicros);
        Put(response, 8, 2, kMeasuring);
      } else {
        Put(response, 8, 2, kResultFollows);
        Put(response, 12, 4, load_.running ? Share(load_.busyMicros, nowMicros - load_.startMicros) : 0);
        load_.running = false;
      }
      break;
    case command::kMeasureHistogram:
      if ((Get16(record, 8) & 1) != 0) {
        Start(histogram_, nowMicros);
        Put(response, 8, 2, kMeasuring);
      } else {
        Put(response, 8, 2, kResultFollows);
        const std::int64_t whole = nowMicros - histogram_.startMicros;
        std::int64_t busy = 0;
        for (std::int64_t t : histogram_.rangeMicros) busy += t;
        for (unsigned i = 0; i < 8; ++i) {
          // Time without a frame counts in the lowest range: the noise floor lies below it.
          const std::int64_t t = histogram_.rangeMicros[i] + (i == 0 ? std::max<std::int64_t>(0, whole - busy) : 0);
          Put(response, 12 + 4 * i, 4, histogram_.running ? Share(t, whole) : 0);
        }
        Put(response, 10, 2, 0);
        histogram_.running = false;
      }
      break;
    default:
      break;
  }
}

void ChannelMeasurement::heard(const simair::AirFrame& frame, const simair::Reception& reception) {
  if (!load_.running && !histogram_.running) return;
  const std::int64_t airtime = simair::Medium::AirtimeMicros(frame.bytes.size(), frame.rateHalfMbps);
  if (load_.running) load_.busyMicros += airtime;
  if (histogram_.running) histogram_.rangeMicros[RpiRange(reception.signalDbm)] += airtime;
}

}  // namespace simchip
