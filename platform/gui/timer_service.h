#pragma once
// Window timers by id, through a replaceable service: Qt timers in the program, manual
// timers (zfw::testing::ManualTimers) in tests.
#include <cstdint>
#include <map>
#include <utility>

class QTimer;

namespace zfw {

class Wnd;

class ITimerService {
 public:
  virtual ~ITimerService() = default;
  // Starts timer `id` of `owner` with period `ms`, replacing a running one of that id.
  // Each expiry calls owner.dispatchTimer(id) on the GUI thread.
  virtual void start(Wnd& owner, int id, uint32_t ms) = 0;
  virtual void stop(Wnd& owner, int id) = 0;
  virtual void stopAll(Wnd& owner) = 0;
};

class QtTimerService final : public ITimerService {
 public:
  QtTimerService();
  ~QtTimerService() override;
  void start(Wnd& owner, int id, uint32_t ms) override;
  void stop(Wnd& owner, int id) override;
  void stopAll(Wnd& owner) override;

 private:
  void release(QTimer* timer);
  std::map<std::pair<Wnd*, int>, QTimer*> timers_;
};

}  // namespace zfw
