#pragma once
// A report-style list view (rows of columns, optional check boxes and small icons), reached
// through the list-view verbs. A light handle: copies refer to the same control.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gui/types.h"

class QWidget;
class QTreeWidget;

namespace zfw {

// Extended styles.
enum : unsigned {
  LVS_EX_GRIDLINES = 0x1,
  LVS_EX_CHECKBOXES = 0x4,
  LVS_EX_FULLROWSELECT = 0x20,
  LVS_EX_LABELTIP = 0x4000,
};

class ListView {
 public:
  explicit ListView(QWidget* control = nullptr);
  bool valid() const { return list_ != nullptr; }

  int insertColumn(int column, std::string_view heading, int width);
  int columnCount() const;
  int columnWidth(int column) const;
  // Widens each column whose heading or the text of a row would not fit (never narrows one).
  void widenColumnsToFit();
  void setHeaderVisible(bool visible);
  void setExtendedStyle(unsigned style);
  unsigned extendedStyle() const;
  // Row images: icon ids (see icons.h), image i of a row is iconIds[i].
  void setImageList(const std::vector<int>& iconIds);

  int itemCount() const;
  // Inserts a row at `row` (clamped to the end); returns its index, -1 on failure.
  int insertItem(int row, std::string_view text, int image = -1);
  bool deleteItem(int row);
  void deleteAllItems();
  bool setItemText(int row, int column, std::string_view text);
  std::string itemText(int row, int column) const;
  bool setItemData(int row, uintptr_t data);
  uintptr_t itemData(int row) const;  // 0 for a row that does not exist
  bool setItemImage(int row, int image);
  int itemImage(int row) const;  // -1 when none
  bool setCheck(int row, bool checked);
  bool check(int row) const;

  int selectedRow() const;  // -1 when none
  // Selects and focuses `row` (-1 clears the selection) and scrolls it into view.
  void selectRow(int row);
  Rect itemRect(int row) const;  // in the list's client coordinates
  int rowAt(int x, int y) const;  // -1 when no row is there

 private:
  QTreeWidget* list_;
};

}  // namespace zfw
