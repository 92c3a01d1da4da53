#pragma once
// Application messages between windows and threads.
//   sendAppMessage  on the GUI thread: the handler runs at once; from another thread: it
//                   runs on the GUI thread while the sender waits
//   guiSend         the same, for a worker that must be able to give up: it returns 0 as
//                   soon as `stop` (a manual-reset event) is set, and a call that has not
//                   started is dropped
//   postAppMessage  queued, from any thread; dropped when the window is gone
// While the GUI thread waits for a worker (waitForThread), it keeps running the worker's
// calls, so the two cannot deadlock.
#include <cstdint>
#include <functional>

#include "platform/gui/base/event.h"
#include "platform/gui/base/thread.h"
#include "platform/gui/types.h"
#include "platform/gui/wnd.h"

namespace zfw {

bool isGuiThread();

intptr_t sendAppMessage(Wnd& target, uint32_t code, const AppParam& param = {});
intptr_t guiSend(const WndRef& target, uint32_t code, const AppParam& param, Event& stop);
void postAppMessage(const WndRef& target, uint32_t code, AppParam param = {});
// The same by window handle (Wnd::handle()), as a library's notification thread keeps it;
// false when no window has that handle (any more).
bool postAppMessage(void* handle, uint32_t code, AppParam param = {});

// Runs `fn` on the GUI thread and waits for it (at once when already there).
void runOnGuiThread(const std::function<void()>& fn);
// Like runOnGuiThread, but gives up when `stop` is set first; false then.
bool runOnGuiThread(const std::function<void()>& fn, Event& stop);

// GUI thread: runs the calls other threads are waiting for; returns how many ran.
int serveCrossThreadCalls();
// GUI thread: waits up to `ms` for `worker` to end, running its calls meanwhile; true when
// it ended (and was joined).
bool waitForThread(Thread& worker, uint32_t ms);

}  // namespace zfw
