#include "platform/gui/menu.h"

#include <QCursor>
#include <QMenu>

#include "platform/gui/modal.h"
#include "platform/gui/qt_text.h"
#include "platform/gui/wnd.h"

namespace zfw {

void Menu::appendItem(int id, std::string_view text) { items_.push_back(Item{id, std::string(text)}); }

void Menu::appendSeparator() { items_.push_back(Item{}); }

Menu::Item* Menu::findItem(int id) {
  for (Item& item : items_) {
    if (item.id == id && id != 0) return &item;
  }
  return nullptr;
}

const Menu::Item* Menu::find(int id) const { return const_cast<Menu*>(this)->findItem(id); }

bool Menu::setItemText(int id, std::string_view text) {
  Item* item = findItem(id);
  if (item) item->text = text;
  return item != nullptr;
}

std::string Menu::itemText(int id) const {
  const Item* item = find(id);
  return item ? item->text : std::string();
}

bool Menu::enableItem(int id, bool enable) {
  Item* item = findItem(id);
  if (item) item->enabled = enable;
  return item != nullptr;
}

bool Menu::checkItem(int id, bool check) {
  Item* item = findItem(id);
  if (item) item->checked = check;
  return item != nullptr;
}

int Menu::trackPopup(Wnd& owner) {
  int chosen = 0;
  if (ModalInterceptor* hook = modalInterceptor()) {
    chosen = hook->runMenu(*this);
    const Item* item = find(chosen);
    if (!item || !item->enabled) chosen = 0;
  } else {
    QMenu menu(owner.widget());
    for (const Item& item : items_) {
      if (item.id == 0) {
        menu.addSeparator();
        continue;
      }
      QAction* action = menu.addAction(toQString(item.text));
      action->setData(item.id);
      action->setEnabled(item.enabled);
      action->setCheckable(item.checked);
      action->setChecked(item.checked);
      if (item.id == defaultItem_) {
        QFont bold = action->font();
        bold.setBold(true);
        action->setFont(bold);
        menu.setDefaultAction(action);
      }
    }
    if (QAction* action = menu.exec(QCursor::pos())) chosen = action->data().toInt();
  }
  if (chosen != 0) owner.dispatchCommand(chosen, BN_CLICKED);
  return chosen;
}

}  // namespace zfw
