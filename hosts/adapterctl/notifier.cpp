#include "hosts/adapterctl/notifier.h"

namespace zelcon {

Notifier::~Notifier() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void Notifier::SetPoster(Poster poster) {
  std::lock_guard lock(mutex_);
  poster_ = poster;
}

void Notifier::SetTarget(void* window) {
  std::lock_guard lock(mutex_);
  target_ = window;
}

void Notifier::Post(uint32_t code, intptr_t param, std::string text,
                    std::chrono::milliseconds delay) {
  {
    std::lock_guard lock(mutex_);
    queue_.emplace(Clock::now() + delay, Pending{code, param, std::move(text)});
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  }
  wake_.notify_all();
}

void Notifier::DropPending() {
  std::lock_guard lock(mutex_);
  queue_.clear();
}

void Notifier::Run() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    if (queue_.empty()) {
      wake_.wait(lock);
      continue;
    }
    auto due = queue_.begin()->first;
    if (Clock::now() < due) {
      wake_.wait_until(lock, due);
      continue;
    }
    Pending next = std::move(queue_.begin()->second);
    queue_.erase(queue_.begin());
    Poster poster = poster_;
    void* target = target_;
    lock.unlock();
    if (poster && target)
      poster(target, next.code, next.param, next.text.empty() ? nullptr : next.text.c_str());
    lock.lock();
  }
}

}  // namespace zelcon
