#pragma once
// The executor of one or more adapters and the clock they read: a queue of
// (time, sequence, action) that runs every event in time order, ties in the order they
// were queued, so a run in virtual time is reproducible bit for bit.
//
// Two clocks:
//  - Virtual (tests): time stands still while an event runs and jumps to the next event;
//    runFor/runUntil move it. Nothing ever waits for the wall clock.
//  - RealTime (the driver host process): now() follows CLOCK_MONOTONIC from the moment the
//    scheduler was made, and the run calls wait for the wall clock between events.
//
// Waits inside an event (what NdisMSleep and NdisStallExecution do): wait() moves the clock
// on by the given time and runs the due events it is allowed to run meanwhile, nested inside
// the waiting event. A full wait runs everything; a chip-only wait runs only the chip's own
// events (a mailbox answer, a DMA transfer), like a processor spinning at raised IRQL.
//
// One thread runs the events. post() is the only call other threads may make (real-time
// mode: a request that arrives from a socket thread).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ndis {

using Micros = std::chrono::duration<std::int64_t, std::micro>;
using namespace std::chrono_literals;

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

const char* EventKindName(EventKind kind);

// Identifies a queued event for cancel(); 0 is "none".
struct EventId {
  std::uint64_t value = 0;
  explicit operator bool() const { return value != 0; }
  friend bool operator==(EventId, EventId) = default;
};

struct TraceEntry {
  Micros at;
  EventKind kind;
  std::string label;
  friend bool operator==(const TraceEntry&, const TraceEntry&) = default;
};

enum class WaitScope : std::uint8_t {
  All,       // NdisMSleep: every due event runs during the wait
  ChipOnly,  // NdisStallExecution: only EventKind::Chip events run during the wait
};

class Scheduler {
public:
  enum class Mode : std::uint8_t { Virtual, RealTime };

  explicit Scheduler(Mode mode = Mode::Virtual, std::uint64_t seed = 1);
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  Mode mode() const { return mode_; }
  // Time since the scheduler was made; never goes backwards.
  Micros now() const;

  // Queue an action at an absolute time (a time already past runs as soon as possible,
  // after what is already due) or after a delay from now().
  EventId at(Micros when, EventKind kind, std::string label, std::function<void()> action);
  EventId after(Micros delay, EventKind kind, std::string label, std::function<void()> action);
  // From any thread: run the action as soon as the executor can (at now()).
  void post(EventKind kind, std::string label, std::function<void()> action);
  // True when the event was still queued and is now gone.
  bool cancel(EventId id);
  bool queued(EventId id) const;
  std::size_t queuedCount() const;
  std::optional<Micros> nextDue() const;

  // Driving time from outside any event (tests, the host's loop).
  void runFor(Micros duration);
  void runUntil(Micros when);
  // Runs until done() holds (checked before the first and after every event) or the
  // timeout has passed; returns done().
  bool runUntil(const std::function<bool()>& done, Micros timeout);
  // Runs until no event is queued, at most `limit` of time; true when the queue emptied.
  // Periodic timers keep a queue busy, so a limit is always given.
  bool runUntilIdle(Micros limit = 60s);
  // Runs what is due now without moving the clock.
  void settle();

  // Inside an event: move the clock on by `duration`, running the due events of the scope.
  void wait(Micros duration, WaitScope scope);
  // True while an event runs (also while it waits).
  bool running() const { return depth_ > 0; }
  EventKind currentKind() const { return currentKind_; }

  // Every event that ran, with its time, kind and label (off by default).
  void recordTrace(bool on) { tracing_ = on; }
  const std::vector<TraceEntry>& trace() const { return trace_; }
  void clearTrace() { trace_.clear(); }

  // Reproducible random sources: a component's seed depends on the scheduler's seed and the
  // component's name only.
  std::uint64_t seed() const { return seed_; }
  std::uint64_t seedFor(std::string_view component) const;
  std::mt19937_64 randomFor(std::string_view component) const;

private:
  struct Key {
    std::int64_t when;
    std::uint64_t sequence;
    friend auto operator<=>(const Key&, const Key&) = default;
  };
  struct Event {
    EventKind kind;
    std::string label;
    std::function<void()> action;
  };

  // Runs due events (time <= deadline) of the scope until none is left; then the clock
  // stands at the deadline.
  void runThrough(Micros deadline, WaitScope scope, const std::function<bool()>* done);
  bool popDue(Micros deadline, WaitScope scope, Key& key, Event& event);
  void execute(const Key& key, Event& event);
  void advanceTo(Micros when);
  Micros wallClock() const;
  void sleepUntil(Micros when);

  const Mode mode_;
  const std::uint64_t seed_;
  const std::chrono::steady_clock::time_point origin_;

  mutable std::mutex mutex_;  // guards the queue; post() comes from other threads
  std::condition_variable posted_;
  std::map<Key, Event> queue_;
  std::unordered_map<std::uint64_t, std::int64_t> whenById_;
  std::uint64_t nextSequence_ = 1;

  std::int64_t now_ = 0;  // virtual mode: the clock; real-time mode: last time read
  int depth_ = 0;
  EventKind currentKind_ = EventKind::Host;
  bool tracing_ = false;
  std::vector<TraceEntry> trace_;
};

}  // namespace ndis
