#include "driver/core/reassembly.h"

#include <cstring>

#include "driver/core/frame_tests.h"

namespace zelnic::core {
namespace {

std::uint16_t SequenceNumber(const std::uint8_t* frame) {
  return static_cast<std::uint16_t>((frame[kSequenceControl] | frame[kSequenceControl + 1] << 8) >> 4);
}

bool SameFrame(const Reassembly& state, const std::uint8_t* frame) {
  return std::memcmp(state.Transmitter, frame + kAddress2, 6) == 0 && state.Sequence == SequenceNumber(frame);
}

void WriteBodyLength(ReceiveRecord& record) {
  const std::uint32_t body = record.Length - kChipHeaderBytes;
  record.Frame[0] = static_cast<std::uint8_t>(body);
  record.Frame[1] = static_cast<std::uint8_t>(body >> 8);
}

ReassemblyResult Refuse(ReceiveRecord* record, GiveBackFn giveBack, void* context) {
  giveBack(context, record);
  return ReassemblyResult::Dropped;
}

// Fragment 0 starts a frame afresh, whatever was held.
ReassemblyResult Start(Reassembly& state, ReceiveRecord* record, std::uint32_t keyTag, GiveBackFn giveBack,
                       void* context) {
  DiscardReassembly(state);
  const std::uint8_t* frame = record->Frame;
  if (record->Length > kReassemblyBytes) return Refuse(record, giveBack, context);
  std::memcpy(state.Buffer, frame, record->Length);
  state.Record.Length = record->Length;
  std::memcpy(state.Transmitter, frame + kAddress2, 6);
  state.Sequence = SequenceNumber(frame);
  state.KeyTag = keyTag;
  state.Expected = 1;
  giveBack(context, record);
  return ReassemblyResult::Pending;
}

}  // namespace

ReassemblyResult Reassemble(Reassembly& state, ReceiveRecord*& record, std::uint32_t keyTag, GiveBackFn giveBack,
                            void* context) {
  const std::uint8_t* frame = record->Frame;
  const auto number = static_cast<std::int16_t>(FragmentNumber(frame));
  if (number == 0) return Start(state, record, keyTag, giveBack, context);

  // A fragment of no frame held here (another transmitter, another sequence number, or
  // nothing held) goes alone; one out of order, or a ninth, ends the frame it belongs to.
  if (state.Expected == 0 || !SameFrame(state, frame)) return Refuse(record, giveBack, context);
  const std::uint32_t body = record->Length - kChipHeaderBytes;
  if (number != state.Expected || number >= kMaxFragments || body > kReassemblyBytes - state.Record.Length ||
      keyTag != state.KeyTag) {
    DiscardReassembly(state);
    return Refuse(record, giveBack, context);
  }
  std::memcpy(state.Buffer + state.Record.Length, frame + kChipHeaderBytes, body);
  state.Record.Length += body;
  if ((FrameFlags(frame) & kFlagMoreFragments) != 0) {
    giveBack(context, record);
    ++state.Expected;
    return ReassemblyResult::Pending;
  }
  // The last fragment's record carries the whole frame up; one too large for it is dropped.
  const std::uint32_t joined = state.Record.Length;
  DiscardReassembly(state);
  if (joined > record->Capacity) return Refuse(record, giveBack, context);
  std::memcpy(record->Frame, state.Buffer, joined);
  record->Frame[3] &= static_cast<std::uint8_t>(~kFlagMoreFragments);
  record->Length = joined;
  WriteBodyLength(*record);
  return ReassemblyResult::Deliver;
}

void DiscardReassembly(Reassembly& state) {
  state.Expected = 0;
  state.Record.Length = 0;
}

}  // namespace zelnic::core
