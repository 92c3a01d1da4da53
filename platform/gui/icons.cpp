#include "platform/gui/icons.h"

#include <QColor>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <map>
#include <mutex>
#include <optional>

#include "platform/gui/qt_text.h"

namespace zfw {
namespace {

struct DrawnImage {
  int width = 0;
  int height = 0;
  std::function<void(QPainter&)> draw;
};

struct Images {
  std::mutex mutex;
  std::map<int, std::string> paths;
  std::map<int, DrawnImage> drawn;
};

Images& images() {
  static Images i;
  return i;
}

constexpr const char* kStaticIconProperty = "zfwStaticIcon";

QIcon placeholder(int id) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(Qt::black);
  painter.setBrush(QColor::fromHsv((id * 47) % 360, 160, 220));
  painter.drawRect(1, 1, 13, 13);
  return QIcon(pixmap);
}

std::optional<DrawnImage> drawnImage(int id) {
  std::lock_guard<std::mutex> lock(images().mutex);
  auto it = images().drawn.find(id);
  if (it == images().drawn.end()) return std::nullopt;
  return it->second;
}

QPixmap render(const DrawnImage& image) {
  QPixmap pixmap(image.width, image.height);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  image.draw(painter);
  return pixmap;
}

}  // namespace

void registerIconFile(int id, const std::string& path) {
  std::lock_guard<std::mutex> lock(images().mutex);
  images().paths[id] = path;
}

bool hasIconFile(int id) {
  std::lock_guard<std::mutex> lock(images().mutex);
  return images().paths.count(id) != 0;
}

void registerDrawnImage(int id, int width, int height, std::function<void(QPainter&)> draw) {
  if (width <= 0 || height <= 0 || !draw) return;
  std::lock_guard<std::mutex> lock(images().mutex);
  images().drawn[id] = DrawnImage{width, height, std::move(draw)};
}

bool hasDrawnImage(int id) {
  std::lock_guard<std::mutex> lock(images().mutex);
  return images().drawn.count(id) != 0;
}

QIcon iconFor(int id) {
  std::string path;
  {
    std::lock_guard<std::mutex> lock(images().mutex);
    auto it = images().paths.find(id);
    if (it != images().paths.end()) path = it->second;
  }
  if (!path.empty()) {
    QIcon icon(toQString(path));
    if (!icon.isNull() && !icon.availableSizes().isEmpty()) return icon;
  }
  if (std::optional<DrawnImage> drawn = drawnImage(id)) return QIcon(render(*drawn));
  return placeholder(id);
}

QPixmap bitmapFor(int id) {
  if (std::optional<DrawnImage> drawn = drawnImage(id)) return render(*drawn);
  return QPixmap();
}

void setStaticIcon(QLabel* label, int iconId) {
  if (!label) return;
  label->setProperty(kStaticIconProperty, iconId);
  label->setPixmap(iconId == 0 ? QPixmap() : iconFor(iconId).pixmap(label->size()));
}

int staticIcon(const QWidget* control) {
  const QVariant id = control ? control->property(kStaticIconProperty) : QVariant();
  return id.isValid() ? id.toInt() : 0;
}

}  // namespace zfw
