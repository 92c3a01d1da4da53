#pragma once
// Message boxes in tests: each is recorded (text, caption, flags) and answered at once,
// from a script of answers when one was given, else with its first button.
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/gui/message_box.h"

namespace zfw::testing {

class MessageBoxRecorder final : public IMessageBox {
 public:
  struct Box {
    std::string text;
    std::string caption;
    unsigned flags;
  };

  int show(Wnd* owner, const std::string& text, const std::string& caption, unsigned flags) override;

  // The next boxes answer with these, in order.
  void answer(int result) { answers_.push_back(result); }
  // Runs with each box as it is shown (before it is answered).
  void onShow(std::function<void(const Box&)> f) { onShow_ = std::move(f); }

  const std::vector<Box>& boxes() const { return boxes_; }
  std::vector<std::string> texts() const;
  const Box* last() const { return boxes_.empty() ? nullptr : &boxes_.back(); }
  void clear() { boxes_.clear(); }

 private:
  std::vector<Box> boxes_;
  std::deque<int> answers_;
  std::function<void(const Box&)> onShow_;
};

}  // namespace zfw::testing
