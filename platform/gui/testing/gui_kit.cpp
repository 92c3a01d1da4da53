#include "platform/gui/testing/gui_kit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QImage>
#include <QPixmap>
#include <QAbstractScrollArea>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <unistd.h>

#include "platform/gui/cross_thread.h"
#include "platform/gui/desktop/file_util.h"
#include "platform/gui/property_page.h"
#include "platform/gui/property_sheet.h"
#include "platform/gui/qt_text.h"

#ifndef ZFW_SCREENSHOT_DIR
#define ZFW_SCREENSHOT_DIR "screenshots"
#endif

namespace zfw::testing {

// The system's font configuration (hundreds of matching rules) takes most of the start of
// a test process, more so under the sanitizers. Offscreen tests need fonts, not the rules:
// a minimal configuration over the same font files, with its own cache.
static void useMinimalFontConfiguration() {
  if (std::getenv("FONTCONFIG_FILE")) return;
  const std::string dir = fromQString(QDir::tempPath()) + "/zfw-test-fonts-" + std::to_string(getuid());
  if (!QDir().mkpath(QString::fromStdString(dir))) return;
  const std::string file = dir + "/fonts.conf";
  const std::string config = "<?xml version=\"1.0\"?>\n<fontconfig>\n  <dir>/usr/share/fonts</dir>\n  <cachedir>" +
                             dir + "/cache</cachedir>\n</fontconfig>\n";
  if (writeFileAtomically(file, config)) setenv("FONTCONFIG_FILE", file.c_str(), 0);
}

QApplication& ensureGuiApp() {
  static QApplication* app = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (std::string(std::getenv("QT_QPA_PLATFORM")) == "offscreen") useMinimalFontConfiguration();
    static int argc = 1;
    static char name[] = "zfw-test";
    static char* argv[] = {name, nullptr};
    auto* a = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return a;
  }();
  return *app;
}

void processEvents() {
  serveCrossThreadCalls();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QWidget* findControl(QWidget* root, int id) {
  if (!root) return nullptr;
  return root->findChild<QWidget*>(QString::number(id));
}

QWidget* findControl(Wnd& window, int id) {
  if (QWidget* own = window.item(id)) return own;
  return findControl(window.widget(), id);
}

PropertyPage* findPage(PropertySheet& sheet, int templateId) {
  for (int i = 0; i < sheet.pageCount(); ++i) {
    if (sheet.page(i)->templateId() == templateId) return sheet.page(i);
  }
  return nullptr;
}

static bool usable(QWidget* w) { return w && w->isEnabled() && w->isVisibleTo(w->window()); }

bool click(Wnd& window, int id) {
  auto* button = qobject_cast<QAbstractButton*>(window.item(id));
  if (!usable(button)) return false;
  button->click();
  return true;
}

bool typeText(Wnd& window, int id, std::string_view text) {
  auto* edit = qobject_cast<QLineEdit*>(window.item(id));
  if (!usable(edit) || edit->isReadOnly()) return false;
  edit->setCursorPosition(edit->text().size());
  // QTest types ASCII only; any other character comes as a key carrying its text.
  for (const char32_t c : toQString(text).toUcs4()) {
    if (c < 0x80) {
      QTest::keyClick(edit, static_cast<char>(c));
      continue;
    }
    const QString typed = QString::fromUcs4(&c, 1);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, typed);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, typed);
    QApplication::sendEvent(edit, &press);
    QApplication::sendEvent(edit, &release);
  }
  return true;
}

bool replaceText(Wnd& window, int id, std::string_view text) {
  auto* edit = qobject_cast<QLineEdit*>(window.item(id));
  if (!usable(edit) || edit->isReadOnly()) return false;
  edit->selectAll();
  if (text.empty()) {
    edit->del();
  } else {
    edit->insert(toQString(text));
  }
  return true;
}

bool chooseComboItem(Wnd& window, int id, int index) {
  auto* combo = qobject_cast<QComboBox*>(window.item(id));
  if (!usable(combo) || index < 0 || index >= combo->count()) return false;
  combo->setCurrentIndex(index);
  emit combo->activated(index);
  return true;
}

