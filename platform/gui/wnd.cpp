#include "platform/gui/wnd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>
#include <QTreeWidget>
#include <QWidget>
#include <climits>
#include <map>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/gui/app.h"
#include "platform/gui/edit_limit.h"
#include "platform/gui/icons.h"
#include "platform/gui/list_view_wiring.h"
#include "platform/gui/platform.h"
#include "platform/gui/qt_text.h"
#include "platform/gui/timer_service.h"
#include "platform/gui/top_level_widget.h"

namespace zfw {
namespace detail {

struct WndLife {
  Wnd* wnd;
  uintptr_t handle;
};

// Live windows by handle. Handles count up and are never given out twice, so a stale one
// finds nothing rather than a newer window at the same address.
struct HandleRegistry {
  std::mutex mutex;
  uintptr_t next = 0x10000;
  std::unordered_map<uintptr_t, std::weak_ptr<WndLife>> live;
};

HandleRegistry& handles() {
  static HandleRegistry r;
  return r;
}

// Receives the signals and events of a window's controls on the window's behalf. Deleting
// it (with the Wnd) cuts every connection, so no control can call a dead window.
class WndReceiver final : public QObject {
 public:
  explicit WndReceiver(Wnd* owner) : owner_(owner) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    const QVariant id = watched->property(kIdProperty);
    if (id.isValid() && qobject_cast<QLineEdit*>(watched)) {
      if (event->type() == QEvent::FocusIn) owner_->dispatchCommand(id.toInt(), EN_SETFOCUS);
      if (event->type() == QEvent::FocusOut) owner_->dispatchCommand(id.toInt(), EN_KILLFOCUS);
    }
    return false;
  }

  static constexpr const char* kIdProperty = "zfwId";
  static constexpr const char* kRadioGroupProperty = "zfwRadioGroup";

 private:
  Wnd* owner_;
};

struct CommandEntry {
  int code;
  int id;
  std::function<void(const NotifyInfo&)> handler;
};

struct WndImpl {
  QPointer<QWidget> widget;
  std::unique_ptr<WndReceiver> receiver;
  std::map<int, QPointer<QWidget>> controls;
  std::vector<CommandEntry> commands;

  QWidget* control(int id) const {
    auto it = controls.find(id);
    return it == controls.end() ? nullptr : it->second.data();
  }

  // Auto radio buttons: a click checks the button and clears the others of its group.
  void clickRadio(QRadioButton* clicked) {
    clicked->setChecked(true);
    const QVariant group = clicked->property(WndReceiver::kRadioGroupProperty);
    for (auto& [id, w] : controls) {
      auto* radio = qobject_cast<QRadioButton*>(w.data());
      if (radio && radio != clicked && radio->property(WndReceiver::kRadioGroupProperty) == group) {
        radio->setChecked(false);
      }
    }
  }
};

}  // namespace detail

using detail::WndReceiver;

namespace {
// The root widget of every window names its Wnd, so destroying a window can reach the
// windows inside it.
constexpr const char* kWndProperty = "zfwWnd";
}  // namespace

Wnd* WndRef::get() const {
  auto life = life_.lock();
  return life ? life->wnd : nullptr;
}

Wnd::Wnd() : d_(std::make_unique<detail::WndImpl>()) {
  d_->receiver = std::make_unique<WndReceiver>(this);
  detail::HandleRegistry& r = detail::handles();
  std::lock_guard<std::mutex> lock(r.mutex);
  life_ = std::make_shared<detail::WndLife>(detail::WndLife{this, r.next++});
  r.live[life_->handle] = life_;
}

Wnd::~Wnd() {
  {
    detail::HandleRegistry& r = detail::handles();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.live.erase(life_->handle);
  }
  life_->wnd = nullptr;
  if (hasPlatform() && platform().timers) platform().timers->stopAll(*this);
  d_->receiver.reset();  // disconnects every control from this object
  if (QWidget* w = d_->widget.data()) {
    if (auto* top = dynamic_cast<TopLevelWidget*>(w)) top->detachOwner();
    w->setProperty(kWndProperty, QVariant());
    w->hide();
    w->deleteLater();
  }
  if (App* a = appIfAny(); a && a->mainWindow() == this) a->setMainWindow(nullptr);
}

QWidget* Wnd::widget() const { return d_->widget.data(); }

WndRef Wnd::ref() const { return WndRef(life_); }

void* Wnd::handle() const { return reinterpret_cast<void*>(life_->handle); }

WndRef Wnd::fromHandle(void* handle) {
  detail::HandleRegistry& r = detail::handles();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.live.find(reinterpret_cast<uintptr_t>(handle));
  return it == r.live.end() ? WndRef() : WndRef(it->second);
}

void Wnd::attachWidget(QWidget* w) {
  d_->widget = w;
  d_->controls.clear();
  w->setProperty(kWndProperty, QVariant::fromValue<void*>(this));
}

