#include "utility/ui/adapter_notification.h"

#include "platform/gui/cross_thread.h"

void PostAdapterNotification(void* window, uint32_t code, intptr_t param, const char* text) {
  zfw::postAppMessage(window, code, zfw::AppParam{param, text ? text : ""});
}
