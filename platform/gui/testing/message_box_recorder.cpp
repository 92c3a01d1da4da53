#include "platform/gui/testing/message_box_recorder.h"

#include "platform/gui/types.h"

namespace zfw::testing {

int MessageBoxRecorder::show(Wnd*, const std::string& text, const std::string& caption, unsigned flags) {
  boxes_.push_back(Box{text, caption, flags});
  if (onShow_) onShow_(boxes_.back());
  if (!answers_.empty()) {
    const int result = answers_.front();
    answers_.pop_front();
    return result;
  }
  return (flags & 0xF) == MB_YESNO ? IDYES : IDOK;
}

std::vector<std::string> MessageBoxRecorder::texts() const {
  std::vector<std::string> result;
  for (const Box& b : boxes_) result.push_back(b.text);
  return result;
}

}  // namespace zfw::testing
