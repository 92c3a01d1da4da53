#pragma once
// Turns a list view's mouse, focus and selection events into its owner's notifications
// (NM_CLICK, NM_DBLCLK, NM_RCLICK, NM_KILLFOCUS, LVN_ITEMCHANGED), and toggles a row's check
// box on a click in the check strip after NM_CLICK, as the Windows list view does (so the
// handler of NM_CLICK still sees the state at the click). Internal to platform/gui.
#include <functional>

#include "platform/gui/types.h"

class QObject;
class QTreeWidget;

namespace zfw {

// Width of the check-box strip at the left of each row.
constexpr int kListCheckStripWidth = 16;

// `context` owns the wiring: deleting it disconnects everything.
void wireListView(QTreeWidget* list, QObject* context, std::function<void(int code, const NotifyInfo&)> notify);

// Makes a QTreeWidget look and behave like a report-style list view.
void setUpListView(QTreeWidget* list);

}  // namespace zfw
