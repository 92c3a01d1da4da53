#include "platform/gui/combo_box.h"

#include <QComboBox>

#include "platform/gui/qt_text.h"

namespace zfw {
namespace {
constexpr int kDataRole = Qt::UserRole;
}

ComboBox::ComboBox(QWidget* control) : combo_(qobject_cast<QComboBox*>(control)) {}

int ComboBox::addString(std::string_view text) { return insertString(-1, text); }

int ComboBox::insertString(int index, std::string_view text) {
  if (!combo_) return -1;
  if (index < 0 || index > combo_->count()) index = combo_->count();
  // Inserting must not change what is selected, as with CB_INSERTSTRING.
  const QSignalBlocker quiet(combo_);
  const int selected = combo_->currentIndex();
  combo_->insertItem(index, toQString(text));
  combo_->setCurrentIndex(selected < 0 ? -1 : (selected >= index ? selected + 1 : selected));
  return index;
}

int ComboBox::deleteString(int index) {
  if (!combo_ || index < 0 || index >= combo_->count()) return -1;
  const QSignalBlocker quiet(combo_);
  const int selected = combo_->currentIndex();
  combo_->removeItem(index);
  // Deleting the selected item leaves nothing selected.
  combo_->setCurrentIndex(selected == index ? -1 : (selected > index ? selected - 1 : selected));
  return combo_->count();
}

void ComboBox::resetContent() {
  if (combo_) combo_->clear();
}

int ComboBox::count() const { return combo_ ? combo_->count() : 0; }

std::string ComboBox::lbText(int index) const {
  if (!combo_ || index < 0 || index >= combo_->count()) return {};
  return fromQString(combo_->itemText(index));
}

bool ComboBox::setItemData(int index, uintptr_t data) {
  if (!combo_ || index < 0 || index >= combo_->count()) return false;
  combo_->setItemData(index, QVariant::fromValue<qulonglong>(data), kDataRole);
  return true;
}

uintptr_t ComboBox::itemData(int index) const {
  if (!combo_ || index < 0 || index >= combo_->count()) return 0;
  return static_cast<uintptr_t>(combo_->itemData(index, kDataRole).toULongLong());
}

int ComboBox::findItemData(uintptr_t data) const {
  for (int i = 0; i < count(); ++i) {
    if (itemData(i) == data) return i;
  }
  return -1;
}

int ComboBox::findStringExact(std::string_view text) const {
  if (!combo_) return -1;
  const QString t = toQString(text);
  for (int i = 0; i < combo_->count(); ++i) {
    if (combo_->itemText(i).compare(t, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

int ComboBox::curSel() const { return combo_ ? combo_->currentIndex() : -1; }

int ComboBox::setCurSel(int index) {
  if (!combo_) return -1;
  if (index < 0 || index >= combo_->count()) {
    combo_->setCurrentIndex(-1);
    return -1;
  }
  combo_->setCurrentIndex(index);
  return index;
}

}  // namespace zfw
