#pragma once
// System-wide hot keys. On X11 the key is grabbed on the root window (with and without
// Caps Lock and Num Lock); where no X11 display exists (offscreen, Wayland) or another
// client holds the key, registration fails.
#include <cstdint>
#include <functional>
#include <memory>

namespace zfw {

enum : unsigned { MOD_ALT = 0x1, MOD_CONTROL = 0x2, MOD_SHIFT = 0x4 };
enum : unsigned { VK_F1 = 0x70, VK_F2 = 0x71, VK_F12 = 0x7B };

class IHotKey {
 public:
  virtual ~IHotKey() = default;
  // Registers `modifiers` + `virtualKey` as hot key `id`; `onPressed(id)` runs on the GUI
  // thread at each press. False when the key cannot be had.
  virtual bool registerHotKey(int id, unsigned modifiers, unsigned virtualKey, std::function<void(int id)> onPressed) = 0;
  virtual bool unregisterHotKey(int id) = 0;
};

class X11HotKey final : public IHotKey {
 public:
  X11HotKey();
  ~X11HotKey() override;
  bool registerHotKey(int id, unsigned modifiers, unsigned virtualKey, std::function<void(int id)> onPressed) override;
  bool unregisterHotKey(int id) override;

  // Hands one X11 key-press to the hot keys: (keycode, modifier state) as the event
  // carries them; true when it was one of ours (and the callback ran).
  bool handleKeyPress(uint8_t keycode, uint16_t state);
  // The X11 keycode of a function key (VK_F1..VK_F12), 0 without an X11 display.
  static uint8_t keycode(unsigned virtualKey);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace zfw
