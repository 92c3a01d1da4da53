#pragma once
// Reassembly of fragmented receive frames. Fragment 0 is copied into a buffer of its own,
// large enough for the largest MSDU behind a chip-layout header; the bodies of the
// following fragments of the same frame (same transmitter, same sequence number) are
// appended in order, and the whole frame is delivered in that buffer's record with the
// last fragment. Every fragment's own record goes back to the chip layer at once.
#include <cstdint>

#include "driver/hal/receive_record.h"

namespace zelnic::core {

// At most this many fragments make one frame.
inline constexpr int kMaxFragments = 8;
inline constexpr std::uint32_t kMaxMsduBytes = 2304;
inline constexpr std::uint32_t kReassemblyBytes = 32 + kMaxMsduBytes;

struct Reassembly {
  std::int16_t Expected = 0;  // the fragment number that continues the held frame; 0: none held
  std::uint8_t Transmitter[6] = {};
  std::uint16_t Sequence = 0;
  bool Delivered = false;     // the record below is up with its caller
  ReceiveRecord Record{};     // the reassembled frame, in Buffer
  std::uint8_t Buffer[kReassemblyBytes] = {};
};

enum class ReassemblyResult {
  Deliver,  // `record` is now the reassembly's own record, holding the whole frame
  Pending,  // taken: nothing to deliver yet
  Dropped,  // the fragment was refused (and with it any frame it broke)
};

using GiveBackFn = void (*)(void* context, ReceiveRecord* record);

// Takes one fragment (a frame for which IsFragment holds); its record goes to `giveBack` in
// every case. A delivered record comes back through ReleaseReassembled.
ReassemblyResult Reassemble(Reassembly& state, ReceiveRecord*& record, GiveBackFn giveBack, void* context);
// True for the reassembly's own record (which never goes to the chip layer).
bool IsReassembled(const Reassembly& state, const ReceiveRecord* record);
void ReleaseReassembled(Reassembly& state);
// Forgets a partly reassembled frame (halt, teardown).
void DiscardReassembly(Reassembly& state);

}  // namespace zelnic::core
