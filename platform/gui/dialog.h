#pragma once
// Dialogs: DialogBase is a window whose controls are made by buildControls() and which is
// initialised by onInitDialog() (the base of dialogs and property pages); Dialog adds the
// modal run with OK and Cancel.
#include <string>
#include <string_view>

#include "platform/gui/control_builder.h"
#include "platform/gui/wnd.h"

namespace zfw {

class DialogBase : public Wnd {
 public:
  explicit DialogBase(int templateId) : templateId_(templateId) {}
  // The id the window is known by (its dialog template id).
  int templateId() const { return templateId_; }

 protected:
  // Makes the controls (called once per window creation, before onInitDialog).
  virtual void buildControls(ControlBuilder& builder);
  // The window and its controls exist; fill them. The result is the framework's focus flag.
  virtual bool onInitDialog();
  // Makes `w` this window: builds the controls, then runs onInitDialog.
  void createIn(QWidget* w);

 private:
  int templateId_;
};

class Dialog : public DialogBase {
 public:
  explicit Dialog(int templateId, Wnd* parent = nullptr);

  void setCaption(std::string_view caption) { caption_ = caption; }
  const std::string& caption() const { return caption_; }
  Wnd* parentWnd() const { return parent_; }

  // Creates the dialog without a modal run: top-level, or inside `parent`'s window.
  bool create(Wnd* parent = nullptr);
  // Creates the dialog, runs it until endDialog(), destroys the window and returns the
  // result (IDOK, IDCANCEL or the code given to endDialog; -1 when already running).
  int doModal();
  // Ends the modal run with `result` (the window closes when control returns to doModal).
  void endDialog(int result);
  bool isEnded() const { return ended_; }

  // IDOK and IDCANCEL commands (the OK and Cancel buttons, Enter, Escape, the close box).
  virtual void onOK() { endDialog(IDOK); }
  virtual void onCancel() { endDialog(IDCANCEL); }
  bool onCommand(int id, int code) override;

 private:
  Wnd* parent_;
  std::string caption_;
  bool ended_ = false;
  int result_ = IDCANCEL;
};

}  // namespace zfw
