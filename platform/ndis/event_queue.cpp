#include "platform/ndis/event_queue.h"

namespace ndis {
namespace {

// Room made at the start for what an adapter, its chip and the air keep queued.
constexpr std::size_t kPreparedEvents = 256;
// Room in each slot for its label, so labels up to this length never allocate.
constexpr std::size_t kLabelRoom = 48;

}  // namespace

EventQueue::EventQueue() : slots_(kPreparedEvents) {
  chip_.reserve(kPreparedEvents);
  other_.reserve(kPreparedEvents);
  for (std::size_t i = kPreparedEvents; i-- > 0;) {
    slots_[i].label.reserve(kLabelRoom);
    slots_[i].nextFree = freeHead_;
    freeHead_ = static_cast<std::uint32_t>(i + 1);
  }
}

EventId EventQueue::push(std::int64_t when, EventKind kind, std::string_view label, EventAction action) {
  std::uint32_t number;
  if (freeHead_ != 0) {
    number = freeHead_ - 1;
    freeHead_ = slots_[number].nextFree;
  } else {
    number = static_cast<std::uint32_t>(slots_.size());
    slots_.emplace_back();
    slots_.back().label.reserve(kLabelRoom);
  }
  Slot& slot = slots_[number];
  slot.when = when;
  slot.sequence = nextSequence_++;
  slot.kind = kind;
  slot.label.assign(label);
  slot.action = std::move(action);
  Heap& heap = heapOf(kind);
  heap.push_back(number);
  slot.heapIndex = static_cast<std::uint32_t>(heap.size() - 1);
  siftUp(heap, heap.size() - 1);
  ++live_;
  return EventId{slot.sequence, number};
}

bool EventQueue::contains(EventId id) const {
  return id && id.slot < slots_.size() && slots_[id.slot].sequence == id.value;
}

bool EventQueue::cancel(EventId id) {
  if (!contains(id)) return false;
  slots_[id.slot].action.reset();
  remove(id.slot);
  return true;
}

const EventQueue::Slot* EventQueue::earliest(bool chipOnly) const {
  const Slot* chip = chip_.empty() ? nullptr : &slots_[chip_.front()];
  if (chipOnly || other_.empty()) return chip;
  const Slot* other = &slots_[other_.front()];
  if (chip == nullptr) return other;
  return before(chip_.front(), other_.front()) ? chip : other;
}

std::optional<std::int64_t> EventQueue::nextDue(bool chipOnly) const {
  const Slot* first = earliest(chipOnly);
  if (first == nullptr) return std::nullopt;
  return first->when;
}

bool EventQueue::popDue(std::int64_t limit, bool chipOnly, Popped& out, std::string* label) {
  const Slot* first = earliest(chipOnly);
  if (first == nullptr || first->when > limit) return false;
  const auto number = static_cast<std::uint32_t>(first - slots_.data());
  Slot& slot = slots_[number];
  out.when = slot.when;
  out.kind = slot.kind;
  out.action = std::move(slot.action);
  if (label != nullptr) label->assign(slot.label);
  remove(number);
  return true;
}

bool EventQueue::before(std::uint32_t a, std::uint32_t b) const {
  const Slot& x = slots_[a];
  const Slot& y = slots_[b];
  return x.when != y.when ? x.when < y.when : x.sequence < y.sequence;
}

void EventQueue::place(Heap& heap, std::size_t at, std::uint32_t slot) {
  heap[at] = slot;
  slots_[slot].heapIndex = static_cast<std::uint32_t>(at);
}

void EventQueue::siftUp(Heap& heap, std::size_t at) {
  const std::uint32_t moving = heap[at];
  while (at > 0) {
    const std::size_t parent = (at - 1) / 2;
    if (!before(moving, heap[parent])) break;
    place(heap, at, heap[parent]);
    at = parent;
  }
  place(heap, at, moving);
}

void EventQueue::siftDown(Heap& heap, std::size_t at) {
  const std::uint32_t moving = heap[at];
  for (;;) {
    std::size_t child = 2 * at + 1;
    if (child >= heap.size()) break;
    if (child + 1 < heap.size() && before(heap[child + 1], heap[child])) ++child;
    if (!before(heap[child], moving)) break;
    place(heap, at, heap[child]);
    at = child;
  }
  place(heap, at, moving);
}

// Takes the slot out of its heap and frees it.
void EventQueue::remove(std::uint32_t number) {
  Slot& slot = slots_[number];
  Heap& heap = heapOf(slot.kind);
  const std::size_t at = slot.heapIndex;
  const std::uint32_t last = heap.back();
  heap.pop_back();
  if (at < heap.size()) {
    place(heap, at, last);
    siftDown(heap, at);
    siftUp(heap, slots_[last].heapIndex);
  }
  slot.sequence = 0;
  slot.nextFree = freeHead_;
  freeHead_ = number + 1;
  --live_;
}

}  // namespace ndis