void Wnd::destroyWindow() {
  QWidget* w = d_->widget.data();
  if (!w) return;
  onDestroy();
  // The windows inside go with it, at once, as child windows do.
  for (QWidget* child : w->findChildren<QWidget*>()) {
    const QVariant owner = child->property(kWndProperty);
    if (owner.isValid() && owner.value<void*>()) static_cast<Wnd*>(owner.value<void*>())->destroyWindow();
  }
  if (hasPlatform() && platform().timers) platform().timers->stopAll(*this);
  w->setProperty(kWndProperty, QVariant());
  if (auto* top = dynamic_cast<TopLevelWidget*>(w)) top->detachOwner();
  // Controls and their connections go with the widget; a new receiver serves the next one.
  d_->receiver = std::make_unique<WndReceiver>(this);
  d_->controls.clear();
  d_->widget = nullptr;
  w->hide();
  w->deleteLater();  // the caller may be running inside one of the widget's own handlers
  if (App* a = appIfAny(); a && a->mainWindow() == this) a->onMainWindowDestroyed();
}

void Wnd::show() {
  if (QWidget* w = widget()) w->show();
}

void Wnd::hide() {
  if (QWidget* w = widget()) w->hide();
}

bool Wnd::isVisible() const { return widget() && widget()->isVisible(); }

bool Wnd::isMinimized() const { return widget() && widget()->isMinimized(); }

void Wnd::minimize() {
  if (QWidget* w = widget()) w->showMinimized();
}

void Wnd::restore() {
  if (QWidget* w = widget()) w->showNormal();
}

void Wnd::bringToFront() {
  if (QWidget* w = widget()) {
    w->raise();
    w->activateWindow();
  }
}

void Wnd::setWindowText(std::string_view text) {
  QWidget* w = widget();
  if (!w) return;
  if (w->isWindow()) {
    w->setWindowTitle(toQString(text));
  } else {
    setWidgetText(w, text);
  }
}

void Wnd::setIcon(int iconId) {
  if (QWidget* w = widget()) w->setWindowIcon(iconFor(iconId));
}

std::string Wnd::windowText() const {
  QWidget* w = widget();
  if (!w) return {};
  return w->isWindow() ? fromQString(w->windowTitle()) : widgetText(w);
}

void Wnd::enableWindow(bool enable) {
  if (QWidget* w = widget()) w->setEnabled(enable);
}

bool Wnd::isWindowEnabled() const { return widget() && !widget()->testAttribute(Qt::WA_ForceDisabled); }

static Rect toRect(const QRect& r) { return Rect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }

Rect Wnd::windowRect() const { return widget() ? toRect(widget()->geometry()) : Rect{}; }

Rect Wnd::clientRect() const { return widget() ? toRect(widget()->rect()) : Rect{}; }

void Wnd::moveWindow(const Rect& r) {
  if (QWidget* w = widget()) w->setGeometry(r.left, r.top, r.width(), r.height());
}

void Wnd::centerWindow() {
  QWidget* w = widget();
  if (!w) return;
  QRect around;
  if (!w->isWindow()) {
    around = w->parentWidget() ? w->parentWidget()->rect() : QRect();
  } else if (QWidget* owner = w->parentWidget()) {
    around = owner->window()->frameGeometry();
  } else if (QScreen* screen = w->screen()) {
    around = screen->availableGeometry();
  }
  if (around.isEmpty()) return;
  QRect placed = w->frameGeometry();
  placed.moveCenter(around.center());
  w->move(placed.topLeft());
}

void Wnd::redraw() {
  if (QWidget* w = widget()) w->update();
}

// --- controls ------------------------------------------------------------------------------

QWidget* Wnd::item(int id) const { return d_->control(id); }

void Wnd::addControl(int id, QWidget* control) {
  control->setObjectName(QString::number(id));
  control->setProperty(WndReceiver::kIdProperty, id);
  d_->controls[id] = control;
  QObject* context = d_->receiver.get();
  if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    QObject::connect(button, &QAbstractButton::clicked, context, [this, id, button] {
      if (auto* radio = qobject_cast<QRadioButton*>(button)) d_->clickRadio(radio);
      dispatchCommand(id, BN_CLICKED);
    });
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    QObject::connect(edit, &QLineEdit::textChanged, context, [this, id] { dispatchCommand(id, EN_CHANGE); });
    edit->installEventFilter(context);
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    QObject::connect(combo, &QComboBox::activated, context, [this, id] { dispatchCommand(id, CBN_SELCHANGE); });
  } else if (auto* list = qobject_cast<QTreeWidget*>(control)) {
    wireListView(list, context, [this, id](int code, const NotifyInfo& info) { dispatchCommand(id, code, info); });
  }
}

void Wnd::setItemIcon(int id, int iconId) { setStaticIcon(qobject_cast<QLabel*>(item(id)), iconId); }

int Wnd::itemIcon(int id) const { return staticIcon(item(id)); }

void Wnd::setItemText(int id, std::string_view text) {
  if (QWidget* w = item(id)) setWidgetText(w, text);
}

