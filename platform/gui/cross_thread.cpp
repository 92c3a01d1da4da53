#include "platform/gui/cross_thread.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

namespace zfw {
namespace {

struct Call {
  std::function<void()> fn;
  Event done{Event::Reset::Manual};
  std::atomic<bool> abandoned{false};
};

// Calls waiting for the GUI thread. `pending` is set while the queue holds any, so a GUI
// thread that waits for a worker can wait for "worker ended or a call came" at once.
struct CallQueue {
  std::mutex mutex;
  std::deque<std::shared_ptr<Call>> calls;
  Event pending{Event::Reset::Manual};
};

CallQueue& queue() {
  static CallQueue q;
  return q;
}

std::shared_ptr<Call> enqueue(const std::function<void()>& fn) {
  auto call = std::make_shared<Call>();
  call->fn = fn;
  CallQueue& q = queue();
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    q.calls.push_back(call);
    q.pending.set();
  }
  // The usual road: the GUI thread's event loop runs the queue soon.
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(app, [] { serveCrossThreadCalls(); }, Qt::QueuedConnection);
  }
  return call;
}

}  // namespace

bool isGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return !app || QThread::currentThread() == app->thread();
}

int serveCrossThreadCalls() {
  CallQueue& q = queue();
  int ran = 0;
  for (;;) {
    std::shared_ptr<Call> call;
    {
      std::lock_guard<std::mutex> lock(q.mutex);
      if (q.calls.empty()) {
        q.pending.reset();
        return ran;
      }
      call = q.calls.front();
      q.calls.pop_front();
    }
    if (!call->abandoned.load()) {
      call->fn();
      ++ran;
    }
    call->done.set();
  }
}

void runOnGuiThread(const std::function<void()>& fn) {
  if (isGuiThread()) {
    fn();
    return;
  }
  enqueue(fn)->done.wait();
}

bool runOnGuiThread(const std::function<void()>& fn, Event& stop) {
  if (isGuiThread()) {
    fn();
    return true;
  }
  std::shared_ptr<Call> call = enqueue(fn);
  if (waitAny({&call->done, &stop}) == 0) return true;
  call->abandoned.store(true);
  return false;
}

intptr_t sendAppMessage(Wnd& target, uint32_t code, const AppParam& param) {
  if (isGuiThread()) return target.onAppMessage(code, param);
  intptr_t result = 0;
  const WndRef ref = target.ref();
  runOnGuiThread([&] {
    if (Wnd* w = ref.get()) result = w->onAppMessage(code, param);
  });
  return result;
}

intptr_t guiSend(const WndRef& target, uint32_t code, const AppParam& param, Event& stop) {
  // The result lives beyond an abandoned wait: the call may still be running.
  auto result = std::make_shared<std::atomic<intptr_t>>(0);
  auto copy = std::make_shared<AppParam>(param);
  const bool finished = runOnGuiThread(
      [target, code, copy, result] {
        if (Wnd* w = target.get()) result->store(w->onAppMessage(code, *copy));
      },
      stop);
  return finished ? result->load() : 0;
}

void postAppMessage(const WndRef& target, uint32_t code, AppParam param) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || target.expired()) return;
  QMetaObject::invokeMethod(
      app,
      [target, code, param = std::move(param)] {
        if (Wnd* w = target.get()) w->onAppMessage(code, param);
      },
      Qt::QueuedConnection);
}

bool postAppMessage(void* handle, uint32_t code, AppParam param) {
  const WndRef target = Wnd::fromHandle(handle);
  if (target.expired()) return false;
  postAppMessage(target, code, std::move(param));
  return true;
}

bool waitForThread(Thread& worker, uint32_t ms) {
  const uint64_t deadline = deadlineAfter(ms);
  for (;;) {
    const uint64_t now = tickCount();
    const uint32_t left = deadline == UINT64_MAX ? kInfinite
                          : now >= deadline     ? 0
                                                : static_cast<uint32_t>(std::min<uint64_t>(deadline - now, kInfinite - 1));
    switch (waitAny({&worker.finished(), &queue().pending}, left)) {
      case 0:
        return worker.join();
      case 1:
        serveCrossThreadCalls();
        break;
      default:
        return false;
    }
  }
}

}  // namespace zfw
