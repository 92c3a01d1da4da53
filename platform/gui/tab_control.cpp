#include "platform/gui/tab_control.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QPointer>
#include <QTabBar>
#include <algorithm>
#include <vector>

#include "platform/gui/qt_text.h"

namespace zfw {
namespace {

// Sends the tab bar's clicks and arrow keys through the control's own rules; the bar
// itself never changes its selection on input.
class TabInputFilter final : public QObject {
 public:
  TabInputFilter(QTabBar* bar, TabControl* control) : QObject(bar), bar_(bar), control_(control) {}

  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (me->button() == Qt::LeftButton) control_->clickTab(bar_->tabAt(me->position().toPoint()));
        return true;
      }
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
        return true;
      case QEvent::KeyPress: {
        switch (static_cast<QKeyEvent*>(event)->key()) {
          case Qt::Key_Left: control_->pressKey(TabControl::Key::Left); return true;
          case Qt::Key_Up: control_->pressKey(TabControl::Key::Up); return true;
          case Qt::Key_Right: control_->pressKey(TabControl::Key::Right); return true;
          case Qt::Key_Down: control_->pressKey(TabControl::Key::Down); return true;
          default: return false;
        }
      }
      default:
        return false;
    }
  }

 private:
  QTabBar* bar_;
  TabControl* control_;
};

}  // namespace

struct TabControl::Impl {
  QPointer<QTabBar> bar;
  QPointer<QObject> filter;
  std::vector<int> disabled;  // indexes of disabled tabs
  std::function<bool()> mayLeave;
  std::function<void(int)> changed;

  bool isDisabled(int index) const { return std::find(disabled.begin(), disabled.end(), index) != disabled.end(); }

  void paint(int index) {
    if (!bar || index < 0 || index >= bar->count()) return;
    bar->setTabTextColor(index, isDisabled(index) ? QApplication::palette().color(QPalette::Disabled, QPalette::Text)
                                                  : QColor());
  }
};

TabControl::TabControl() : d_(std::make_unique<Impl>()) {}

TabControl::~TabControl() { destroy(); }

void TabControl::destroy() {
  delete d_->filter.data();  // no more input reaches this object
  d_->bar = nullptr;
  d_->disabled.clear();
}

void TabControl::create(QWidget* parent) {
  auto* bar = new QTabBar(parent);
  bar->setDrawBase(true);
  bar->setExpanding(false);
  // Every tab shown whole, as a property sheet shows them: the bar is as wide as its tabs.
  bar->setUsesScrollButtons(false);
  bar->setElideMode(Qt::ElideNone);
  destroy();
  d_->filter = new TabInputFilter(bar, this);
  bar->installEventFilter(d_->filter);
  d_->bar = bar;
}

QWidget* TabControl::widget() const { return d_->bar.data(); }

int TabControl::insertItem(int index, std::string_view text) {
  if (!d_->bar) return -1;
  index = std::clamp(index, 0, itemCount());
  const QSignalBlocker quiet(d_->bar);
  const int selected = d_->bar->currentIndex();
  d_->bar->insertTab(index, toQString(text));
  // A disabled state belongs to its tab: later tabs keep theirs as they move up.
  for (int& i : d_->disabled) {
    if (i >= index) ++i;
  }
  if (selected >= 0) d_->bar->setCurrentIndex(selected >= index ? selected + 1 : selected);
  for (int i = index; i < itemCount(); ++i) d_->paint(i);
  return index;
}

bool TabControl::deleteItem(int index) {
  if (!d_->bar || index < 0 || index >= itemCount()) return false;
  const QSignalBlocker quiet(d_->bar);
  d_->bar->removeTab(index);
  d_->disabled.erase(std::remove(d_->disabled.begin(), d_->disabled.end(), index), d_->disabled.end());
  for (int& i : d_->disabled) {
    if (i > index) --i;
  }
  for (int i = index; i < itemCount(); ++i) d_->paint(i);
  return true;
}

void TabControl::deleteAllItems() {
  while (itemCount() > 0) deleteItem(itemCount() - 1);
}

int TabControl::itemCount() const { return d_->bar ? d_->bar->count() : 0; }

std::string TabControl::itemText(int index) const {
  return d_->bar && index >= 0 && index < itemCount() ? fromQString(d_->bar->tabText(index)) : std::string();
}

void TabControl::setItemText(int index, std::string_view text) {
  if (d_->bar && index >= 0 && index < itemCount()) d_->bar->setTabText(index, toQString(text));
}

int TabControl::curSel() const { return d_->bar ? d_->bar->currentIndex() : -1; }

int TabControl::resolve(int index) const {
  const int count = itemCount();
  const int current = curSel();
  if (index < 0 || index >= count) return -1;
  if (isTabEnabled(index)) return index;
  // Only a one-step move (or a wrap between the ends) may land beside a disabled tab.
  int direction;
  if ((current >= 0 && index == current + 1) || (current == count - 1 && index == 0)) {
    direction = +1;
  } else if ((current >= 0 && index == current - 1) || (current == 0 && index == count - 1)) {
    direction = -1;
  } else {
    return -1;
  }
  for (int step = 1; step < count; ++step) {
    const int candidate = ((index + direction * step) % count + count) % count;
    if (isTabEnabled(candidate)) return candidate;
  }
  return -1;
}

int TabControl::setCurSel(int index) {
  const int previous = curSel();
  const int target = resolve(index);
  if (target < 0) return -1;
  const QSignalBlocker quiet(d_->bar);
  d_->bar->setCurrentIndex(target);
  return previous;
}

bool TabControl::enableTab(int index, bool enable) {
  if (index < 0 || index >= itemCount()) return false;
  if (isTabEnabled(index) == enable) return true;
  if (enable) {
    d_->disabled.erase(std::remove(d_->disabled.begin(), d_->disabled.end(), index), d_->disabled.end());
  } else {
    if (index == curSel()) {
      int next = -1;
      for (int step = 1; step < itemCount(); ++step) {
        const int candidate = (index + step) % itemCount();
        if (isTabEnabled(candidate)) {
          next = candidate;
          break;
        }
      }
      if (next < 0) return false;
      setCurSel(next);
      d_->disabled.push_back(index);
      d_->paint(index);
      notifyChanged();  // the page on show must follow the tab
      return true;
    }
    d_->disabled.push_back(index);
  }
  d_->paint(index);
  return true;
}

bool TabControl::isTabEnabled(int index) const {
  return index >= 0 && index < itemCount() && !d_->isDisabled(index);
}

bool TabControl::userSelect(int index) {
  if (index < 0 || index >= itemCount()) return false;
  if (d_->mayLeave && !d_->mayLeave()) return false;
  const int target = resolve(index);
  if (target < 0) return false;
  const QSignalBlocker quiet(d_->bar);
  d_->bar->setCurrentIndex(target);
  notifyChanged();
  return true;
}

bool TabControl::clickTab(int index) {
  if (!isTabEnabled(index)) return false;
  return userSelect(index);
}

bool TabControl::pressKey(Key key) {
  const int count = itemCount();
  const int current = curSel();
  if (count == 0 || current < 0) return false;
  const bool back = key == Key::Left || key == Key::Up;
  const int target = back ? (current == 0 ? count - 1 : current - 1) : (current == count - 1 ? 0 : current + 1);
  return userSelect(target);
}

void TabControl::setOwner(std::function<bool()> mayLeave, std::function<void(int)> changed) {
  d_->mayLeave = std::move(mayLeave);
  d_->changed = std::move(changed);
}

void TabControl::notifyChanged() {
  if (d_->changed) d_->changed(curSel());
}

}  // namespace zfw
