#pragma once
// zfw::Wnd, the window mixin every framework window derives from: a Qt widget, reached by
// the framework's callers through Windows-shaped verbs. Controls are found by numeric id
// (the widget's object name is the decimal id); clicks, edits and selections arrive as
// commands with a notification code; timers fire by id; application messages carry a
// code and an AppParam.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/gui/combo_box.h"
#include "platform/gui/list_view.h"
#include "platform/gui/progress_bar.h"
#include "platform/gui/spin_edit.h"
#include "platform/gui/types.h"

class QWidget;

namespace zfw {

class Wnd;
namespace detail {
struct WndImpl;
struct WndLife;
}  // namespace detail

// A weak reference to a window, safe to keep and to copy on any thread: once the window
// object is gone, messages for it are dropped.
class WndRef {
 public:
  WndRef() = default;
  // The window, or nullptr once it is gone. GUI thread only.
  Wnd* get() const;
  bool expired() const { return life_.expired(); }

 private:
  friend class Wnd;
  explicit WndRef(std::weak_ptr<detail::WndLife> life) : life_(std::move(life)) {}
  std::weak_ptr<detail::WndLife> life_;
};

class Wnd {
 public:
  Wnd();
  virtual ~Wnd();
  Wnd(const Wnd&) = delete;
  Wnd& operator=(const Wnd&) = delete;

  // --- the window ---------------------------------------------------------------------
  QWidget* widget() const;  // nullptr until the window is created, and after it is destroyed
  bool isCreated() const { return widget() != nullptr; }
  WndRef ref() const;
  // An opaque handle for code that keeps windows as plain pointers (a library's
  // notification target): see postAppMessage(void*, ...). Never reused, never dangling.
  void* handle() const;
  // The window of a handle, nullptr once it is gone. GUI thread only.
  static WndRef fromHandle(void* handle);
  void destroyWindow();  // destroys the window (not this object); timers die with it

  void show();
  void hide();
  bool isVisible() const;
  bool isMinimized() const;
  void minimize();
  void restore();        // un-minimises and shows
  void bringToFront();   // raises and activates
  void setWindowText(std::string_view text);
  // The window's icon: icon resource `iconId` (see icons.h).
  void setIcon(int iconId);
  std::string windowText() const;
  void enableWindow(bool enable);
  bool isWindowEnabled() const;
  Rect windowRect() const;  // in the parent's coordinates (the screen for top-level windows)
  Rect clientRect() const;  // origin 0,0
  void moveWindow(const Rect& r);
  // Puts the window's centre on its owner's (CenterWindow): the parent window's, or the
  // screen's for a window without one.
  void centerWindow();
  void redraw();

  // --- controls by id ---------------------------------------------------------------------
  QWidget* item(int id) const;  // nullptr when this window has no control of that id
  void addControl(int id, QWidget* control);  // registers a control made elsewhere (custom widgets)
  void setItemText(int id, std::string_view text);
  std::string itemText(int id) const;
  // GetDlgItemInt: the number in the control's text; *ok false (and 0) when it holds none.
  void setItemInt(int id, long value);
  long itemInt(int id, bool* ok = nullptr) const;
  void enableItem(int id, bool enable);
  bool isItemEnabled(int id) const;
  void showItem(int id, bool show);
  bool isItemVisible(int id) const;  // the control's own visibility, whatever its window's
  // Check boxes and radio buttons: 0 clear, 1 checked.
  void checkItem(int id, int state);
  int isChecked(int id) const;
  // Checks `check` and clears every other radio button with an id in [first, last].
  void checkRadioButton(int first, int last, int check);
  int checkedRadioButton(int first, int last) const;  // 0 when none
  // Static icons (STM_SETICON): control `id` shows icon resource `iconId` (0: none).
  void setItemIcon(int id, int iconId);
  int itemIcon(int id) const;  // 0 when it shows none
  void setItemFocus(int id);
  int focusedItem() const;  // id of the control with the keyboard focus, 0 when none of ours
  // At most `maxBytes` bytes of text (UTF-8) may be typed into edit `id`; 0: no limit.
  void limitText(int id, int maxBytes);
  void setEditCaret(int id, int position);  // -1: the end
  Rect itemRect(int id) const;  // in this window's coordinates
  void moveItem(int id, const Rect& r);
  // Enables or disables every control of this window (not of windows inside it).
  void enableAllItems(bool enable);

  ListView listView(int id) const { return ListView(item(id)); }
  ComboBox comboBox(int id) const { return ComboBox(item(id)); }
  SpinEdit spinEdit(int spinId) const { return SpinEdit(item(spinId)); }
  ProgressBar progressBar(int id) const { return ProgressBar(item(id)); }

  // --- commands ---------------------------------------------------------------------------
  // The message table: `on(BN_CLICKED, 1078, &CSiteSurvey::OnRefresh)`. A handler in the
  // table wins over onCommand().
  template <class T>
  void on(int code, int id, void (T::*handler)()) {
    T* self = static_cast<T*>(this);
    bindCommand(code, id, [self, handler](const NotifyInfo&) { (self->*handler)(); });
  }
  template <class T>
  void on(int code, int id, void (T::*handler)(const NotifyInfo&)) {
    T* self = static_cast<T*>(this);
    bindCommand(code, id, [self, handler](const NotifyInfo& info) { (self->*handler)(info); });
  }
  void bindCommand(int code, int id, std::function<void(const NotifyInfo&)> handler);
  // Called for commands that no table entry takes; true when handled.
  virtual bool onCommand(int id, int code);
  // Delivers a command as a control (or a menu) would; true when something handled it.
  bool dispatchCommand(int id, int code, const NotifyInfo& info = {});

  // --- timers (through the platform's timer service) ----------------------------------------
  // Starts or restarts timer `id`; returns `id`, or 0 when the window does not exist.
  int setTimer(int id, uint32_t ms);
  void killTimer(int id);
  virtual void onTimer(int id);
  void dispatchTimer(int id) { onTimer(id); }

  // --- application messages ---------------------------------------------------------------
  virtual intptr_t onAppMessage(uint32_t code, const AppParam& param);

  // --- events of a top-level window --------------------------------------------------------
  virtual void onClose();       // the close box; default: the IDCANCEL command
  virtual void onMinimize() {}  // the window was minimised
  virtual void onEndSession() {}  // the user session ends (the process will exit)

 protected:
  // Makes `w` this window's widget (the framework's window classes call it).
  void attachWidget(QWidget* w);
  // Called just before the window is destroyed, while its controls still exist.
  virtual void onDestroy() {}

 private:
  friend struct detail::WndImpl;
  std::unique_ptr<detail::WndImpl> d_;
  std::shared_ptr<detail::WndLife> life_;
};

}  // namespace zfw
