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
// Files (a TAP, the control device's sockets) are watched by the executor itself: a file
// that becomes readable runs its watch's action as an event, so a frame or a request reaches
// the driver without a thread in between. Real-time mode sleeps on the clock and the files
// together; virtual mode looks at the files, without waiting, whenever nothing is due.
//
// One thread runs the events. post() is the only call other threads may make (real-time
// mode: a stop request from a signal thread, a test's step).
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ndis/event_action.h"
#include "platform/ndis/event_queue.h"
#include "platform/ndis/poller.h"

namespace ndis {

using Micros = std::chrono::duration<std::int64_t, std::micro>;
using namespace std::chrono_literals;

const char* EventKindName(EventKind kind);

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
  ~Scheduler();
  Scheduler(const Scheduler&) = delete;
  Scheduler& operator=(const Scheduler&) = delete;

  Mode mode() const { return mode_; }
  // Time since the scheduler was made; never goes backwards.
  Micros now() const;

  // Queue an action at an absolute time (a time already past runs as soon as possible,
  // after what is already due) or after a delay from now().
  EventId at(Micros when, EventKind kind, std::string_view label, EventAction action);
  EventId after(Micros delay, EventKind kind, std::string_view label, EventAction action);
  // From any thread: run the action as soon as the executor can (at now()).
  void post(EventKind kind, std::string_view label, EventAction action);
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

  // From the executor's thread: run `ready` as an event of `kind` each time `fd` becomes
  // readable (edge-triggered: once per arrival after the file was read empty, so the action
  // reads until EAGAIN or remembers that data waits). Watched actions run in full waits, not
  // in chip-only ones. Nothing (errno set) when the file cannot be watched.
  struct WatchId {
    std::uint64_t value = 0;
    explicit operator bool() const { return value != 0; }
  };
  WatchId watch(int fd, EventKind kind, std::string_view label, std::function<void()> ready);
  // Also from inside the watch's own action; the file is not looked at any more.
  void unwatch(WatchId id);

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
  struct Watch {
    std::uint64_t id;
    int fd;
    EventKind kind;
    std::string label;
    std::function<void()> ready;
    bool pending = false;  // readable, its action not run yet
    bool removed = false;
  };

  // Runs due events (time <= deadline) of the scope until none is left; then the clock
  // stands at the deadline.
  void runThrough(Micros deadline, WaitScope scope, const std::function<bool()>* done);
  bool popDue(Micros deadline, WaitScope scope, EventQueue::Popped& event, std::string* label);
  template <class Action>
  void execute(std::int64_t when, EventKind kind, std::string_view label, Action& action);
  bool runPendingWatch(WaitScope scope);
  void collectReady(std::optional<std::chrono::nanoseconds> timeout);
  void advanceTo(Micros when);
  Micros wallClock() const;
  void sleepUntil(Micros when, std::uint64_t seen);
  Poller& poller();

  const Mode mode_;
  const std::uint64_t seed_;
  const std::chrono::steady_clock::time_point origin_;

  mutable std::mutex mutex_;  // guards the queue and the sleeping flag; post() comes from other threads
  EventQueue queue_;
  std::uint64_t queued_ = 0;  // events ever queued: a sleep ends when it moves
  bool sleeping_ = false;
  std::unique_ptr<Poller> poller_;  // real time from the start, virtual time once a file is watched

  // Executor only.
  std::vector<std::unique_ptr<Watch>> watches_;
  std::uint64_t nextWatch_ = 1;
  int watchActionsRunning_ = 0;
  std::int64_t lastLooked_ = 0;  // when the files were last looked at while events kept coming
  std::string label_;  // the label of the event being traced

  std::int64_t now_ = 0;  // virtual mode: the clock; real-time mode: last time read
  int depth_ = 0;
  EventKind currentKind_ = EventKind::Host;
  bool tracing_ = false;
  std::vector<TraceEntry> trace_;
};

}  // namespace ndis
