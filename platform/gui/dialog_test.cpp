#include "platform/gui/dialog.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui/message_box.h"
#include "platform/gui/testing/fake_platform.h"
#include "platform/gui/testing/gui_kit.h"
#include "platform/gui/testing/modal_hooks.h"

namespace zfw {
namespace {

using testing::FakePlatform;
using testing::ModalHooks;

// A dialog that refuses OK until its edit holds something, as input checks do.
class NameDialog : public Dialog {
 public:
  NameDialog() : Dialog(137) { setCaption("LEAP Radius Configuration"); }
  void buildControls(ControlBuilder& b) override {
    b.text(0, "Login Name:").edit(1123, 39).row().button(IDOK, "OK", true).button(IDCANCEL, "Cancel");
  }
  bool onInitDialog() override {
    setItemText(1123, initial);
    return true;
  }
  void onOK() override {
    name = itemText(1123);
    if (name.empty()) {
      messageBox(this, "Illegal login name or password for WPA authentication!", {}, MB_ICONEXCLAMATION);
      return;  // stays open
    }
    endDialog(IDOK);
  }
  std::string initial;
  std::string name;
};

TEST(Dialog, ModalRunInitialisesRunsTheHookAndDestroysTheWindow) {
  FakePlatform fake;
  ModalHooks hooks;
  NameDialog dialog;
  dialog.initial = "first";
  hooks.expect<NameDialog>(137, [](NameDialog& d) {
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.windowText(), "LEAP Radius Configuration");
    EXPECT_EQ(d.itemText(1123), "first");  // onInitDialog ran before
    ASSERT_TRUE(testing::replaceText(d, 1123, ""));
    ASSERT_TRUE(testing::click(d, IDOK));  // refused: a message, still open
    EXPECT_FALSE(d.isEnded());
    ASSERT_TRUE(testing::typeText(d, 1123, "alice"));
    ASSERT_TRUE(testing::click(d, IDOK));
  });
  EXPECT_EQ(dialog.doModal(), IDOK);
  EXPECT_EQ(dialog.name, "alice");
  EXPECT_FALSE(dialog.isCreated());
  ASSERT_EQ(fake.boxes.boxes().size(), 1u);
  EXPECT_EQ(fake.boxes.last()->flags, MB_ICONEXCLAMATION);
  EXPECT_EQ(hooks.opened(), std::vector<int>{137});
}

TEST(Dialog, EscapeAndTheCloseBoxCancel) {
  FakePlatform fake;
  ModalHooks hooks;
  NameDialog dialog;
  hooks.expect<NameDialog>(137, [](NameDialog& d) { testing::pressEscape(d); });
  hooks.expect<NameDialog>(137, [](NameDialog& d) { testing::clickCloseBox(d); });
  EXPECT_EQ(dialog.doModal(), IDCANCEL);
  EXPECT_EQ(dialog.doModal(), IDCANCEL);  // a dialog object runs again
}

// A window that goes to the tray when minimised, as a main window does.
class HidesWhenMinimised : public Dialog {
 public:
  HidesWhenMinimised() : Dialog(140) {}
  void onMinimize() override {
    ++minimised;
    hide();
  }
  int minimised = 0;
};

TEST(Dialog, MinimisingIsToldOnceCompleteSoTheOwnerMayHide) {
  FakePlatform fake;
  HidesWhenMinimised window;
  window.create();
  window.show();
  testing::minimizeWindow(window);
  testing::processEvents();
  EXPECT_EQ(window.minimised, 1);
  EXPECT_FALSE(window.isVisible());
  window.destroyWindow();
}

// A box that closes itself after its seconds: it cannot be cancelled, its timer ends it.
class Countdown : public Dialog {
 public:
  explicit Countdown(int seconds) : Dialog(128), seconds_(seconds) {}
  void buildControls(ControlBuilder& b) override { b.text(1007, "Preparing...").progress(1008); }
  bool onInitDialog() override {
    progressBar(1008).setRange(0, seconds_);
    setTimer(0x7100, 1000);
    return true;
  }
  void onTimer(int) override {
    if (++elapsed < seconds_) {
      progressBar(1008).setPos(elapsed);
    } else {
      killTimer(0x7100);
      endDialog(IDOK);
    }
  }
  void onCancel() override {}
  int elapsed = 0;

 private:
  int seconds_;
};

TEST(Dialog, AModalDialogEndsByItsOwnTimerOnTheManualClock) {
  FakePlatform fake;
  ModalHooks hooks;
  Countdown box(5);
  const uint64_t start = fake.clock.tickCount();
  hooks.expect<Countdown>(128, [&](Countdown& d) {
    testing::click(d, IDCANCEL);  // there is no Cancel button; Escape does nothing either
    testing::pressEscape(d);
    EXPECT_FALSE(d.isEnded());
    fake.timers.advance(4000);
    EXPECT_EQ(d.progressBar(1008).pos(), 4);
    fake.timers.advance(1000);
  });
  EXPECT_EQ(box.doModal(), IDOK);
  EXPECT_EQ(box.elapsed, 5);
  EXPECT_EQ(fake.clock.tickCount() - start, 5000u);
  EXPECT_EQ(fake.timers.count(), 0u);
}

TEST(Dialog, NestedModalDialogsTakeTheirHooksInOrder) {
  FakePlatform fake;
  ModalHooks hooks;
  NameDialog outer, inner;
  hooks.expect<NameDialog>(137, [&](NameDialog& d) {
    EXPECT_EQ(inner.doModal(), IDCANCEL);
    d.endDialog(IDOK);
  });
  hooks.expect<NameDialog>(137, [](NameDialog& d) { testing::click(d, IDCANCEL); });
  EXPECT_EQ(outer.doModal(), IDOK);
  EXPECT_EQ(hooks.unused(), 0u);
}

TEST(ModalHooks, ReportWindowsWithoutHooksHooksWithoutWindowsAndWindowsLeftOpen) {
  FakePlatform fake;
  NameDialog dialog;
  EXPECT_NONFATAL_FAILURE(
      {
        ModalHooks hooks;
        EXPECT_EQ(dialog.doModal(), IDCANCEL);
      },
      "opened without a hook");
  EXPECT_NONFATAL_FAILURE(
      {
        ModalHooks hooks;
        hooks.expect(999, [](Wnd&) {});
      },
      "no modal window 999 opened");
  EXPECT_NONFATAL_FAILURE(
      {
        ModalHooks hooks;
        hooks.expect(137, [](Wnd&) {});
        EXPECT_EQ(dialog.doModal(), IDCANCEL);
      },
      "left open by its hook");
}

}  // namespace
}  // namespace zfw
