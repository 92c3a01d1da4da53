// A received data frame is bytes from the air: whatever they say, decapsulation reads and
// writes inside the buffer, and the 802.3 frame it leaves ends inside it too.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "driver/core/data_decapsulation.h"
#include "driver/hal/receive_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr std::uint32_t kBufferBytes = 2032;  // a receive buffer of the ring
  std::vector<std::uint8_t> buffer(kBufferBytes);
  const auto length = static_cast<std::uint32_t>(std::min<size_t>(size, kBufferBytes));
  std::memcpy(buffer.data(), data, length);
  ReceiveRecord record{{nullptr}, buffer.data(), length, kBufferBytes};
  bool eapol = false;
  if (!zelnic::core::DataFrameDecapsulate(nullptr, &record, eapol)) return 0;
  const std::uint8_t* end = buffer.data() + kBufferBytes;
  if (record.Frame < buffer.data() || record.Frame > end || record.Length < 14 ||
      record.Length > static_cast<std::uint32_t>(end - record.Frame) ||
      record.Capacity > static_cast<std::uint32_t>(end - record.Frame))
    __builtin_trap();
  return 0;
}
