#pragma once
// Whether a list's column shows each of its texts whole: a column narrower than a text (with
// the margins the list draws beside it) cuts it off with an ellipsis.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QStyle>
#include <QWidget>

#include "platform/gui/list_view.h"
#include "platform/gui/testing/gui_kit.h"

namespace zelcon_test {

inline void ExpectColumnShowsItsTextsWhole(zfw::Wnd& window, int listId, int column) {
  QWidget* control = zfw::testing::findControl(window, listId);
  ASSERT_NE(control, nullptr);
  const zfw::ListView list = window.listView(listId);
  const QFontMetrics metrics(control->font());
  const int margins = 2 * (control->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, control) + 1);
  for (int row = 0; row < list.itemCount(); ++row) {
    const std::string text = list.itemText(row, column);
    EXPECT_GE(list.columnWidth(column), metrics.horizontalAdvance(QString::fromStdString(text)) + margins)
        << "\"" << text << "\" in column " << column << " of list " << listId;
  }
}

}  // namespace zelcon_test
