#include "ksSupp/keys/key_trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
std::atomic<KeyTraceSink> g_sink{nullptr};
std::atomic<int> g_level{0};
}  // namespace

void SetKeyTraceSink(KeyTraceSink sink) { g_sink.store(sink); }
void SetKeyTraceLevel(int level) { g_level.store(level); }
bool KeyTraceEnabled(int level) { return g_level.load() >= level && g_sink.load() != nullptr; }

void KeyTrace(int level, const uint8_t* data, uint32_t dataLength, const char* format, ...) {
  if (!KeyTraceEnabled(level)) return;
  char text[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  text[sizeof text - 1] = '\0';
  if (KeyTraceSink sink = g_sink.load()) sink(level, kTraceCategoryKeys, text, data, dataLength);
}
