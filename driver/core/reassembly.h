#pragma once
// Reassembly of fragmented receive frames: fragment 0 is held, the bodies of the following
// fragments are appended to it in order, and the whole frame is delivered with the last.
#include <cstdint>

struct ReceiveRecord;

namespace zelnic::core {

// At most this many fragments make one frame.
inline constexpr int kMaxFragments = 8;

struct Reassembly {
  ReceiveRecord* Head = nullptr;
  std::int16_t Expected = 0;
};

enum class ReassemblyResult {
  Deliver,  // `record` is now the whole frame
  Pending,  // held or absorbed: nothing to deliver yet
  Dropped,  // the fragment (and any held head) was given back
};

using GiveBackFn = void (*)(void* context, ReceiveRecord* record);

// Takes one fragment (a frame for which IsFragment holds). Records that are no longer
// needed are handed to `giveBack`.
ReassemblyResult Reassemble(Reassembly& state, ReceiveRecord*& record, GiveBackFn giveBack, void* context);
// Gives back a held head (halt, teardown).
void DiscardReassembly(Reassembly& state, GiveBackFn giveBack, void* context);

}  // namespace zelnic::core
