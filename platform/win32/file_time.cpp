#include "platform/win32/file_time.h"

#include <ctime>

namespace plat {

std::uint64_t FileTimeNow() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  // A clock set before 1970 still lies after 1601: the offset keeps the sum positive.
  const auto seconds = static_cast<std::int64_t>(ts.tv_sec) +
                       static_cast<std::int64_t>(kFileTimeEpochOffsetSeconds);
  return static_cast<std::uint64_t>(seconds) * 10000000u +
         static_cast<std::uint64_t>(ts.tv_nsec) / 100u;
}

}  // namespace plat
