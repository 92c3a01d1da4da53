// The hot key on a real X server (run under xvfb-run): the grab, a key another client
// holds, and the presses that are ours.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>
#include <xcb/xcb.h>

#include "platform/gui/desktop/hot_key.h"
#include "platform/gui/testing/fake_platform.h"

namespace zfw {
namespace {

// A second X client, as another program holding keys would be.
class OtherClient {
 public:
  OtherClient() : c_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
  }
  ~OtherClient() { xcb_disconnect(c_); }
  bool grab(uint8_t keycode, uint16_t modifiers) {
    xcb_generic_error_t* error = xcb_request_check(
        c_, xcb_grab_key_checked(c_, 1, root_, modifiers, keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    free(error);
    return error == nullptr;
  }
  void ungrab(uint8_t keycode, uint16_t modifiers) {
    xcb_ungrab_key(c_, keycode, root_, modifiers);
    free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));  // a round trip
  }

 private:
  xcb_connection_t* c_;
  xcb_window_t root_;
};

TEST(X11HotKey, GrabsTheKeyUnlessAnotherClientHoldsIt) {
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  testing::FakePlatform fake;
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  const uint8_t f2 = X11HotKey::keycode(VK_F2);
  ASSERT_NE(f2, 0);
  OtherClient other;
  X11HotKey hotKey;
  int pressed = 0;
  auto onPressed = [&](int id) { pressed = id; };

  ASSERT_TRUE(other.grab(f2, XCB_MOD_MASK_1 | XCB_MOD_MASK_2));  // held with Num Lock only
  EXPECT_FALSE(hotKey.registerHotKey(32772, MOD_ALT, VK_F2, onPressed));
  other.ungrab(f2, XCB_MOD_MASK_1 | XCB_MOD_MASK_2);
  ASSERT_TRUE(other.grab(f2, XCB_MOD_MASK_1));  // the failed attempt left nothing held
  other.ungrab(f2, XCB_MOD_MASK_1);

  ASSERT_TRUE(hotKey.registerHotKey(32772, MOD_ALT, VK_F2, onPressed));
  EXPECT_FALSE(other.grab(f2, XCB_MOD_MASK_1 | XCB_MOD_MASK_LOCK));
  EXPECT_FALSE(hotKey.handleKeyPress(f2, 0));  // F2 without Alt
  EXPECT_EQ(pressed, 0);
  EXPECT_TRUE(hotKey.handleKeyPress(f2, XCB_MOD_MASK_1 | XCB_MOD_MASK_2 | XCB_MOD_MASK_LOCK));
  EXPECT_EQ(pressed, 32772);
  EXPECT_TRUE(hotKey.unregisterHotKey(32772));
  EXPECT_TRUE(other.grab(f2, XCB_MOD_MASK_1));
}

}  // namespace
}  // namespace zfw
