#pragma once
// A recursive lock: the thread that holds it may enter it again and must leave it as often.
#include <mutex>

namespace plat {

class CriticalSection {
public:
  CriticalSection() = default;
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter() { mutex_.lock(); }
  bool TryEnter() { return mutex_.try_lock(); }
  void Leave() { mutex_.unlock(); }

private:
  std::recursive_mutex mutex_;
};

}  // namespace plat
