#pragma once
// Makes a window's controls, laid out in rows (top to bottom, each row left to right) with
// optional group boxes. Windows position controls by pixel; here Qt layouts do, and only
// ids, kinds, texts and styles matter.
//
//   void CWepKeyDlg::buildControls(zfw::ControlBuilder& b) {
//     b.text(0, "Key Format:").combo(1064).row()
//      .beginGroup(0, "Keys").radio(1050, "Key 1", 1).edit(1054, 26).endGroup()
//      .row().stretch().button(zfw::IDOK, "OK", true).button(zfw::IDCANCEL, "Cancel");
//   }
#include <memory>
#include <string_view>

class QWidget;

namespace zfw {

class Wnd;

// Edit styles.
enum : unsigned { ES_UPPERCASE = 0x8, ES_PASSWORD = 0x20, ES_READONLY = 0x800, ES_NUMBER = 0x2000 };

class ControlBuilder {
 public:
  // Builds into `container` (the window's widget) on behalf of `owner`.
  ControlBuilder(Wnd& owner, QWidget* container);
  ~ControlBuilder();
  ControlBuilder(const ControlBuilder&) = delete;
  ControlBuilder& operator=(const ControlBuilder&) = delete;

  // Controls with id 0 (or -1) are unnamed: shown, but not reachable by id.
  ControlBuilder& text(int id, std::string_view text);
  ControlBuilder& edit(int id, int maxChars = 0, unsigned style = 0);
  ControlBuilder& combo(int id);
  ControlBuilder& button(int id, std::string_view text, bool isDefault = false);
  ControlBuilder& check(int id, std::string_view text);
  // Radio buttons of one `group` are exclusive; a click checks one and clears the others.
  ControlBuilder& radio(int id, std::string_view text, int group = 0);
  ControlBuilder& list(int id, unsigned extendedStyle = 0);
  // An edit `editId` with an up-down control `spinId` that steps it within [low, high].
  ControlBuilder& spin(int editId, int spinId, int low, int high);
  ControlBuilder& progress(int id);
  // A static icon (SS_ICON) of `size` x `size` pixels showing icon resource `iconId`.
  ControlBuilder& icon(int id, int iconId, int size = 32);
  // An empty frame of the given size; other controls may be created in its place later.
  ControlBuilder& placeholder(int id, int width, int height);
  // A control made by the caller (custom widgets); the window takes it over.
  ControlBuilder& custom(int id, QWidget* control);

  ControlBuilder& row();      // the next controls start a new row
  ControlBuilder& stretch();  // empty space in the current row
  ControlBuilder& beginGroup(int id, std::string_view title);
  ControlBuilder& endGroup();

 private:
  struct Impl;
  ControlBuilder& add(int id, QWidget* control);
  std::unique_ptr<Impl> d_;
};

}  // namespace zfw
