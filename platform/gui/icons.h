#pragma once
// Icons by resource id. A program registers the image file of each id it uses; an id
// without a file gets a plain generated square, so a missing image never stops a window.
#include <string>

class QIcon;

namespace zfw {

void registerIconFile(int id, const std::string& path);
bool hasIconFile(int id);
// The icon of `id` (Qt-level callers: lists, the tray, custom widgets).
QIcon iconFor(int id);

}  // namespace zfw
