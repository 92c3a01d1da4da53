#pragma once
// The road of the adapter-control library's notifications into the windows: a window names
// itself to the library by its handle (zfw::Wnd::handle()); the library's notification
// thread posts through PostAdapterNotification, which queues an application message to that
// window, or drops it when the window is gone meanwhile.
#include <cstdint>

// The poster to hand to ZelconSetNotificationPoster; any thread. `text` is copied.
void PostAdapterNotification(void* window, uint32_t code, intptr_t param, const char* text);
