#include "ksSupp/trace.h"

#include <atomic>
#include <cstdio>
#include <string>

#include "ksSupp/keys/key_trace.h"
#include "platform/win32/ansi_code_page.h"

namespace {

// Hosts may change these while link threads trace, hence atomics (no lock is needed: each
// line reads each setting once).
std::atomic<std::int32_t> g_level{0};
std::atomic<KSSTK_TRACE_CALLBACK_A> g_narrowCallback{nullptr};
std::atomic<KSSTK_TRACE_CALLBACK_W> g_wideCallback{nullptr};

constexpr std::size_t kLineBuffer = 2048;  // at most 2047 characters and the NUL

void DeliverWide(KSSTK_TRACE_CALLBACK_W callback, std::int32_t level, std::int32_t category,
                 const char* text, const std::uint8_t* data, std::uint32_t dataLength) {
  if (*text == '\0') {
    static const char16_t kEmpty[1] = {0};
    callback(level, category, kEmpty, data, dataLength);
    return;
  }
  // The text is UTF-8; a byte outside a well-formed sequence arrives as U+FFFD.
  const std::u16string wide = plat::AnsiToWide(text);
  callback(level, category, wide.c_str(), data, dataLength);
}

}  // namespace

bool TraceEnabled(TraceLevel level) {
  return g_level.load(std::memory_order_relaxed) >= static_cast<std::int32_t>(level);
}

void SetTraceLevel(std::int32_t level) {
  g_level.store(level);
  SetKeyTraceLevel(level);
}

void ConnectTraceSources() {
  SetKeyTraceSink(DeliverTrace);
  SetKeyTraceLevel(g_level.load());
}
void SetTraceCallbackA(KSSTK_TRACE_CALLBACK_A callback) { g_narrowCallback.store(callback); }
void SetTraceCallbackW(KSSTK_TRACE_CALLBACK_W callback) { g_wideCallback.store(callback); }

void DeliverTrace(std::int32_t level, std::int32_t category, const char* text,
                  const std::uint8_t* data, std::uint32_t dataLength) noexcept {
  if (text == nullptr) return;
  if (KSSTK_TRACE_CALLBACK_A narrow = g_narrowCallback.load()) {
    narrow(level, category, text, data, dataLength);
    return;
  }
  if (KSSTK_TRACE_CALLBACK_W wide = g_wideCallback.load()) {
    try {
      DeliverWide(wide, level, category, text, data, dataLength);
    } catch (...) {
      // No memory for the wide text: the line is lost, the caller goes on.
    }
  }
}

void traceMessage(TraceLevel level, TraceCategory category, const std::uint8_t* data,
                  std::uint32_t dataLength, const char* format, std::va_list arguments) noexcept {
  char line[kLineBuffer];
  std::vsnprintf(line, sizeof line, format, arguments);
  line[kLineBuffer - 1] = '\0';
  DeliverTrace(static_cast<std::int32_t>(level), static_cast<std::int32_t>(category), line,
               data, dataLength);
}

#define ZL_DEFINE_TRACE(name, level)                                                   \
  void name(TraceCategory category, const std::uint8_t* data, std::uint32_t dataLength, \
            const char* format, ...) noexcept {                                        \
    std::va_list arguments;                                                            \
    va_start(arguments, format);                                                       \
    traceMessage(level, category, data, dataLength, format, arguments);                      \
    va_end(arguments);                                                                 \
  }
ZL_DEFINE_TRACE(traceError, TraceLevel::Error)
ZL_DEFINE_TRACE(traceWarning, TraceLevel::Warning)
ZL_DEFINE_TRACE(traceEvent, TraceLevel::Event)
ZL_DEFINE_TRACE(traceDetail, TraceLevel::Detail)
#undef ZL_DEFINE_TRACE
