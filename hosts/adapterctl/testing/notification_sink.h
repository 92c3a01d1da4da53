#pragma once
// Collects what the library posts to a window, for tests that wait for notifications.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace zelcon {

class NotificationSink {
public:
  struct Note {
    uint32_t code;
    intptr_t param;
    bool hadText;
    std::string text;
  };

  // The poster to register; `window` must be a sink's Window().
  static void Post(void* window, uint32_t code, intptr_t param, const char* text) {
    auto* sink = static_cast<NotificationSink*>(window);
    std::lock_guard lock(sink->mutex_);
    sink->notes_.push_back({code, param, text != nullptr, text ? text : ""});
    sink->arrived_.notify_all();
  }
  void* Window() { return this; }

  // Waits (at most two seconds) until `count` notifications arrived; returns and forgets them.
  std::vector<Note> WaitFor(size_t count) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, std::chrono::seconds(2), [&] { return notes_.size() >= count; });
    std::vector<Note> got;
    got.swap(notes_);
    return got;
  }
  // Waits (at most two seconds) for the next notification; code 0xFFFFFFFF when none came.
  Note Next() {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, std::chrono::seconds(2), [&] { return !notes_.empty(); }))
      return {0xFFFFFFFF, 0, false, {}};
    Note first = notes_.front();
    notes_.erase(notes_.begin());
    return first;
  }
  // True when nothing arrives within `quiet`.
  bool WaitForNothing(std::chrono::milliseconds quiet) {
    std::unique_lock lock(mutex_);
    return !arrived_.wait_for(lock, quiet, [&] { return !notes_.empty(); });
  }

private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Note> notes_;
};

}  // namespace zelcon
