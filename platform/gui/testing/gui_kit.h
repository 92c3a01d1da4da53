#pragma once
// Driving windows in tests as a user would, under Qt's offscreen platform.
#include <string>
#include <string_view>

#include "platform/gui/wnd.h"

class QApplication;
class QPixmap;
class QWidget;

namespace zfw {
class PropertySheet;
class PropertyPage;
}

namespace zfw::testing {

// The Qt application of the test process (made on first call; offscreen by default).
QApplication& ensureGuiApp();
// Runs what is queued: posted messages, cross-thread calls, deferred deletions.
void processEvents();

// The control `id` of a window, searching windows inside it too (nullptr when none).
QWidget* findControl(QWidget* root, int id);
QWidget* findControl(Wnd& window, int id);
// The page of `sheet` made from dialog template `templateId`.
PropertyPage* findPage(PropertySheet& sheet, int templateId);

// Clicks a button, check box or radio button; false when it is hidden or disabled (a user
// could not click it then).
bool click(Wnd& window, int id);
// Types `text` into an edit key by key, as a user would (one change per key).
bool typeText(Wnd& window, int id, std::string_view text);
// Replaces an edit's whole text at once, as a paste over a selection would.
bool replaceText(Wnd& window, int id, std::string_view text);
// Chooses item `index` of a combo box (with the selection-change notification).
bool chooseComboItem(Wnd& window, int id, int index);
// Mouse on list row `row` at `x` (client coordinates; the check strip is x < 16).
bool clickListRow(Wnd& window, int id, int row, int x = 40);
bool doubleClickListRow(Wnd& window, int id, int row, int x = 40);
bool rightClickListRow(Wnd& window, int id, int row, int x = 40);
// The pointer moves (no button pressed) over list row `row` at `x` (client coordinates).
bool moveMouseOverListRow(Wnd& window, int id, int row, int x = 40);
// The pointer leaves control `id`.
bool moveMouseOff(Wnd& window, int id);
// The Escape key on a window, its close box, its minimise button.
void pressEscape(Wnd& window);
void clickCloseBox(Wnd& window);
void minimizeWindow(Wnd& window);
// Gives control `id` the keyboard focus (activating its window first).
bool focusControl(Wnd& window, int id);

// Whether the window's picture shows `image` with its top-left corner at (x, y) (window
// coordinates): every opaque pixel of the image is there, and it has some. Edge pixels
// that blend with what lies below are not compared.
bool showsImage(Wnd& window, const QPixmap& image, int x, int y);

// Saves an image of the window as <dir>/<name>.png, <dir> being $ZFW_SCREENSHOT_DIR or the
// build tree's screenshots folder, with the tips on show over it painted in; returns the
// path ("" on failure).
std::string saveScreenshot(Wnd& window, const std::string& name);

}  // namespace zfw::testing
