#pragma once
// For running the program where nobody can click (a test without a display): every message
// box is answered at once with its first button (OK, Yes) and its text appended to a file,
// one line each, so the test can tell which boxes the program showed.
#include <cstdio>
#include <string>

#include "platform/gui/message_box.h"
#include "platform/gui/types.h"

class AnsweringMessageBox final : public zfw::IMessageBox {
public:
  explicit AnsweringMessageBox(std::string logPath) : logPath_(std::move(logPath)) {}

  int show(zfw::Wnd*, const std::string& text, const std::string&, unsigned flags) override {
    if (std::FILE* log = std::fopen(logPath_.c_str(), "a")) {
      std::fprintf(log, "%s\n", text.c_str());
      std::fclose(log);
    }
    return (flags & 0xF) == zfw::MB_YESNO ? zfw::IDYES : zfw::IDOK;
  }

private:
  std::string logPath_;
};
