#include "platform/gui/desktop/hot_key.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <map>

#ifdef ZFW_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace zfw {

#ifdef ZFW_HAVE_XCB
namespace {

constexpr uint16_t kLock = XCB_MOD_MASK_LOCK;
constexpr uint16_t kNumLock = XCB_MOD_MASK_2;
constexpr uint32_t kXkF1 = 0xFFBE;  // X keysyms F1..F12 follow one another

xcb_connection_t* x11Connection() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  return x11 ? x11->connection() : nullptr;
}

xcb_window_t rootWindow(xcb_connection_t* c) {
  const xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  return it.rem ? it.data->root : xcb_window_t{XCB_WINDOW_NONE};
}

// The first keycode whose keysyms include `keysym` (core keyboard mapping), 0 when none.
uint8_t keycodeOf(xcb_connection_t* c, uint32_t keysym) {
  const xcb_setup_t* setup = xcb_get_setup(c);
  const uint8_t first = setup->min_keycode;
  const uint8_t count = static_cast<uint8_t>(setup->max_keycode - first + 1);
  xcb_get_keyboard_mapping_reply_t* reply =
      xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, first, count), nullptr);
  if (!reply) return 0;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
  const int perCode = reply->keysyms_per_keycode;
  const int total = xcb_get_keyboard_mapping_keysyms_length(reply);
  uint8_t found = 0;
  for (int i = 0; i < total && !found; ++i) {
    if (syms[i] == keysym && perCode > 0) found = static_cast<uint8_t>(first + i / perCode);
  }
  free(reply);
  return found;
}

// Waits until the server has handled every request sent so far (a round trip), so the
// keys are released before anyone else asks for them.
void sync(xcb_connection_t* c) { free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

uint16_t x11Modifiers(unsigned modifiers) {
  uint16_t m = 0;
  if (modifiers & MOD_ALT) m |= XCB_MOD_MASK_1;
  if (modifiers & MOD_CONTROL) m |= XCB_MOD_MASK_CONTROL;
  if (modifiers & MOD_SHIFT) m |= XCB_MOD_MASK_SHIFT;
  return m;
}

}  // namespace
#endif

struct X11HotKey::Impl final : QAbstractNativeEventFilter {
  struct Key {
    uint8_t keycode;
    uint16_t modifiers;
    std::function<void(int)> onPressed;
  };
  X11HotKey* owner = nullptr;
  std::map<int, Key> keys;
  bool filtering = false;

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
#ifdef ZFW_HAVE_XCB
    if (type != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_KEY_PRESS) return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    return owner->handleKeyPress(press->detail, press->state);
#else
    (void)type;
    (void)message;
    return false;
#endif
  }
};

X11HotKey::X11HotKey() : d_(std::make_unique<Impl>()) { d_->owner = this; }

X11HotKey::~X11HotKey() {
  while (!d_->keys.empty()) unregisterHotKey(d_->keys.begin()->first);
  if (d_->filtering && QCoreApplication::instance()) QCoreApplication::instance()->removeNativeEventFilter(d_.get());
}

bool X11HotKey::handleKeyPress(uint8_t keycode, uint16_t state) {
#ifdef ZFW_HAVE_XCB
  const uint16_t relevant = state & ~(kLock | kNumLock);
  for (auto& [id, key] : d_->keys) {
    if (key.keycode == keycode && key.modifiers == relevant) {
      auto onPressed = key.onPressed;
      const int hotKeyId = id;
      onPressed(hotKeyId);
      return true;
    }
  }
#else
  (void)keycode;
  (void)state;
#endif
  return false;
}

uint8_t X11HotKey::keycode(unsigned virtualKey) {
#ifdef ZFW_HAVE_XCB
  xcb_connection_t* c = x11Connection();
  if (!c || virtualKey < VK_F1 || virtualKey > VK_F12) return 0;
  return keycodeOf(c, kXkF1 + (virtualKey - VK_F1));
#else
  (void)virtualKey;
  return 0;
#endif
}

bool X11HotKey::registerHotKey(int id, unsigned modifiers, unsigned virtualKey, std::function<void(int)> onPressed) {
#ifdef ZFW_HAVE_XCB
  if (d_->keys.count(id)) return false;
  xcb_connection_t* c = x11Connection();
  if (!c) return false;  // no X11 display: offscreen or Wayland
  const uint8_t keycode = X11HotKey::keycode(virtualKey);
  const xcb_window_t root = rootWindow(c);
  if (!keycode || root == XCB_WINDOW_NONE) return false;
  const uint16_t mods = x11Modifiers(modifiers);
  // One grab for each state of the lock keys, so the key works whatever they are.
  const uint16_t variants[] = {0, kLock, kNumLock, static_cast<uint16_t>(kLock | kNumLock)};
  bool ok = true;
  for (uint16_t extra : variants) {
    xcb_void_cookie_t cookie = xcb_grab_key_checked(c, 1, root, static_cast<uint16_t>(mods | extra), keycode,
                                                    XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
      free(error);  // BadAccess: another client holds the key
      ok = false;
    }
  }
  if (!ok) {
    for (uint16_t extra : variants) xcb_ungrab_key(c, keycode, root, static_cast<uint16_t>(mods | extra));
    sync(c);
    return false;
  }
  xcb_flush(c);
  if (!d_->filtering) {
    QCoreApplication::instance()->installNativeEventFilter(d_.get());
    d_->filtering = true;
  }
  d_->keys[id] = Impl::Key{keycode, mods, std::move(onPressed)};
  return true;
#else
  (void)id;
  (void)modifiers;
  (void)virtualKey;
  (void)onPressed;
  return false;
#endif
}

bool X11HotKey::unregisterHotKey(int id) {
  auto it = d_->keys.find(id);
  if (it == d_->keys.end()) return false;
#ifdef ZFW_HAVE_XCB
  if (xcb_connection_t* c = x11Connection()) {
    const xcb_window_t root = rootWindow(c);
    for (uint16_t extra : {uint16_t{0}, kLock, kNumLock, static_cast<uint16_t>(kLock | kNumLock)}) {
      xcb_ungrab_key(c, it->second.keycode, root, static_cast<uint16_t>(it->second.modifiers | extra));
    }
    sync(c);
  }
#endif
  d_->keys.erase(it);
  return true;
}

}  // namespace zfw
