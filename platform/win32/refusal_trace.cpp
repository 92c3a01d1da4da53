#include "platform/win32/refusal_trace.h"

#include <cstdio>
#include <mutex>
#include <string>

namespace plat {
namespace {

std::mutex& SinkMutex() {
  static std::mutex m;
  return m;
}

std::function<void(std::string_view)>& Sink() {
  static std::function<void(std::string_view)> sink;
  return sink;
}

}  // namespace

void TraceRefusal(std::string_view line) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  if (Sink()) {
    Sink()(line);
  } else {
    std::fprintf(stderr, "zelnic: %.*s\n", static_cast<int>(line.size()), line.data());
  }
}

void SetRefusalTraceSink(std::function<void(std::string_view)> sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  Sink() = std::move(sink);
}

}  // namespace plat
