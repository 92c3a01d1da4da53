#include "utility/ui/themed_tab_ctrl.h"

#include "platform/gui/property_sheet.h"
#include "platform/gui/tab_control.h"

void CThemedTabCtrl::Attach(zfw::PropertySheet& sheet) { m_tabs = &sheet.tabControl(); }

int CThemedTabCtrl::EnableTab(int index, int enable) {
  return m_tabs && m_tabs->enableTab(index, enable != 0) ? 1 : 0;
}

int CThemedTabCtrl::IsTabEnabled(int index) const {
  return m_tabs && m_tabs->isTabEnabled(index) ? 1 : 0;
}
