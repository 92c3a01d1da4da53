#pragma once
// A drop-down list box, reached through the combo-box verbs. A light handle.
#include <cstdint>
#include <string>
#include <string_view>

class QWidget;
class QComboBox;

namespace zfw {

class ComboBox {
 public:
  explicit ComboBox(QWidget* control = nullptr);
  bool valid() const { return combo_ != nullptr; }

  int addString(std::string_view text);  // index of the new item
  int insertString(int index, std::string_view text);  // -1 (or past the end) appends
  int deleteString(int index);  // items left, -1 when out of range
  void resetContent();
  int count() const;
  std::string lbText(int index) const;  // empty when out of range
  bool setItemData(int index, uintptr_t data);
  uintptr_t itemData(int index) const;  // 0 when out of range
  int findItemData(uintptr_t data) const;  // first index with that data, -1 when none
  int findStringExact(std::string_view text) const;  // -1 when none
  int curSel() const;  // -1 when nothing is selected
  // Selects `index`; -1 (or an index out of range) clears the selection and returns -1.
  int setCurSel(int index);

 private:
  QComboBox* combo_;
};

}  // namespace zfw