static QPoint rowPoint(QTreeWidget* list, int row, int x) {
  const QRect r = list->visualItemRect(list->topLevelItem(row));
  return QPoint(x, r.center().y());
}

static QTreeWidget* listRow(Wnd& window, int id, int row) {
  auto* list = qobject_cast<QTreeWidget*>(window.item(id));
  if (!usable(list) || row < 0 || row >= list->topLevelItemCount()) return nullptr;
  list->scrollToItem(list->topLevelItem(row));
  return list;
}

bool clickListRow(Wnd& window, int id, int row, int x) {
  QTreeWidget* list = listRow(window, id, row);
  if (!list) return false;
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowPoint(list, row, x));
  return true;
}

bool doubleClickListRow(Wnd& window, int id, int row, int x) {
  QTreeWidget* list = listRow(window, id, row);
  if (!list) return false;
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowPoint(list, row, x));
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowPoint(list, row, x));
  return true;
}

bool rightClickListRow(Wnd& window, int id, int row, int x) {
  QTreeWidget* list = listRow(window, id, row);
  if (!list) return false;
  QTest::mouseClick(list->viewport(), Qt::RightButton, {}, rowPoint(list, row, x));
  return true;
}

bool moveMouseOverListRow(Wnd& window, int id, int row, int x) {
  QTreeWidget* list = listRow(window, id, row);
  if (!list) return false;
  const QPoint at = rowPoint(list, row, x);
  QMouseEvent move(QEvent::MouseMove, at, list->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(list->viewport(), &move);
  return true;
}

bool moveMouseOff(Wnd& window, int id) {
  QWidget* control = window.item(id);
  if (!control) return false;
  auto* area = qobject_cast<QAbstractScrollArea*>(control);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(area ? area->viewport() : control, &leave);
  return true;
}

void pressEscape(Wnd& window) {
  if (QWidget* w = window.widget()) QTest::keyClick(w->window(), Qt::Key_Escape);
}

void clickCloseBox(Wnd& window) {
  if (QWidget* w = window.widget()) w->window()->close();
}

void minimizeWindow(Wnd& window) {
  // The owner hears of it once the minimising is complete, after the queued events.
  if (QWidget* w = window.widget()) w->window()->showMinimized();
  processEvents();
}

bool focusControl(Wnd& window, int id) {
  QWidget* w = window.item(id);
  if (!usable(w)) return false;
  QWidget* top = w->window();
  top->show();
  top->activateWindow();
  QApplication::setActiveWindow(top);
  w->setFocus(Qt::OtherFocusReason);
  processEvents();
  return w->hasFocus();
}

bool showsImage(Wnd& window, const QPixmap& image, int x, int y) {
  QWidget* w = window.widget();
  if (!w || image.isNull()) return false;
  const QImage wanted = image.toImage().convertToFormat(QImage::Format_ARGB32);
  const QImage picture = w->grab().toImage().convertToFormat(QImage::Format_ARGB32);
  int opaque = 0;
  for (int row = 0; row < wanted.height(); ++row) {
    for (int column = 0; column < wanted.width(); ++column) {
      const QRgb pixel = wanted.pixel(column, row);
      if (qAlpha(pixel) != 255) continue;
      const QPoint at(x + column, y + row);
      if (!picture.rect().contains(at) || picture.pixel(at) != pixel) return false;
      ++opaque;
    }
  }
  return opaque > 0;
}

std::string saveScreenshot(Wnd& window, const std::string& name) {
  QWidget* w = window.widget();
  if (!w) return {};
  const char* configured = std::getenv("ZFW_SCREENSHOT_DIR");
  const QString dir = QString::fromUtf8(configured && *configured ? configured : ZFW_SCREENSHOT_DIR);
  if (!QDir().mkpath(dir)) return {};
  const QString path = dir + "/" + toQString(name) + ".png";
  QPixmap image = w->grab();
  // Tips are windows of their own: paint those on show where they stand over this one.
  QPainter painter(&image);
  const QPoint origin = w->mapToGlobal(QPoint(0, 0));
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->windowType() == Qt::ToolTip && top->isVisible()) painter.drawPixmap(top->pos() - origin, top->grab());
  }
  painter.end();
  if (!image.save(path, "PNG")) return {};
  return fromQString(path);
}

}  // namespace zfw::testing
