#pragma once
// A popup menu of commands (the tray menu, a list's context menu). The chosen command goes
// to the owner window as a command, as a menu's WM_COMMAND would.
#include <string>
#include <string_view>
#include <vector>

namespace zfw {

class Wnd;

class Menu {
 public:
  struct Item {
    int id = 0;  // 0: a separator
    std::string text;
    bool enabled = true;
    bool checked = false;
  };

  void appendItem(int id, std::string_view text);
  void appendSeparator();
  bool setItemText(int id, std::string_view text);
  std::string itemText(int id) const;
  bool enableItem(int id, bool enable);
  bool checkItem(int id, bool check);
  void setDefaultItem(int id) { defaultItem_ = id; }
  int defaultItem() const { return defaultItem_; }
  const std::vector<Item>& items() const { return items_; }
  const Item* find(int id) const;

  // Shows the menu at the mouse pointer and waits for a choice; the chosen command (0 for
  // none) is returned and sent to `owner`.
  int trackPopup(Wnd& owner);

 private:
  Item* findItem(int id);
  std::vector<Item> items_;
  int defaultItem_ = 0;
};

}  // namespace zfw
