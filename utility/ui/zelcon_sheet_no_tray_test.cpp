// On a desktop without a system tray the sheet has nowhere to hide: OK and Cancel minimise
// it, and the close box ends the utility after saving.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/gui/testing/gui_kit.h"
#include "utility/ui/testing/zelcon_fixture.h"

namespace zelcon_test {
namespace {

TEST_F(ZelconFixture, WithoutATrayTheSheetMinimisesAndItsCloseBoxEndsTheUtility) {
  fake.tray.available = false;
  CZelconSheet* sheet = Start();
  ASSERT_NE(sheet, nullptr);
  sheet->show();
  for (int button : {zfw::IDOK, zfw::IDCANCEL}) {
    sheet->restore();
    ASSERT_TRUE(zfw::testing::click(*sheet, button));
    EXPECT_TRUE(sheet->isVisible()) << button;
    EXPECT_TRUE(sheet->isMinimized()) << button;
  }
  ::unlink(DataCfg().c_str());
  zfw::testing::clickCloseBox(*sheet);
  EXPECT_FALSE(sheet->isCreated());
  struct stat st {};
  EXPECT_EQ(::stat(DataCfg().c_str(), &st), 0);  // saved on the way out
}

TEST_F(ZelconFixture, WithATrayTheCloseBoxHidesTheSheet) {
  CZelconSheet* sheet = Start();
  ASSERT_NE(sheet, nullptr);
  sheet->show();
  zfw::testing::clickCloseBox(*sheet);
  EXPECT_TRUE(sheet->isCreated());
  EXPECT_FALSE(sheet->isVisible());
}

}  // namespace
}  // namespace zelcon_test
