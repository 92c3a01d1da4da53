#pragma once
// Delivers the library's notifications to the utility's window on a thread of its own, so a
// backend never calls into the utility while it holds a lock or runs inside an operation.
// Texts are copied; the window is the one named last when the notification is delivered.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace zelcon {

class Notifier {
public:
  using Poster = void (*)(void* window, uint32_t code, intptr_t param, const char* text);

  Notifier() = default;
  ~Notifier();
  Notifier(const Notifier&) = delete;
  Notifier& operator=(const Notifier&) = delete;

  void SetPoster(Poster poster);
  void SetTarget(void* window);
  // Queued for delivery after `delay`; notifications due at the same time keep their order.
  void Post(uint32_t code, intptr_t param = 0, std::string text = {},
            std::chrono::milliseconds delay = std::chrono::milliseconds(0));
  // Drops everything not yet delivered (the adapter went away).
  void DropPending();

private:
  struct Pending {
    uint32_t code;
    intptr_t param;
    std::string text;
  };
  using Clock = std::chrono::steady_clock;
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::multimap<Clock::time_point, Pending> queue_;
  Poster poster_ = nullptr;
  void* target_ = nullptr;
  bool stopping_ = false;
  std::thread thread_;  // started by the first Post
};

}  // namespace zelcon