std::string Wnd::itemText(int id) const {
  QWidget* w = item(id);
  return w ? widgetText(w) : std::string();
}

void Wnd::setItemInt(int id, long value) { setItemText(id, std::to_string(value)); }

long Wnd::itemInt(int id, bool* ok) const {
  const std::string text = itemText(id);
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const size_t digitsStart = i;
  long value = 0;
  bool valid = true;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const int digit = text[i] - '0';
    if (value > (LONG_MAX - digit) / 10) valid = false;
    if (valid) value = value * 10 + digit;
  }
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  valid = valid && i > digitsStart && i == text.size();
  if (ok) *ok = valid;
  return valid ? (negative ? -value : value) : 0;
}

void Wnd::enableItem(int id, bool enable) {
  if (QWidget* w = item(id)) w->setEnabled(enable);
}

bool Wnd::isItemEnabled(int id) const {
  // The control's own state, as on Windows: a disabled parent does not change it.
  QWidget* w = item(id);
  return w && !w->testAttribute(Qt::WA_ForceDisabled);
}

void Wnd::showItem(int id, bool show) {
  if (QWidget* w = item(id)) w->setVisible(show);
}

bool Wnd::isItemVisible(int id) const {
  QWidget* w = item(id);
  return w && !w->isHidden();
}

void Wnd::checkItem(int id, int state) {
  if (auto* b = qobject_cast<QAbstractButton*>(item(id))) b->setChecked(state != 0);
}

int Wnd::isChecked(int id) const {
  auto* b = qobject_cast<QAbstractButton*>(item(id));
  return b && b->isChecked() ? 1 : 0;
}

void Wnd::checkRadioButton(int first, int last, int check) {
  for (auto& [id, w] : d_->controls) {
    if (id < first || id > last) continue;
    if (auto* b = qobject_cast<QAbstractButton*>(w.data())) b->setChecked(id == check);
  }
}

int Wnd::checkedRadioButton(int first, int last) const {
  for (auto& [id, w] : d_->controls) {
    auto* b = qobject_cast<QAbstractButton*>(w.data());
    if (id >= first && id <= last && b && b->isChecked()) return id;
  }
  return 0;
}

void Wnd::setItemFocus(int id) {
  if (QWidget* w = item(id)) w->setFocus(Qt::OtherFocusReason);
}

int Wnd::focusedItem() const {
  for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
    const QVariant id = w->property(WndReceiver::kIdProperty);
    if (id.isValid() && d_->control(id.toInt()) == w) return id.toInt();
    if (w == widget()) break;
  }
  return 0;
}

void Wnd::limitText(int id, int maxBytes) { limitEditBytes(qobject_cast<QLineEdit*>(item(id)), maxBytes); }

void Wnd::setEditCaret(int id, int position) {
  if (auto* e = qobject_cast<QLineEdit*>(item(id))) e->setCursorPosition(position < 0 ? e->text().size() : position);
}

Rect Wnd::itemRect(int id) const {
  QWidget* w = item(id);
  QWidget* self = widget();
  if (!w || !self) return {};
  const QPoint topLeft = w->mapTo(self, QPoint(0, 0));
  return Rect{topLeft.x(), topLeft.y(), topLeft.x() + w->width(), topLeft.y() + w->height()};
}

void Wnd::moveItem(int id, const Rect& r) {
  QWidget* w = item(id);
  QWidget* self = widget();
  if (!w || !self || !w->parentWidget()) return;
  const QPoint topLeft = w->parentWidget()->mapFrom(self, QPoint(r.left, r.top));
  w->setGeometry(topLeft.x(), topLeft.y(), r.width(), r.height());
}

void Wnd::enableAllItems(bool enable) {
  for (auto& [id, w] : d_->controls) {
    if (w) w->setEnabled(enable);
  }
}

// --- commands ------------------------------------------------------------------------------

void Wnd::bindCommand(int code, int id, std::function<void(const NotifyInfo&)> handler) {
  d_->commands.push_back({code, id, std::move(handler)});
}

bool Wnd::onCommand(int, int) { return false; }

bool Wnd::dispatchCommand(int id, int code, const NotifyInfo& info) {
  for (const auto& entry : d_->commands) {
    if (entry.id == id && entry.code == code) {
      auto handler = entry.handler;  // the handler may add entries
      handler(info);
      return true;
    }
  }
  return onCommand(id, code);
}

// --- timers and messages ----------------------------------------------------------------------

int Wnd::setTimer(int id, uint32_t ms) {
  if (!isCreated()) return 0;
  platform().timers->start(*this, id, ms);
  return id;
}

void Wnd::killTimer(int id) { platform().timers->stop(*this, id); }

void Wnd::onTimer(int) {}

intptr_t Wnd::onAppMessage(uint32_t, const AppParam&) { return 0; }

void Wnd::onClose() { dispatchCommand(IDCANCEL, BN_CLICKED); }

}  // namespace zfw
