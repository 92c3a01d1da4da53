#pragma once
// Small value types and the Windows constants the framework's callers use.
#include <cstdint>
#include <string>

namespace zfw {

// Dialog results and the standard command ids.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// Notification codes that come with a command (the high word of WM_COMMAND, or the code of
// a WM_NOTIFY): what happened to the control.
enum : int {
  BN_CLICKED = 0,
  CBN_SELCHANGE = 1,
  EN_SETFOCUS = 0x100,
  EN_KILLFOCUS = 0x200,
  EN_CHANGE = 0x300,
  NM_CLICK = -2,
  NM_DBLCLK = -3,
  NM_RCLICK = -5,
  NM_KILLFOCUS = -8,
  LVN_ITEMCHANGED = -101,  // the selected row changed
};

// A rectangle in window coordinates, edges as Windows gives them (right/bottom exclusive).
struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

// Details of the notification being handled (list rows and the point of a click).
struct NotifyInfo {
  int row = -1;     // list row, -1 when none
  int column = -1;  // list column, -1 when none
  int x = 0, y = 0; // point in the control's client area
};

// The parameter of an application message: an integer and an optional text. The text is
// a copy, so a message may outlive the buffer its sender built it from.
struct AppParam {
  intptr_t value = 0;
  std::string text;
};

}  // namespace zfw
