#include "platform/gui/menu.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/gui/dialog.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/modal_hooks.h"
#include "platform/gui/wait_cursor.h"

namespace zfw {
namespace {

using testing::FakePlatform;
using testing::ModalHooks;

class Owner : public Dialog {
 public:
  Owner() : Dialog(129) {}
  bool onCommand(int id, int code) override {
    commands.push_back(id);
    return Dialog::onCommand(id, code);
  }
  std::vector<int> commands;
};

Menu trayMenu() {
  Menu menu;
  menu.appendItem(32778, "&Restore");
  menu.appendItem(32772, "&Turn Radio Off");
  menu.appendSeparator();
  menu.appendItem(32781, "E&xit");
  menu.setDefaultItem(32778);
  return menu;
}

TEST(Menu, TheChosenCommandGoesToTheOwner) {
  FakePlatform fake;
  ModalHooks hooks;
  Owner owner;
  ASSERT_TRUE(owner.create());
  Menu menu = trayMenu();
  EXPECT_TRUE(menu.setItemText(32772, "Turn Radio On"));
  EXPECT_FALSE(menu.setItemText(1, "no such item"));
  EXPECT_EQ(menu.itemText(32772), "Turn Radio On");
  hooks.chooseMenu(32772).chooseMenu(0);
  EXPECT_EQ(menu.trackPopup(owner), 32772);
  EXPECT_EQ(menu.trackPopup(owner), 0);  // dismissed
  menu.enableItem(32781, false);
  hooks.chooseMenu(32781);
  EXPECT_EQ(menu.trackPopup(owner), 0);  // a disabled item cannot be chosen
  EXPECT_EQ(owner.commands, std::vector<int>{32772});
}

TEST(WaitCursor, NestsAndEndingTooOftenIsHarmless) {
  FakePlatform fake;
  {
    WaitCursor outer;
    beginWaitCursor();
    EXPECT_EQ(waitCursorDepth(), 2);
    endWaitCursor();
  }
  EXPECT_EQ(waitCursorDepth(), 0);
  endWaitCursor();  // an error path that ends a cursor it never began
  EXPECT_EQ(waitCursorDepth(), 0);
}

}  // namespace
}  // namespace zfw
