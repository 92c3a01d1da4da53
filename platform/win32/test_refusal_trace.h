#pragma once
// Collects the refusal trace's lines while it lives.
#include <string>
#include <vector>

#include "platform/win32/refusal_trace.h"

namespace plat {

class TestRefusalTrace {
public:
  TestRefusalTrace() {
    SetRefusalTraceSink([this](std::string_view line) { lines.emplace_back(line); });
  }
  ~TestRefusalTrace() { SetRefusalTraceSink({}); }
  TestRefusalTrace(const TestRefusalTrace&) = delete;
  TestRefusalTrace& operator=(const TestRefusalTrace&) = delete;

  std::vector<std::string> lines;
};

}  // namespace plat
