#pragma once
// A worker thread with a "finished" event, so the GUI thread can wait for its end with a
// time-out (and keep serving the worker's calls while it waits).
#include <functional>
#include <memory>
#include <thread>

#include "platform/gui/base/event.h"

namespace zfw {

class Thread {
 public:
  Thread();
  // Joins a thread that is still running: a worker may use its owner until it returns.
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts `body` on a new thread; false when one is still running. An exception that
  // escapes `body` ends the thread (it is reported on stderr) and never the process.
  bool start(std::function<void()> body);
  // True from start() until the body has returned.
  bool running() const;
  // Signalled when the body has returned (and reset by start()).
  Event& finished() { return *finished_; }
  // Waits up to `ms` for the body to return and joins; false on time-out (still joinable).
  bool join(uint32_t ms = kInfinite);
  std::thread::id id() const { return thread_.get_id(); }

 private:
  std::thread thread_;
  std::shared_ptr<Event> finished_;
};

}  // namespace zfw
