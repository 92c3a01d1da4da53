#pragma once
// The wizard's lists carry codes as item data; pages select and read items by code.
#include <cstdint>

#include "platform/gui/combo_box.h"

// Selects the first item carrying `code`; no change when none does.
inline void SelectCode(zfw::ComboBox box, uint32_t code) {
  int index = box.findItemData(code);
  if (index >= 0) box.setCurSel(index);
}
// The selected item's code; 0 and *any false when nothing is selected.
inline uint32_t SelectedCode(const zfw::ComboBox& box, bool* any = nullptr) {
  int sel = box.curSel();
  if (any) *any = sel >= 0;
  return sel >= 0 ? uint32_t(box.itemData(sel)) : 0;
}
