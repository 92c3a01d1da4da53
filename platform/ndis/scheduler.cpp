#include "platform/ndis/scheduler.h"

#include <algorithm>

namespace ndis {
namespace {

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
    : mode_(mode), seed_(seed), origin_(std::chrono::steady_clock::now()) {}

Micros Scheduler::wallClock() const {
  return std::chrono::duration_cast<Micros>(std::chrono::steady_clock::now() - origin_);
}

Micros Scheduler::now() const {
  if (mode_ == Mode::RealTime) return wallClock();
  return Micros(now_);
}

EventId Scheduler::at(Micros when, EventKind kind, std::string label,
                      std::function<void()> action) {
  std::lock_guard lock(mutex_);
  const std::uint64_t sequence = nextSequence_++;
  const std::int64_t time = std::max(when.count(), now().count());
  queue_.emplace(Key{time, sequence}, Event{kind, std::move(label), std::move(action)});
  whenById_.emplace(sequence, time);
  posted_.notify_all();
  return EventId{sequence};
}

EventId Scheduler::after(Micros delay, EventKind kind, std::string label,
                         std::function<void()> action) {
  return at(now() + std::max(delay, Micros(0)), kind, std::move(label), std::move(action));
}

void Scheduler::post(EventKind kind, std::string label, std::function<void()> action) {
  at(now(), kind, std::move(label), std::move(action));
}

bool Scheduler::cancel(EventId id) {
  std::lock_guard lock(mutex_);
  auto found = whenById_.find(id.value);
  if (found == whenById_.end()) return false;
  queue_.erase(Key{found->second, id.value});
  whenById_.erase(found);
  return true;
}

bool Scheduler::queued(EventId id) const {
  std::lock_guard lock(mutex_);
  return whenById_.contains(id.value);
}

std::size_t Scheduler::queuedCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

std::optional<Micros> Scheduler::nextDue() const {
  std::lock_guard lock(mutex_);
  if (queue_.empty()) return std::nullopt;
  return Micros(queue_.begin()->first.when);
}

bool Scheduler::popDue(Micros deadline, WaitScope scope, Key& key, Event& event) {
  std::lock_guard lock(mutex_);
  std::int64_t limit = deadline.count();
  if (mode_ == Mode::RealTime) limit = std::min(limit, wallClock().count());
  for (auto it = queue_.begin(); it != queue_.end() && it->first.when <= limit; ++it) {
    if (scope == WaitScope::ChipOnly && it->second.kind != EventKind::Chip) continue;
    key = it->first;
    event = std::move(it->second);
    whenById_.erase(key.sequence);
    queue_.erase(it);
    return true;
  }
  return false;
}

void Scheduler::advanceTo(Micros when) {
  if (mode_ == Mode::Virtual && when.count() > now_) now_ = when.count();
}

void Scheduler::execute(const Key& key, Event& event) {
  advanceTo(Micros(key.when));
  if (tracing_) trace_.push_back(TraceEntry{now(), event.kind, event.label});
  const EventKind outer = currentKind_;
  currentKind_ = event.kind;
  ++depth_;
  struct Restore {
    Scheduler& self;
    EventKind outer;
    ~Restore() {
      --self.depth_;
      self.currentKind_ = outer;
    }
  } restore{*this, outer};
  event.action();
}

void Scheduler::sleepUntil(Micros when) {
  std::unique_lock lock(mutex_);
  const std::size_t before = nextSequence_;
  const auto wake = origin_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(when);
  posted_.wait_until(lock, wake, [&] { return nextSequence_ != before; });
}

void Scheduler::runThrough(Micros deadline, WaitScope scope, const std::function<bool()>* done) {
  for (;;) {
    if (done != nullptr && (*done)()) return;
    Key key{};
    Event event{};
    if (popDue(deadline, scope, key, event)) {
      execute(key, event);
      continue;
    }
    if (mode_ == Mode::Virtual) break;
    // Real time: nothing is due yet; sleep until the next event of the scope or the deadline.
    const Micros wall = wallClock();
    if (wall >= deadline) break;
    Micros wake = deadline;
    {
      std::lock_guard lock(mutex_);
      for (const auto& [k, e] : queue_) {
        if (scope == WaitScope::ChipOnly && e.kind != EventKind::Chip) continue;
        wake = std::min(wake, Micros(k.when));
        break;
      }
    }
    if (wake > wall) sleepUntil(wake);
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
