#include "platform/ndis/scheduler.h"

#include <algorithm>

namespace ndis {
namespace {

// How often a busy real-time executor looks at its watched files between events.
constexpr std::int64_t kLookEveryMicros = 100;

std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::uint64_t Fnv1a64(std::string_view text) {
  std::uint64_t hash = 0xCBF29CE484222325ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001B3ull;
  }
  return hash;
}

}  // namespace

const char* EventKindName(EventKind kind) {
  switch (kind) {
    case EventKind::Chip: return "chip";
    case EventKind::Interrupt: return "interrupt";
    case EventKind::Deferred: return "deferred";
    case EventKind::Timer: return "timer";
    case EventKind::Send: return "send";
    case EventKind::Return: return "return";
    case EventKind::Request: return "request";
    case EventKind::Passive: return "passive";
    case EventKind::Air: return "air";
    case EventKind::Host: return "host";
  }
  return "?";
}

Scheduler::Scheduler(Mode mode, std::uint64_t seed)
    : mode_(mode), seed_(seed), origin_(std::chrono::steady_clock::now()) {
  if (mode_ == Mode::RealTime) poller_ = std::make_unique<Poller>();
}

Scheduler::~Scheduler() = default;

Micros Scheduler::wallClock() const {
  return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now() - origin_);
}

Micros Scheduler::now() const {
  if (mode_ == Mode::RealTime) return wallClock();
  return Micros(now_);
}

Poller& Scheduler::poller() {
  if (!poller_) poller_ = std::make_unique<Poller>();
  return *poller_;
}

EventId Scheduler::at(Micros when, EventKind kind, std::string_view label, EventAction action) {
  std::lock_guard lock(mutex_);
  const std::int64_t time = std::max(when.count(), now().count());
  const EventId id = queue_.push(time, kind, label, std::move(action));
  ++queued_;
  if (sleeping_) poller_->wake();
  return id;
}

EventId Scheduler::after(Micros delay, EventKind kind, std::string_view label, EventAction action) {
  return at(now() + std::max(delay, Micros(0)), kind, label, std::move(action));
}

void Scheduler::post(EventKind kind, std::string_view label, EventAction action) {
  at(now(), kind, label, std::move(action));
}

bool Scheduler::cancel(EventId id) {
  std::lock_guard lock(mutex_);
  return queue_.cancel(id);
}

bool Scheduler::queued(EventId id) const {
  std::lock_guard lock(mutex_);
  return queue_.contains(id);
}

std::size_t Scheduler::queuedCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

std::optional<Micros> Scheduler::nextDue() const {
  std::lock_guard lock(mutex_);
  const std::optional<std::int64_t> when = queue_.nextDue(false);
  if (!when) return std::nullopt;
  return Micros(*when);
}

bool Scheduler::popDue(Micros deadline, WaitScope scope, EventQueue::Popped& event, std::string* label) {
  std::lock_guard lock(mutex_);
  std::int64_t limit = deadline.count();
  if (mode_ == Mode::RealTime) limit = std::min(limit, wallClock().count());
  return queue_.popDue(limit, scope == WaitScope::ChipOnly, event, label);
}

void Scheduler::advanceTo(Micros when) {
  if (mode_ == Mode::Virtual && when.count() > now_) now_ = when.count();
}

template <class Action>
void Scheduler::execute(std::int64_t when, EventKind kind, std::string_view label, Action& action) {
  advanceTo(Micros(when));
  if (tracing_) trace_.push_back(TraceEntry{now(), kind, std::string(label)});
  const EventKind outer = currentKind_;
  currentKind_ = kind;
  ++depth_;
  struct Restore {
    Scheduler& self;
    EventKind outer;
    ~Restore() {
      --self.depth_;
      self.currentKind_ = outer;
    }
  } restore{*this, outer};
  action();
}

// --- watched files ----------------------------------------------------------------------------

Scheduler::WatchId Scheduler::watch(int fd, EventKind kind, std::string_view label, std::function<void()> ready) {
  const std::uint64_t id = nextWatch_++;
  if (!poller().add(fd, id)) return {};
  watches_.push_back(std::make_unique<Watch>(Watch{id, fd, kind, std::string(label), std::move(ready)}));
  return WatchId{id};
}

void Scheduler::unwatch(WatchId id) {
  for (auto it = watches_.begin(); it != watches_.end(); ++it) {
    Watch& w = **it;
    if (w.id != id.value || w.removed) continue;
    poller_->remove(w.fd);
    w.removed = true;
    if (watchActionsRunning_ == 0) watches_.erase(it);  // else swept once no action runs
    return;
  }
}

