#pragma once
// Message boxes behind a service: Qt message boxes in the program, a recorder in tests.
// Every box is shown by the GUI thread; a call from another thread waits for it there.
#include <cstdint>
#include <string>
#include <string_view>

namespace zfw {

class Wnd;

// Buttons and icons, combined with |.
enum : unsigned {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_YESNO = 0x4,
  MB_ICONSTOP = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONINFORMATION = 0x40,
};

class IMessageBox {
 public:
  virtual ~IMessageBox() = default;
  // Shows the box modally and returns the button chosen (IDOK, IDCANCEL, IDYES, IDNO).
  virtual int show(Wnd* owner, const std::string& text, const std::string& caption, unsigned flags) = 0;
};

class QtMessageBox final : public IMessageBox {
 public:
  int show(Wnd* owner, const std::string& text, const std::string& caption, unsigned flags) override;
};

// Shows a message box through the platform's service. An empty caption is the
// application's name.
int messageBox(Wnd* owner, std::string_view text, std::string_view caption = {}, unsigned flags = MB_OK);
// The same without an owner window.
inline int messageBox(std::string_view text, unsigned flags = MB_OK) { return messageBox(nullptr, text, {}, flags); }

}  // namespace zfw
