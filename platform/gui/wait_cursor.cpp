#include "platform/gui/wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace zfw {
namespace {
int depth = 0;
}

void beginWaitCursor() {
  ++depth;
  if (QGuiApplication::instance()) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

void endWaitCursor() {
  if (depth == 0) return;
  --depth;
  if (QGuiApplication::instance()) QGuiApplication::restoreOverrideCursor();
}

int waitCursorDepth() { return depth; }

}  // namespace zfw
