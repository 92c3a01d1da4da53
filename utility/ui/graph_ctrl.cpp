#include "utility/ui/graph_ctrl.h"

#include <QPainter>

#include <algorithm>
#include <numeric>

CGraphCtrl::CGraphCtrl(QWidget* parent) : QWidget(parent) {
  setMinimumSize(120, 60);
  setFocusPolicy(Qt::TabFocus);
  SetRange(1, 100);
  Clear();
}

void CGraphCtrl::SetRange(uint64_t low, uint64_t high) {
  if (high < low) std::swap(low, high);
  m_offset = low == 0 ? 0 : low - 1;
  m_size = high - low + 1;
}

void CGraphCtrl::AddValue(uint64_t value) {
  const uint64_t above = value > m_offset ? value - m_offset : 0;
  m_queue.push_back(std::clamp<uint64_t>(above, 1, m_size));
}

void CGraphCtrl::SetLineColour(int width, QRgb colour) {
  m_lineWidth = std::max(width, 1);
  m_lineColour = colour;
}

void CGraphCtrl::Clear() {
  const QSize size = this->size().isEmpty() ? QSize(1, 1) : this->size();
  m_bitmap = QImage(size, QImage::Format_RGB32);
  m_bitmap.fill(kBackground);
  QPainter p(&m_bitmap);
  p.setPen(QColor::fromRgb(kGrid));
  // Grid lines every 13 pixels in both directions, starting one pixel before the edge.
  for (int x = kGridSpacing - 1; x < size.width(); x += kGridSpacing) p.drawLine(x, 0, x, size.height() - 1);
  for (int y = kGridSpacing - 1; y < size.height(); y += kGridSpacing) p.drawLine(0, y, size.width() - 1, y);
  m_gridPhase = kGridSpacing;
  m_lastY = -1;
}

void CGraphCtrl::Step() {
  if (m_bitmap.size() != size() && !size().isEmpty()) Clear();  // resized while hidden
  const int width = m_bitmap.width();
  const int height = m_bitmap.height();
  if (width <= kStep) return;
  // Scroll left by one step and clear the strip that comes in at the right.
  QImage scrolled(m_bitmap.size(), m_bitmap.format());
  scrolled.fill(kBackground);
  {
    QPainter p(&scrolled);
    p.drawImage(QPoint(-kStep, 0), m_bitmap);
  }
  m_bitmap = scrolled;
  QPainter p(&m_bitmap);
  p.setPen(QColor::fromRgb(kGrid));
  m_gridPhase -= kStep;
  if (m_gridPhase < 0) m_gridPhase += kGridSpacing;
  if (m_gridPhase < kStep) {
    const int x = width - kStep + m_gridPhase;
    p.drawLine(x, 0, x, height - 1);
  }
  for (int y = kGridSpacing - 1; y < height; y += kGridSpacing) p.drawLine(width - kStep, y, width - 1, y);

  const int bottom = height - 1;
  int y = m_lastY;
  if (!m_queue.empty()) {
    const uint64_t sum = std::accumulate(m_queue.begin(), m_queue.end(), uint64_t{0});
    const uint64_t mean = sum / m_queue.size();
    m_queue.clear();
    y = bottom - static_cast<int>(mean * static_cast<uint64_t>(bottom) / m_size);
    if (m_lastY < 0) m_lastY = y;  // the first point starts at its own height
  }
  if (y >= 0 && m_lastY >= 0) {
    p.setPen(QPen(QColor::fromRgb(m_lineColour), m_lineWidth));
    p.drawLine(width - 14, m_lastY, width - 11, y);
    m_lastY = y;
  }
  update();
}

void CGraphCtrl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, m_bitmap);
}

void CGraphCtrl::resizeEvent(QResizeEvent*) { Clear(); }
