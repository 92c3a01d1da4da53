#include "platform/gui/tool_tip.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>
#include <string>

#include "platform/gui/control_builder.h"
#include "platform/gui/dialog.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"

namespace zfw {
namespace {

using testing::FakePlatform;
using testing::moveMouseOff;
using testing::moveMouseOverListRow;

constexpr int kList = 1000;
constexpr int kTool = 7;
constexpr const char* kTip = "Tick to keep it";

// A window with a two-row list whose check strip has a balloon tip, relayed over rows only.
class TipWindow : public Dialog {
 public:
  TipWindow() : Dialog(502) {}
  void buildControls(ControlBuilder& b) override { b.list(kList, LVS_EX_CHECKBOXES); }
  bool onInitDialog() override {
    ListView list = listView(kList);
    list.insertColumn(0, "Name", 150);
    list.insertItem(0, "first");
    list.insertItem(1, "second");
    tip.create(*this, TTS_BALLOON);
    tip.addTool(kList, Rect{0, 0, 16, 0x7FFF}, kTip, kTool);
    tip.setDelayTime(200);
    tip.relayMouseMessages(kList, [](const NotifyInfo& at) { return at.row >= 0; });
    return true;
  }
  ToolTip tip;
};

struct ToolTipTest : ::testing::Test {
  FakePlatform fake;
  TipWindow w;
  void SetUp() override {
    ASSERT_TRUE(w.create());
    w.show();
    testing::processEvents();
  }
  void Wait(uint32_t ms) { fake.timers.advance(ms); }
  bool BalloonVisible() const { return w.tip.widget() && w.tip.widget()->isVisible(); }
};

TEST_F(ToolTipTest, ShowsAfterThePointerRestsInTheStripOfARow) {
  EXPECT_TRUE(w.tip.isBalloon());
  ASSERT_TRUE(moveMouseOverListRow(w, kList, 0, 8));
  Wait(199);
  EXPECT_EQ(w.tip.shownTool(), 0);
  EXPECT_FALSE(BalloonVisible());
  ASSERT_TRUE(moveMouseOverListRow(w, kList, 1, 6));  // each move starts the rest again
  Wait(199);
  EXPECT_EQ(w.tip.shownTool(), 0);
  Wait(1);
  EXPECT_EQ(w.tip.shownTool(), kTool);
  EXPECT_EQ(w.tip.shownText(), kTip);
  ASSERT_TRUE(BalloonVisible());
  // The balloon's stem points at the pointer: the tip hangs below it, reaching across it.
  QWidget* viewport = w.item(kList)->findChild<QWidget*>("qt_scrollarea_viewport");
  ASSERT_NE(viewport, nullptr);
  const Rect row = w.listView(kList).itemRect(1);
  const QPoint pointer = viewport->mapToGlobal(QPoint(6, (row.top + row.bottom - 1) / 2));
  const QRect balloon = w.tip.widget()->geometry();
  EXPECT_EQ(balloon.top(), pointer.y());
  EXPECT_LT(balloon.left(), pointer.x());
  EXPECT_GT(balloon.right(), pointer.x());
  EXPECT_EQ(testing::saveScreenshot(w, "zfw_balloon_tip").empty(), false);
}

TEST_F(ToolTipTest, GoesWhenThePointerLeavesTheToolOrAButtonIsPressed) {
  ASSERT_TRUE(moveMouseOverListRow(w, kList, 0, 8));
  Wait(200);
  ASSERT_EQ(w.tip.shownTool(), kTool);
  ASSERT_TRUE(moveMouseOverListRow(w, kList, 0, 60));  // out of the strip, still on the row
  EXPECT_EQ(w.tip.shownTool(), 0);
  EXPECT_FALSE(BalloonVisible());

  ASSERT_TRUE(moveMouseOverListRow(w, kList, 0, 8));
  Wait(200);
  ASSERT_EQ(w.tip.shownTool(), kTool);
  ASSERT_TRUE(moveMouseOff(w, kList));
  EXPECT_EQ(w.tip.shownTool(), 0);

  ASSERT_TRUE(moveMouseOverListRow(w, kList, 0, 8));
  Wait(200);
  ASSERT_EQ(w.tip.shownTool(), kTool);
  ASSERT_TRUE(testing::clickListRow(w, kList, 0, 8));
  EXPECT_EQ(w.tip.shownTool(), 0);
  // Clicked away: resting there again brings nothing back until the pointer has left it.
  ASSERT_TRUE(moveMouseOverListRow(w, kList, 0, 9));
  Wait(1000);
  EXPECT_EQ(w.tip.shownTool(), 0);
  ASSERT_TRUE(moveMouseOverListRow(w, kList, 0, 60));
  ASSERT_TRUE(moveMouseOverListRow(w, kList, 0, 8));
  Wait(200);
  EXPECT_EQ(w.tip.shownTool(), kTool);
}

TEST_F(ToolTipTest, PopsAfterTenTimesTheDelayAndStaysAwayWhileThePointerRests) {
  ASSERT_TRUE(moveMouseOverListRow(w, kList, 0, 8));
  Wait(200);
  ASSERT_EQ(w.tip.shownTool(), kTool);
  Wait(1999);
  EXPECT_EQ(w.tip.shownTool(), kTool);
  Wait(1);
  EXPECT_EQ(w.tip.shownTool(), 0);
  ASSERT_TRUE(moveMouseOverListRow(w, kList, 0, 7));
  Wait(1000);
  EXPECT_EQ(w.tip.shownTool(), 0);
}

TEST_F(ToolTipTest, MessagesTheOwnerDoesNotRelayLeaveTheTipAlone) {
  // Below the last row: the owner passes nothing on, so nothing starts.
  QWidget* viewport = w.item(kList)->findChild<QWidget*>("qt_scrollarea_viewport");
  ASSERT_NE(viewport, nullptr);
  const QPoint below(8, viewport->height() - 2);
  ASSERT_EQ(w.listView(kList).rowAt(below.x(), below.y()), -1);
  QMouseEvent move(QEvent::MouseMove, below, viewport->mapToGlobal(below), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(viewport, &move);
  Wait(1000);
  EXPECT_EQ(w.tip.shownTool(), 0);
}

}  // namespace
}  // namespace zfw
