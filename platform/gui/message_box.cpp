#include "platform/gui/message_box.h"

#include <QMessageBox>

#include "platform/gui/app.h"
#include "platform/gui/cross_thread.h"
#include "platform/gui/platform.h"
#include "platform/gui/qt_text.h"
#include "platform/gui/types.h"
#include "platform/gui/wnd.h"

namespace zfw {

int QtMessageBox::show(Wnd* owner, const std::string& text, const std::string& caption, unsigned flags) {
  QMessageBox box(owner && owner->widget() ? owner->widget()->window() : nullptr);
  box.setWindowTitle(toQString(caption));
  box.setText(toQString(text).remove(QLatin1Char('\r')));
  box.setTextFormat(Qt::PlainText);
  switch (flags & 0xF0) {
    case MB_ICONSTOP: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  switch (flags & 0xF) {
    case MB_YESNO:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    case MB_OKCANCEL:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      return box.exec() == QMessageBox::Ok ? IDOK : IDCANCEL;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      box.exec();
      return IDOK;
  }
}

int messageBox(Wnd* owner, std::string_view text, std::string_view caption, unsigned flags) {
  std::string title(caption);
  if (title.empty() && appIfAny()) title = app().appName();
  int result = IDOK;
  const std::string body(text);
  // Widgets live on the GUI thread only: a worker's box is shown there while it waits.
  runOnGuiThread([&] { result = platform().messageBox->show(owner, body, title, flags); });
  return result;
}

}  // namespace zfw