// Marks the watches whose files became readable, waiting at most `timeout` for one.
void Scheduler::collectReady(std::optional<std::chrono::nanoseconds> timeout) {
  std::uint64_t ready[16];
  const std::size_t count = poller_->wait(timeout, ready, std::size(ready));
  for (std::size_t i = 0; i < count; ++i) {
    for (auto& w : watches_) {
      if (w->id == ready[i] && !w->removed) w->pending = true;
    }
  }
}

bool Scheduler::runPendingWatch(WaitScope scope) {
  if (scope == WaitScope::ChipOnly) return false;
  for (std::size_t i = 0; i < watches_.size(); ++i) {
    Watch& w = *watches_[i];
    if (!w.pending || w.removed) continue;
    w.pending = false;
    ++watchActionsRunning_;
    struct Sweep {
      Scheduler& self;
      ~Sweep() {
        if (--self.watchActionsRunning_ == 0) {
          std::erase_if(self.watches_, [](const std::unique_ptr<Watch>& x) { return x->removed; });
        }
      }
    } sweep{*this};
    // Unwatched while its action runs, the watch stays until the sweep above.
    execute(now().count(), w.kind, w.label, w.ready);
    return true;
  }
  return false;
}

// --- running ----------------------------------------------------------------------------------

void Scheduler::sleepUntil(Micros when, std::uint64_t seen) {
  {
    std::lock_guard lock(mutex_);
    if (queued_ != seen) return;  // something came in while the loop looked
    sleeping_ = true;
  }
  const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(when - wallClock());
  collectReady(left);
  std::lock_guard lock(mutex_);
  sleeping_ = false;
}

void Scheduler::runThrough(Micros deadline, WaitScope scope, const std::function<bool()>* done) {
  EventQueue::Popped event;
  for (;;) {
    if (done != nullptr && (*done)()) return;
    if (runPendingWatch(scope)) continue;
    std::uint64_t seen;
    {
      std::lock_guard lock(mutex_);
      seen = queued_;
    }
    if (popDue(deadline, scope, event, tracing_ ? &label_ : nullptr)) {
      // Files are looked at now and then while events keep coming, so a busy executor still
      // hears them.
      if (!watches_.empty() && scope == WaitScope::All && mode_ == Mode::RealTime) {
        const std::int64_t wall = wallClock().count();
        if (wall - lastLooked_ >= kLookEveryMicros) {
          lastLooked_ = wall;
          collectReady(std::chrono::nanoseconds(0));
        }
      }
      execute(event.when, event.kind, label_, event.action);
      event.action.reset();
      continue;
    }
    if (mode_ == Mode::Virtual) {
      // Nothing due: the watched files, without waiting.
      if (watches_.empty() || scope == WaitScope::ChipOnly) break;
      collectReady(std::chrono::nanoseconds(0));
      if (runPendingWatch(scope)) continue;
      break;
    }
    // Real time: nothing is due yet; sleep until the next event of the scope, the deadline,
    // or a watched file.
    const Micros wall = wallClock();
    if (wall >= deadline) break;
    Micros wake = deadline;
    {
      std::lock_guard lock(mutex_);
      if (const auto next = queue_.nextDue(scope == WaitScope::ChipOnly)) wake = std::min(wake, Micros(*next));
    }
    lastLooked_ = wall.count();
    if (wake > wall) sleepUntil(wake, seen);
  }
  advanceTo(deadline);
}

void Scheduler::runFor(Micros duration) { runUntil(now() + duration); }

void Scheduler::runUntil(Micros when) { runThrough(when, WaitScope::All, nullptr); }

bool Scheduler::runUntil(const std::function<bool()>& done, Micros timeout) {
  runThrough(now() + timeout, WaitScope::All, &done);
  return done();
}

bool Scheduler::runUntilIdle(Micros limit) {
  const std::function<bool()> idle = [this] { return queuedCount() == 0; };
  runThrough(now() + limit, WaitScope::All, &idle);
  return idle();
}

void Scheduler::settle() { runThrough(now(), WaitScope::All, nullptr); }

void Scheduler::wait(Micros duration, WaitScope scope) {
  runThrough(now() + std::max(duration, Micros(0)), scope, nullptr);
}

std::uint64_t Scheduler::seedFor(std::string_view component) const {
  return SplitMix64(seed_ ^ Fnv1a64(component));
}

std::mt19937_64 Scheduler::randomFor(std::string_view component) const {
  return std::mt19937_64(seedFor(component));
}

}  // namespace ndis
