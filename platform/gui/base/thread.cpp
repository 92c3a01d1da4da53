#include "platform/gui/base/thread.h"

#include <cstdio>
#include <exception>

namespace zfw {

Thread::Thread() : finished_(std::make_shared<Event>(Event::Reset::Manual, true)) {}

Thread::~Thread() {
  if (thread_.joinable()) thread_.join();
}

bool Thread::start(std::function<void()> body) {
  if (running()) return false;
  if (thread_.joinable()) thread_.join();
  finished_->reset();
  thread_ = std::thread([body = std::move(body), finished = finished_] {
    try {
      body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "zfw: worker thread ended by an exception: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "zfw: worker thread ended by an unknown exception\n");
    }
    finished->set();
  });
  return true;
}

bool Thread::running() const { return thread_.joinable() && !finished_->isSet(); }

bool Thread::join(uint32_t ms) {
  if (!thread_.joinable()) return true;
  if (!finished_->wait(ms)) return false;
  thread_.join();
  return true;
}

}  // namespace zfw
