#include "platform/gui/icons.h"

#include <QColor>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <map>
#include <mutex>

#include "platform/gui/qt_text.h"

namespace zfw {
namespace {

struct IconFiles {
  std::mutex mutex;
  std::map<int, std::string> paths;
};

IconFiles& files() {
  static IconFiles f;
  return f;
}

QIcon placeholder(int id) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(Qt::black);
  painter.setBrush(QColor::fromHsv((id * 47) % 360, 160, 220));
  painter.drawRect(1, 1, 13, 13);
  return QIcon(pixmap);
}

}  // namespace

void registerIconFile(int id, const std::string& path) {
  std::lock_guard<std::mutex> lock(files().mutex);
  files().paths[id] = path;
}

bool hasIconFile(int id) {
  std::lock_guard<std::mutex> lock(files().mutex);
  return files().paths.count(id) != 0;
}

QIcon iconFor(int id) {
  std::string path;
  {
    std::lock_guard<std::mutex> lock(files().mutex);
    auto it = files().paths.find(id);
    if (it != files().paths.end()) path = it->second;
  }
  if (!path.empty()) {
    QIcon icon(toQString(path));
    if (!icon.isNull() && !icon.availableSizes().isEmpty()) return icon;
  }
  return placeholder(id);
}

}  // namespace zfw
