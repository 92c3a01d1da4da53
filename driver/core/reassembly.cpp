#include "driver/core/reassembly.h"

#include <cstring>

#include "driver/core/frame_tests.h"
#include "driver/hal/receive_record.h"

namespace zelnic::core {
namespace {

void WriteBodyLength(ReceiveRecord* record) {
  const std::uint32_t body = record->Length - kChipHeaderBytes;
  record->Frame[0] = static_cast<std::uint8_t>(body);
  record->Frame[1] = static_cast<std::uint8_t>(body >> 8);
}

ReassemblyResult DropAll(Reassembly& state, ReceiveRecord* record, GiveBackFn giveBack, void* context) {
  DiscardReassembly(state, giveBack, context);
  giveBack(context, record);
  return ReassemblyResult::Dropped;
}

}  // namespace

ReassemblyResult Reassemble(Reassembly& state, ReceiveRecord*& record, GiveBackFn giveBack, void* context) {
  const std::uint8_t* frame = record->Frame;
  const auto number = static_cast<std::int16_t>(FragmentNumber(frame));
  if (number != state.Expected || number >= kMaxFragments) return DropAll(state, record, giveBack, context);
  const bool more = (FrameFlags(frame) & kFlagMoreFragments) != 0;

  if (number == 0) {
    state.Head = record;
    state.Expected = 1;
    return ReassemblyResult::Pending;
  }
  // A body that would not fit behind what the head holds ends the whole frame: the
  // head's buffer is all the room there is.
  ReceiveRecord* head = state.Head;
  const std::uint32_t body = record->Length - kChipHeaderBytes;
  if (head == nullptr || head->Length > head->Capacity || body > head->Capacity - head->Length)
    return DropAll(state, record, giveBack, context);
  std::memcpy(head->Frame + head->Length, frame + kChipHeaderBytes, body);
  head->Length += body;
  WriteBodyLength(head);
  giveBack(context, record);
  if (more) {
    ++state.Expected;
    return ReassemblyResult::Pending;
  }
  state.Head = nullptr;
  state.Expected = 0;
  record = head;
  return ReassemblyResult::Deliver;
}

void DiscardReassembly(Reassembly& state, GiveBackFn giveBack, void* context) {
  if (state.Head != nullptr) giveBack(context, state.Head);
  state.Head = nullptr;
  state.Expected = 0;
}

}  // namespace zelnic::core
