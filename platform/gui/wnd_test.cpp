#include "platform/gui/wnd.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTest>
#include <QLineEdit>
#include <QPainter>
#include <QWidget>
#include <string>
#include <vector>

#include "platform/gui/dialog.h"
#include "platform/gui/icons.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"

namespace zfw {
namespace {

using testing::FakePlatform;

// A window with one control of each kind, recording the commands it gets.
class Controls : public Dialog {
 public:
  Controls() : Dialog(500) {
    on(BN_CLICKED, 10, &Controls::OnButton);
    on(CBN_SELCHANGE, 12, &Controls::OnSelect);
  }
  void buildControls(ControlBuilder& b) override {
    b.button(10, "&Go").check(11, "Check").combo(12).row();
    b.edit(13, 8).text(14, "label").row();
    b.beginGroup(15, "Keys").radio(20, "one", 1).radio(21, "two", 1).radio(22, "other", 2).endGroup();
    b.spin(16, 17, 256, 2346);
  }
  bool onCommand(int id, int code) override {
    log.push_back("cmd " + std::to_string(id) + "/" + std::to_string(code));
    return Dialog::onCommand(id, code);
  }
  void onTimer(int id) override { log.push_back("timer " + std::to_string(id)); }
  void OnButton() { log.push_back("button"); }
  void OnSelect() { log.push_back("select " + std::to_string(comboBox(12).curSel())); }
  std::vector<std::string> log;
};

TEST(Wnd, ControlsAreFoundByIdWithinTheirOwnWindowOnly) {
  FakePlatform fake;
  Controls outer, inner;
  ASSERT_TRUE(outer.create());
  ASSERT_TRUE(inner.create(&outer));  // a window inside a window, with the same ids
  EXPECT_EQ(outer.item(13)->objectName(), "13");
  EXPECT_NE(outer.item(13), inner.item(13));
  EXPECT_EQ(inner.item(13)->parentWidget(), inner.widget());
  EXPECT_EQ(outer.item(999), nullptr);
  outer.setItemText(13, "outer");
  EXPECT_EQ(inner.itemText(13), "");
  EXPECT_EQ(testing::findControl(outer.widget(), 16), outer.item(16));
}

TEST(Wnd, TextsRoundTripThroughEveryKindOfControl) {
  FakePlatform fake;
  Controls w;
  ASSERT_TRUE(w.create());
  w.limitText(13, 0);
  for (int id : {10, 11, 13, 14, 15}) {
    w.setItemText(id, "<ANY SSID>\r\nsecond");
    EXPECT_EQ(w.itemText(id), "<ANY SSID>\r\nsecond") << id;
  }
  // A label shows markup-looking text as it is, and lines without carriage returns.
  auto* label = qobject_cast<QLabel*>(w.item(14));
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(label->text(), "<ANY SSID>\nsecond");
}

// The fields behind edits hold bytes: the limit counts the bytes of the text, not its
// characters, and a text the program put there longer than that can still be shortened.
TEST(Wnd, AnEditsLimitCountsTheBytesOfItsText) {
  FakePlatform fake;
  Controls w;
  ASSERT_TRUE(w.create());
  w.limitText(13, 5);
  auto* edit = qobject_cast<QLineEdit*>(w.item(13));
  ASSERT_TRUE(testing::typeText(w, 13, "a\xC3\xA9\xC3\xA9\xC3\xA9"));  // a, then three e-acute
  EXPECT_EQ(w.itemText(13), "a\xC3\xA9\xC3\xA9");
  ASSERT_TRUE(testing::replaceText(w, 13, "\xC3\xA9\xC3\xA9\xC3\xA9"));  // a paste of 6 bytes
  EXPECT_EQ(w.itemText(13), "a\xC3\xA9\xC3\xA9");

  w.setItemText(13, "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC");  // three euro signs, 9 bytes, put by the program
  edit->setCursorPosition(3);
  QTest::keyClick(edit, Qt::Key_Backspace);
  EXPECT_EQ(w.itemText(13), "\xE2\x82\xAC\xE2\x82\xAC");
  ASSERT_TRUE(testing::typeText(w, 13, "x"));  // longer again: refused
  EXPECT_EQ(w.itemText(13), "\xE2\x82\xAC\xE2\x82\xAC");
}

// Bytes from outside (an SSID) need not be UTF-8: each byte that is not part of a UTF-8
// character shows as its Latin-1 character, so that different bytes look different.
TEST(Wnd, BytesThatAreNotUtf8ShowAsTheirLatin1Characters) {
  FakePlatform fake;
  Controls w;
  ASSERT_TRUE(w.create());
  const struct {
    const char* bytes;
    const char* shown;  // as the control's text reads back, UTF-8
  } cases[] = {{"Caf\xE9", "Caf\xC3\xA9"},
               {"Caf\xE8", "Caf\xC3\xA8"},
               {"\xFF\xC3\xA9\xC3", "\xC3\xBF\xC3\xA9\xC3\x83"},  // a whole character between two strays
               {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"}};        // a surrogate is no character
  for (const auto& c : cases) {
    w.setItemText(14, c.bytes);
    EXPECT_EQ(w.itemText(14), c.shown) << c.bytes;
  }
}

TEST(Wnd, ItemIntReadsOnlyWholeNumbers) {
  FakePlatform fake;
  Controls w;
  ASSERT_TRUE(w.create());
  w.limitText(13, 0);
  const struct {
    const char* text;
    long value;
    bool ok;
  } cases[] = {{"2346", 2346, true}, {" -12 ", -12, true}, {"", 0, false},
               {"12abc", 0, false},  {"-", 0, false},     {"99999999999999999999", 0, false}};
  for (const auto& c : cases) {
    w.setItemText(13, c.text);
    bool ok = !c.ok;
    EXPECT_EQ(w.itemInt(13, &ok), c.value) << c.text;
    EXPECT_EQ(ok, c.ok) << c.text;
  }
}

TEST(Wnd, EnabledAndVisibleAreTheControlsOwnState) {
  FakePlatform fake;
  Controls w;
  ASSERT_TRUE(w.create());
  w.show();
  w.enableWindow(false);
  EXPECT_TRUE(w.isItemEnabled(10));  // a disabled window leaves its controls' own state
  w.enableItem(10, false);
  w.enableWindow(true);
  EXPECT_FALSE(w.isItemEnabled(10));
  w.hide();
  EXPECT_TRUE(w.isItemVisible(13));
  w.showItem(13, false);
  EXPECT_FALSE(w.isItemVisible(13));
}

TEST(Wnd, RadioGroupsAreExclusiveAndMayBeAllClear) {
  FakePlatform fake;
  Controls w;
  ASSERT_TRUE(w.create());
  w.show();
  ASSERT_TRUE(testing::click(w, 22));
  ASSERT_TRUE(testing::click(w, 20));
  EXPECT_EQ(w.checkedRadioButton(20, 21), 20);
  EXPECT_EQ(w.isChecked(22), 1);  // another group keeps its choice
  ASSERT_TRUE(testing::click(w, 21));
  EXPECT_EQ(w.checkedRadioButton(20, 21), 21);
  ASSERT_TRUE(testing::click(w, 21));  // clicking the checked button keeps it checked
  EXPECT_EQ(w.isChecked(21), 1);
  w.checkRadioButton(20, 21, 0);
  EXPECT_EQ(w.checkedRadioButton(20, 22), 22);
  w.checkItem(22, 0);
  EXPECT_EQ(w.checkedRadioButton(20, 22), 0);
}

TEST(Wnd, CommandsComeFromUsersNotFromCode) {
  FakePlatform fake;
  Controls w;
  ASSERT_TRUE(w.create());
  w.show();
  ComboBox combo = w.comboBox(12);
  combo.addString("a");
  combo.addString("b");
  combo.setCurSel(1);  // code: no notification
  w.checkItem(11, 1);
  ASSERT_TRUE(testing::chooseComboItem(w, 12, 0));
  ASSERT_TRUE(testing::click(w, 10));  // the message table wins over onCommand
  ASSERT_TRUE(testing::click(w, 11));
  EXPECT_EQ(w.log, (std::vector<std::string>{"select 0", "button", "cmd 11/0"}));
  w.enableItem(10, false);
  EXPECT_FALSE(testing::click(w, 10));  // nobody can click a disabled button
}

TEST(Wnd, EditChangesAndFocusAreNotified) {
  FakePlatform fake;
  Controls w;
  ASSERT_TRUE(w.create());
  w.show();
  ASSERT_TRUE(testing::typeText(w, 13, "abc"));
  EXPECT_EQ(w.log, (std::vector<std::string>{"cmd 13/768", "cmd 13/768", "cmd 13/768"}));
  w.log.clear();
  w.setItemText(13, "set by code");  // as on Windows, setting the text is a change too
  EXPECT_EQ(w.log, (std::vector<std::string>{"cmd 13/768"}));
  EXPECT_EQ(w.itemText(13), "set by c");  // the edit's limit holds
  w.log.clear();
  ASSERT_TRUE(testing::focusControl(w, 13));
  EXPECT_EQ(w.focusedItem(), 13);
  ASSERT_TRUE(testing::focusControl(w, 11));
  EXPECT_EQ(w.log, (std::vector<std::string>{"cmd 13/256", "cmd 13/512"}));
}

TEST(Wnd, SpinStepsItsBuddyWithinTheRange) {
  FakePlatform fake;
  Controls w;
  ASSERT_TRUE(w.create());
  SpinEdit spin = w.spinEdit(17);
  ASSERT_TRUE(spin.valid());
  EXPECT_EQ(spin.buddy(), w.item(16));
  spin.setPos(2345);
  spin.step(+1);
  spin.step(+1);
  EXPECT_EQ(w.itemText(16), "2346");
  w.setItemText(16, "100");  // users may type what they like; the range binds the arrows only
  EXPECT_EQ(spin.pos(), 100);
  spin.step(-1);
  EXPECT_EQ(spin.pos(), 256);
  EXPECT_FALSE(w.spinEdit(16).valid());  // the edit is not the spin control
}

TEST(Wnd, TimersFireByIdOnTheManualClockAndDieWithTheWindow) {
  FakePlatform fake;
  Controls w;
  EXPECT_EQ(w.setTimer(1, 1000), 0);  // no window, no timer
  ASSERT_TRUE(w.create());
  EXPECT_EQ(w.setTimer(0x1000, 1000), 0x1000);
  w.setTimer(0x2000, 2500);
  fake.timers.advance(999);
  EXPECT_TRUE(w.log.empty());
  fake.timers.advance(2001);
  EXPECT_EQ(w.log, (std::vector<std::string>{"timer 4096", "timer 4096", "timer 8192", "timer 4096"}));
  w.log.clear();
  w.setTimer(0x1000, 500);  // restarting replaces the period
  w.killTimer(0x2000);
  fake.timers.advance(1000);
  EXPECT_EQ(w.log, (std::vector<std::string>{"timer 4096", "timer 4096"}));
  w.destroyWindow();
  EXPECT_FALSE(fake.timers.isRunning(w, 0x1000));
  EXPECT_EQ(fake.timers.count(), 0u);
}

TEST(Wnd, TheWindowIconComesFromItsRegisteredFile) {
  FakePlatform fake;
  const std::string file = QDir::temp().filePath("zfw-window-icon.png").toStdString();
  QPixmap red(16, 16);
  red.fill(Qt::red);
  ASSERT_TRUE(red.save(QString::fromStdString(file), "PNG"));
  registerIconFile(9001, file);
  Controls w;
  w.create();
  w.setIcon(9001);
  const QImage shown = w.widget()->windowIcon().pixmap(16, 16).toImage();
  EXPECT_EQ(shown.pixelColor(8, 8), QColor(Qt::red));
  QFile::remove(QString::fromStdString(file));
}

TEST(Wnd, AStaticIconShowsTheDrawingOfItsIconAndChangesWithIt) {
  FakePlatform fake;
  registerDrawnImage(9002, 32, 32, [](QPainter& p) { p.fillRect(0, 0, 32, 32, Qt::green); });
  registerDrawnImage(9003, 32, 32, [](QPainter& p) { p.fillRect(8, 8, 16, 16, Qt::blue); });
  class IconWindow : public Dialog {
   public:
    IconWindow() : Dialog(503) {}
    void buildControls(ControlBuilder& b) override { b.icon(40, 9002).text(41, "label"); }
  } w;
  ASSERT_TRUE(w.create());
  auto shown = [&] { return w.item(40)->grab().toImage(); };
  EXPECT_EQ(w.itemIcon(40), 9002);
  EXPECT_EQ(shown().pixelColor(2, 2), QColor(Qt::green));
  w.setItemIcon(40, 9003);
  EXPECT_EQ(w.itemIcon(40), 9003);
  EXPECT_EQ(shown().pixelColor(16, 16), QColor(Qt::blue));
  EXPECT_NE(shown().pixelColor(2, 2), QColor(Qt::green));  // the old picture went
  w.setItemIcon(40, 0);
  EXPECT_EQ(w.itemIcon(40), 0);
  EXPECT_NE(shown().pixelColor(16, 16), QColor(Qt::blue));
  EXPECT_EQ(w.itemIcon(41), 0);  // not an icon control
  EXPECT_TRUE(bitmapFor(9002).size() == QSize(32, 32));
  EXPECT_TRUE(bitmapFor(9004).isNull());  // nothing registered
}

// A custom control with a timer of its own, as a chart is made in place of a placeholder.
class Chart : public Wnd {
 public:
  Chart(Wnd& parent, int id) {
    attachWidget(new QWidget(parent.widget()));
    parent.addControl(id, widget());
    setTimer(0, 1000);
  }
  void onTimer(int) override { ++ticks; }
  int ticks = 0;
};

TEST(Wnd, ACustomControlRunsItsOwnTimerAndGoesWithItsParent) {
  FakePlatform fake;
  Controls page;
  ASSERT_TRUE(page.create());
  Chart chart(page, 5001);
  EXPECT_EQ(page.item(5001), chart.widget());
  fake.timers.advance(3000);
  EXPECT_EQ(chart.ticks, 3);
  page.destroyWindow();
  EXPECT_FALSE(chart.isCreated());
  fake.timers.advance(3000);
  EXPECT_EQ(chart.ticks, 3);
}

}  // namespace
}  // namespace zfw
