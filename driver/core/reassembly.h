#pragma once
// Reassembly of fragmented receive frames. Fragment 0 is copied into a buffer of its own,
// large enough for the largest MSDU behind a chip-layout header; the bodies of the
// following fragments of the same frame (same transmitter, same sequence number) are
// appended in order. The whole frame is copied back into the last fragment's record and
// delivered in it (that record keeps its receive packet, so the frame can be indicated);
// every other fragment's record goes back to the chip layer at once. All fragments of one
// frame must come under the same key: a fragment under another key (or in the clear after
// protected ones) ends the frame.
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
  std::uint32_t KeyTag = 0;   // the key fragment 0 came under; 0 in the clear
  ReceiveRecord Record{};     // Length: the bytes joined so far in Buffer
  std::uint8_t Buffer[kReassemblyBytes] = {};
};

enum class ReassemblyResult {
  Deliver,  // `record` (the last fragment's) now holds the whole frame
  Pending,  // taken: nothing to deliver yet
  Dropped,  // the fragment was refused (and with it any frame it broke)
};

using GiveBackFn = void (*)(void* context, ReceiveRecord* record);

// Takes one fragment (a frame for which IsFragment holds) that came under the key `keyTag`
// names; its record goes to `giveBack` unless it delivers the whole frame.
ReassemblyResult Reassemble(Reassembly& state, ReceiveRecord*& record, std::uint32_t keyTag, GiveBackFn giveBack,
                            void* context);
// Forgets a partly reassembled frame (halt, teardown, a new connection, a key change).
void DiscardReassembly(Reassembly& state);

}  // namespace zelnic::core
