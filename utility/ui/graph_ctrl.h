#pragma once
// The status page's strip chart: a bitmap that scrolls 3 pixels left each second, on a black
// ground with a green grid every 13 pixels, and a green line through the mean of the values
// added during that second. The bitmap is drawn off screen and copied when painted.
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <vector>

class CGraphCtrl : public QWidget {
public:
  static constexpr int kGridSpacing = 13;
  static constexpr int kStep = 3;
  static constexpr QRgb kBackground = 0xFF000000;
  static constexpr QRgb kGrid = 0xFF008242;  // RGB(0, 130, 66)
  static constexpr QRgb kLine = 0xFF00FF00;

  explicit CGraphCtrl(QWidget* parent = nullptr);

  // The values shown run from `low` (the bottom) to `high` (the top).
  void SetRange(uint64_t low, uint64_t high);
  // Queues a value for the next step; it is held within the range.
  void AddValue(uint64_t value);
  // The pen of the line drawn from now on: `width` pixels of `colour` (green, 1 at first).
  void SetLineColour(int width, QRgb colour);
  // One second: scroll, extend the grid, draw the line to the mean of the queued values.
  void Step();

  const QImage& Bitmap() const { return m_bitmap; }
  uint64_t RangeSize() const { return m_size; }
  size_t Queued() const { return m_queue.size(); }

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void Clear();

  QImage m_bitmap;
  std::vector<uint64_t> m_queue;
  uint64_t m_offset = 0;  // low - 1
  uint64_t m_size = 100;  // high - low + 1
  int m_gridPhase = kGridSpacing;
  int m_lastY = -1;  // -1: no point yet (below the bottom)
  int m_lineWidth = 1;
  QRgb m_lineColour = kLine;
};
