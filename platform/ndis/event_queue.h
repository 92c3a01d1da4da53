#pragma once
// The scheduler's queue of events in (time, sequence) order, with cancel by id. Events live
// in slots that are reused once they ran or were cancelled, and the order is kept by two
// indexed binary heaps (the chip's own events apart, so a chip-only wait finds its next event
// at once): after the queue has grown to its working size, queueing and running events
// allocates nothing. Not thread-safe; the scheduler locks around it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ndis/event_action.h"

namespace ndis {

// Who queued an event. Only Chip events run inside a chip-only wait.
enum class EventKind : std::uint8_t {
  Chip,       // the chip's own work: register side effects, mailbox, DMA, radio timing
  Interrupt,  // interrupt service routine (DIRQL)
  Deferred,   // deferred interrupt handler (DISPATCH)
  Timer,      // NDIS timers (DISPATCH)
  Send,       // sends handed to the miniport (DISPATCH)
  Return,     // received packets handed back to the miniport (DISPATCH)
  Request,    // OID requests, reset, check for hang (DISPATCH)
  Passive,    // initialize, halt and other PASSIVE calls of the host
  Air,        // the simulated medium: frame deliveries, access-point timers
  Host,       // test steps and host work
};

// Identifies a queued event for cancel(); 0 is "none". The sequence number is never reused,
// so an id stays wrong for every later event that takes its slot.
struct EventId {
  std::uint64_t value = 0;  // the event's sequence number
  std::uint32_t slot = 0;
  explicit operator bool() const { return value != 0; }
  friend bool operator==(EventId, EventId) = default;
};

class EventQueue {
public:
  EventQueue();
  EventId push(std::int64_t when, EventKind kind, std::string_view label, EventAction action);
  bool cancel(EventId id);
  bool contains(EventId id) const;
  std::size_t size() const { return live_; }
  // The time of the earliest event (of the chip's own only, with `chipOnly`).
  std::optional<std::int64_t> nextDue(bool chipOnly) const;

  struct Popped {
    std::int64_t when = 0;
    EventKind kind = EventKind::Host;
    EventAction action;
  };
  // Takes the earliest event (of the chip's only, with `chipOnly`) due at or before `limit`
  // into `out`, its label into `label` when given; false when there is none.
  bool popDue(std::int64_t limit, bool chipOnly, Popped& out, std::string* label);

private:
  struct Slot {
    std::int64_t when = 0;
    std::uint64_t sequence = 0;  // 0 while free
    EventKind kind = EventKind::Host;
    std::uint32_t heapIndex = 0;
    std::uint32_t nextFree = 0;
    std::string label;  // keeps its capacity from one event to the next
    EventAction action;
  };
  using Heap = std::vector<std::uint32_t>;  // slot numbers

  Heap& heapOf(EventKind kind) { return kind == EventKind::Chip ? chip_ : other_; }
  bool before(std::uint32_t a, std::uint32_t b) const;
  void place(Heap& heap, std::size_t at, std::uint32_t slot);
  void siftUp(Heap& heap, std::size_t at);
  void siftDown(Heap& heap, std::size_t at);
  void remove(std::uint32_t slot);
  const Slot* earliest(bool chipOnly) const;

  std::vector<Slot> slots_;
  std::uint32_t freeHead_ = 0;  // slot number + 1; 0: none free
  Heap chip_;
  Heap other_;
  std::size_t live_ = 0;
  std::uint64_t nextSequence_ = 1;
};

}  // namespace ndis
