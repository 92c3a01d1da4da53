// Received management frames in the middle of a join or on an association: authentication
// responses (open and shared key, truncated, with challenges of any length), association
// responses from the joined BSS or a foreign one, disassociations and deauthentications,
// hostile beacons in the IBSS states. Each input starts from a station associated with the
// BSS it joins, in the state the input names. The dispatch must stay inside each frame and
// give every record back.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "driver/core/core_adapter.h"
#include "driver/core/frame_tests.h"
#include "driver/core/fuzz_station/associated_driver.h"
#include "driver/hal/hal_adapter.h"

namespace {

constexpr std::uint32_t kBufferBytes = 2032;
constexpr std::uint16_t kStates[] = {1, 2, 3, 4, 5, 6, 8, 9, 11, 12, 0, 13};
constexpr const std::uint8_t* kJoined = zelnic::testing::AssociatedDriver::kBssid;

zelnic::testing::AssociatedDriver& Driver() {
  static auto* fixture = [] {
    auto* associated = &zelnic::testing::AssociatedDriver::Get();
    associated->takeReceiveRecords([](HalAdapter*, ReceiveRecord*) {});
    return associated;
  }();
  return *fixture;
}

}  // namespace

// Starting and associating run before the first input, so their coverage is not taken for
// the inputs' own (thousands of features the fuzzer would otherwise weigh on every input).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Driver();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Input: state, configuration, then runs of {u8 flags, u16 length, frame bytes}; flag bit 0
  // addresses the frame from the joined BSS to the station (the rest stays as the input has it).
  if (size < 2) return 0;
  std::vector<std::vector<std::uint8_t>> buffers;
  std::vector<std::unique_ptr<ReceiveRecord>> records;
  Driver().run([&](CoreAdapter* core) {
    core->MlmeState = kStates[data[0] % std::size(kStates)];
    core->Config.authMode = data[1] & 7;
    core->Config.wepStatus = (data[1] >> 3) & 1 ? 0 : 1;
    core->Config.networkMode = (data[1] >> 4) % 3;
    core->Station.SharedKeyFallback = (data[1] & 0x40) != 0;
    core->Config.wepKeys[0].keyLength = 5;
    core->Config.wepKeys[0].keyIndex = 0x80000000u;
    std::memcpy(core->Station.CurrentEntry.MacAddress, kJoined, 6);
    core->Station.CurrentEntry.Privacy = (data[1] & 0x80) != 0;
    core->Station.HaveCurrentBss = true;
    std::memcpy(core->Station.TargetBssid, kJoined, 6);
    std::memcpy(core->Bssid.data(), kJoined, 6);
    for (size_t at = 2; at + 3 <= size;) {
      const std::uint8_t flags = data[at];
      const std::uint32_t wanted = data[at + 1] | data[at + 2] << 8;
      const auto length = static_cast<std::uint32_t>(std::min<size_t>(wanted, size - at - 3));
      auto& bytes = buffers.emplace_back(std::max(length, kBufferBytes), 0);
      std::memcpy(bytes.data(), data + at + 3, length);
      at += 3 + length;
      if ((flags & 1) != 0 && bytes.size() >= zelnic::core::kChipHeaderBytes) {
        std::memcpy(bytes.data() + zelnic::core::kAddress1, core->StationAddress.data(), 6);
        std::memcpy(bytes.data() + zelnic::core::kAddress2, kJoined, 6);
        std::memcpy(bytes.data() + zelnic::core::kAddress3, kJoined, 6);
      }
      auto& record = records.emplace_back(std::make_unique<ReceiveRecord>());
      *record = ReceiveRecord{{nullptr}, bytes.data(), wanted, kBufferBytes};
      record->SignalDbm = -static_cast<LONG>(flags % 100);
      CoreOps(core).Receive(core, record.get());
    }
  });
  return 0;
}
