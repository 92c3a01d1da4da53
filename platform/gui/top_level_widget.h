#pragma once
// The Qt widget behind the framework's top-level windows (dialogs and sheets). Internal to
// platform/gui: it turns Escape, Enter, the close box and minimising into the owner's
// commands and events, as the Windows dialog manager does.
#include <QDialog>
#include <functional>

namespace zfw {

class Wnd;

class TopLevelWidget final : public QDialog {
 public:
  TopLevelWidget(Wnd* owner, QWidget* parent);
  // The owner is gone: from now on the widget does nothing on its own.
  void detachOwner() { owner_ = nullptr; }
  // Minimise box and task-bar presence, for main windows.
  void setMainWindowStyle();

  // The modal part of a doModal(): with a test's interceptor installed, the window is
  // handed to it (and cancelled when it comes back open), else Qt's modal loop runs
  // until done(). Nothing runs when the window already ended (in its initialisation).
  void runModal(int modalId, const std::function<bool()>& ended, const std::function<void()>& cancel);

  void reject() override;  // Escape: the IDCANCEL command
  void accept() override;  // the IDOK command

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  Wnd* owner_;
};

}  // namespace zfw
