#pragma once
// Wall-clock time as a file time: 100-nanosecond intervals since 1601-01-01 00:00 UTC.
#include <cstdint>

namespace plat {

// Seconds from 1601-01-01 to the Unix epoch 1970-01-01.
constexpr std::uint64_t kFileTimeEpochOffsetSeconds = 11644473600ull;

std::uint64_t FileTimeNow();

// The two 32-bit halves, low first, as stored in records that carry a file time.
struct FileTime {
  std::uint32_t lowDateTime;
  std::uint32_t highDateTime;
};

constexpr FileTime SplitFileTime(std::uint64_t fileTime) {
  return {static_cast<std::uint32_t>(fileTime), static_cast<std::uint32_t>(fileTime >> 32)};
}

}  // namespace plat
