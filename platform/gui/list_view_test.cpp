#include "platform/gui/list_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/combo_box.h"
#include "platform/gui/dialog.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"

namespace zfw {
namespace {

using testing::FakePlatform;

class ListWindow : public Dialog {
 public:
  ListWindow() : Dialog(501) {
    on(NM_CLICK, 1000, &ListWindow::OnClick);
    on(NM_DBLCLK, 1000, &ListWindow::OnDoubleClick);
    on(NM_RCLICK, 1000, &ListWindow::OnRightClick);
    on(LVN_ITEMCHANGED, 1000, &ListWindow::OnChanged);
  }
  void buildControls(ControlBuilder& b) override { b.list(1000, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT).combo(1001); }
  bool onInitDialog() override {
    ListView list = listView(1000);
    list.insertColumn(0, "Profile", 150);
    list.insertColumn(1, "Channel", 60);
    list.setImageList({154, 153});
    for (int i = 0; i < 3; ++i) {
      list.insertItem(i, "row" + std::to_string(i), 0);
      list.setItemData(i, 0x1000 + i);
    }
    return true;
  }
  void OnClick(const NotifyInfo& n) {
    // The Windows list view toggles the check box after this notification.
    log.push_back("click " + std::to_string(n.row) + " x" + std::to_string(n.x) + " check " +
                  std::to_string(listView(1000).check(n.row)));
  }
  void OnDoubleClick(const NotifyInfo& n) { log.push_back("dblclick " + std::to_string(n.row)); }
  void OnRightClick(const NotifyInfo& n) { log.push_back("rclick " + std::to_string(n.row)); }
  void OnChanged(const NotifyInfo& n) { log.push_back("changed " + std::to_string(n.row)); }
  std::vector<std::string> log;
};

TEST(ListView, RowsKeepTextDataImageAndCheck) {
  FakePlatform fake;
  ListWindow w;
  ASSERT_TRUE(w.create());
  ListView list = w.listView(1000);
  EXPECT_EQ(list.itemCount(), 3);
  EXPECT_EQ(list.insertItem(99, "last", 1), 3);  // past the end: appended
  EXPECT_TRUE(list.setItemText(3, 1, "11"));
  EXPECT_FALSE(list.setItemText(3, 2, "no such column"));
  EXPECT_EQ(list.itemText(3, 1), "11");
  EXPECT_EQ(list.itemImage(3), 1);
  list.insertItem(0, "first");
  EXPECT_EQ(list.itemData(1), 0x1000u);  // data moves with its row
  EXPECT_TRUE(list.setCheck(1, true));
  EXPECT_TRUE(list.deleteItem(0));
  EXPECT_TRUE(list.check(0));
  EXPECT_FALSE(list.deleteItem(7));
  EXPECT_EQ(list.itemData(7), 0u);
  list.deleteAllItems();
  EXPECT_EQ(list.itemCount(), 0);
}

TEST(ListView, ClickNotifiesWithTheStateBeforeTheCheckStripToggles) {
  FakePlatform fake;
  ListWindow w;
  ASSERT_TRUE(w.create());
  w.show();
  ListView list = w.listView(1000);
  ASSERT_TRUE(testing::clickListRow(w, 1000, 1, 5));   // in the check strip
  ASSERT_TRUE(testing::clickListRow(w, 1000, 1, 60));  // on the text
  ASSERT_TRUE(testing::rightClickListRow(w, 1000, 2, 60));
  EXPECT_EQ(w.log, (std::vector<std::string>{"changed 1", "click 1 x5 check 0", "click 1 x60 check 1", "changed 2",
                                             "rclick 2"}));
  EXPECT_TRUE(list.check(1));
  EXPECT_EQ(list.selectedRow(), 2);
}

TEST(ListView, DoubleClickTogglesOnceAndNotifiesOnce) {
  FakePlatform fake;
  ListWindow w;
  ASSERT_TRUE(w.create());
  w.show();
  ASSERT_TRUE(testing::doubleClickListRow(w, 1000, 0, 5));
  EXPECT_EQ(w.log, (std::vector<std::string>{"changed 0", "click 0 x5 check 0", "dblclick 0"}));
  EXPECT_TRUE(w.listView(1000).check(0));
}

TEST(ListView, SelectionFromCodeIsNotifiedToo) {
  FakePlatform fake;
  ListWindow w;
  ASSERT_TRUE(w.create());
  ListView list = w.listView(1000);
  list.selectRow(2);
  EXPECT_EQ(list.selectedRow(), 2);
  list.selectRow(-1);
  EXPECT_EQ(list.selectedRow(), -1);
  EXPECT_EQ(w.log, (std::vector<std::string>{"changed 2", "changed -1"}));
}

TEST(ComboBox, InsertAndDeleteKeepTheSelectionOnItsItem) {
  FakePlatform fake;
  ListWindow w;
  ASSERT_TRUE(w.create());
  ComboBox combo = w.comboBox(1001);
  EXPECT_EQ(combo.curSel(), -1);
  combo.addString("Auto");
  combo.setItemData(0, 255);
  combo.addString("1 Mbps");
  combo.setItemData(1, 2);
  EXPECT_EQ(combo.curSel(), -1);  // adding selects nothing
  combo.setCurSel(1);
  combo.insertString(0, "first");
  EXPECT_EQ(combo.curSel(), 2);
  EXPECT_EQ(combo.lbText(combo.curSel()), "1 Mbps");
  EXPECT_EQ(combo.findItemData(255), 1);
  EXPECT_EQ(combo.findStringExact("AUTO"), 1);
  EXPECT_EQ(combo.deleteString(2), 2);
  EXPECT_EQ(combo.curSel(), -1);  // the selected item went
  EXPECT_EQ(combo.setCurSel(5), -1);
  EXPECT_EQ(combo.itemData(5), 0u);
}

}  // namespace
}  // namespace zfw
