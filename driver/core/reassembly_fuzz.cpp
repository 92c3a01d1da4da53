// Received frames are bytes from the air: any run of them, fragments or not, goes through
// the frame questions and the reassembly without reading or writing outside a buffer, and
// every record goes back exactly once.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "driver/core/frame_tests.h"
#include "driver/core/reassembly.h"
#include "driver/hal/receive_record.h"

namespace {

constexpr std::uint32_t kBufferBytes = 2032;  // a receive buffer of the ring

struct Buffer {
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kBufferBytes);
  ReceiveRecord record{};
  bool withChipLayer = true;
};

using Buffers = std::vector<std::unique_ptr<Buffer>>;

void GiveBack(void* context, ReceiveRecord* record) {
  for (auto& buffer : *static_cast<Buffers*>(context)) {
    if (&buffer->record != record) continue;
    if (buffer->withChipLayer) __builtin_trap();  // given back twice
    buffer->withChipLayer = true;
    return;
  }
  __builtin_trap();  // not a record of ours
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Input: runs of {u16 frame length, frame bytes}; every frame lands in its own buffer.
  Buffers buffers;
  auto state = std::make_unique<zelnic::core::Reassembly>();
  for (size_t at = 0; at + 2 <= size;) {
    const std::uint32_t wanted = data[at] | data[at + 1] << 8;
    const std::uint32_t length = std::min<std::uint32_t>({wanted % (kBufferBytes + 1), kBufferBytes,
                                                          static_cast<std::uint32_t>(size - at - 2)});
    auto& buffer = buffers.emplace_back(std::make_unique<Buffer>());
    std::memcpy(buffer->bytes.data(), data + at + 2, length);
    at += 2 + length;
    if (length < zelnic::core::kChipHeaderBytes) continue;  // the core drops these before anything
    buffer->record = ReceiveRecord{{nullptr}, buffer->bytes.data(), length, kBufferBytes};
    buffer->withChipLayer = false;
    const std::uint8_t* frame = buffer->record.Frame;
    (void)zelnic::core::IsManagementOrVendorFrame(frame, length);
    (void)zelnic::core::IsDataOrControlFrame(frame);
    if (!zelnic::core::IsFragment(frame)) {
      GiveBack(&buffers, &buffer->record);
      continue;
    }
    ReceiveRecord* record = &buffer->record;
    // The key tag comes from the frame's own bytes: fragments under mixed keys are exercised.
    const std::uint32_t keyTag = frame[4] & 3;
    if (zelnic::core::Reassemble(*state, record, keyTag, &GiveBack, &buffers) == zelnic::core::ReassemblyResult::Deliver) {
      if (record != &buffer->record || record->Length > record->Capacity) __builtin_trap();
      GiveBack(&buffers, record);  // delivered in its own record, which then goes back
    }
  }
  for (auto& buffer : buffers)
    if (!buffer->withChipLayer) __builtin_trap();  // a record kept
  return 0;
}
