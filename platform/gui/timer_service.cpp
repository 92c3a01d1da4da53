#include "platform/gui/timer_service.h"

#include <QTimer>
#include <algorithm>

#include "platform/gui/wnd.h"

namespace zfw {

QtTimerService::QtTimerService() = default;

QtTimerService::~QtTimerService() {
  for (auto& [key, timer] : timers_) delete timer;
}

void QtTimerService::start(Wnd& owner, int id, uint32_t ms) {
  QTimer*& timer = timers_[{&owner, id}];
  if (!timer) {
    timer = new QTimer();
    Wnd* target = &owner;
    QObject::connect(timer, &QTimer::timeout, [target, id] { target->dispatchTimer(id); });
  }
  timer->start(static_cast<int>(std::min<uint32_t>(ms, 0x7FFFFFFF)));
}

// A handler may kill the very timer that is calling it: stop it now, delete it later.
void QtTimerService::release(QTimer* timer) {
  timer->stop();
  timer->disconnect();
  timer->deleteLater();
}

void QtTimerService::stop(Wnd& owner, int id) {
  auto it = timers_.find({&owner, id});
  if (it == timers_.end()) return;
  release(it->second);
  timers_.erase(it);
}

void QtTimerService::stopAll(Wnd& owner) {
  for (auto it = timers_.begin(); it != timers_.end();) {
    if (it->first.first == &owner) {
      release(it->second);
      it = timers_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace zfw
