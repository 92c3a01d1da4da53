#pragma once
// Icons and bitmaps by resource id. A program registers the image file of each id it uses,
// or a drawing of its own; an icon id with neither gets a plain generated square, so a
// missing image never stops a window.
#include <functional>
#include <string>

class QIcon;
class QLabel;
class QPainter;
class QPixmap;
class QWidget;

namespace zfw {

void registerIconFile(int id, const std::string& path);
bool hasIconFile(int id);
// An image the program draws itself: `draw` paints on a transparent `width` x `height`
// image (for icons, scaled to the size asked for). Registering an id again replaces it.
void registerDrawnImage(int id, int width, int height, std::function<void(QPainter&)> draw);
bool hasDrawnImage(int id);
// The icon of `id` (Qt-level callers: lists, the tray, custom widgets).
QIcon iconFor(int id);
// The bitmap of `id` at its own size (a null pixmap when nothing is registered for it).
QPixmap bitmapFor(int id);

// A static icon control (a label) shows icon `iconId` at the label's size; 0 shows none.
void setStaticIcon(QLabel* label, int iconId);
// The icon id a static icon control shows (0 when none, or for another kind of control).
int staticIcon(const QWidget* control);

}  // namespace zfw
