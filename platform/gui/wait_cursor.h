#pragma once
// The hourglass: shown while an object lives, or between beginWaitCursor() and
// endWaitCursor() (which may sit in different handlers).
namespace zfw {

void beginWaitCursor();
void endWaitCursor();  // does nothing when no wait cursor is shown
int waitCursorDepth();

class WaitCursor {
 public:
  WaitCursor() { beginWaitCursor(); }
  ~WaitCursor() { endWaitCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace zfw
