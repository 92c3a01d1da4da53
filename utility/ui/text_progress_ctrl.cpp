#include "utility/ui/text_progress_ctrl.h"

#include <QPainter>

#include <algorithm>
#include <cstdio>

TextProgressLook TextProgressLookOf(int pos, int low, int high, int width) {
  TextProgressLook look;
  if (high <= low || width <= 0) return look;  // no range: nothing to show a share of
  const int clamped = std::clamp(pos, low, high);
  const double share = static_cast<double>(clamped - low) / (high - low);
  look.fillWidth = static_cast<int>(share * width + 0.5);
  char text[16];
  std::snprintf(text, sizeof text, "%3.0f %%", share * 100);
  look.text = text;
  return look;
}

uint32_t TextProgressColourAt(int x, int width) {
  if (width <= 1) return 0xFF0000;
  const int green = std::clamp(x * 255 / (width - 1), 0, 255);
  return static_cast<uint32_t>((255 - green) << 16 | green << 8);
}

void CTextProgressCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = rect();
  painter.fillRect(area, palette().color(QPalette::Button));
  const TextProgressLook look = TextProgressLookOf(value(), minimum(), maximum(), area.width());
  for (int x = 0; x < look.fillWidth; ++x) {
    painter.setPen(QColor::fromRgb(TextProgressColourAt(x, area.width())));
    painter.drawLine(x, 0, x, area.height() - 1);
  }
  if (!look.text) return;
  // White over the gradient; over the empty part, where white would vanish on the light
  // background, the colour of button text.
  const QString text = QString::fromStdString(*look.text);
  const QRect filled(0, 0, look.fillWidth, area.height());
  painter.setClipRect(filled);
  painter.setPen(Qt::white);
  painter.drawText(area, Qt::AlignCenter, text);
  painter.setClipRect(QRect(filled.right() + 1, 0, area.width() - look.fillWidth, area.height()));
  painter.setPen(palette().color(QPalette::ButtonText));
  painter.drawText(area, Qt::AlignCenter, text);
}
