#include "platform/gui/tool_tip.h"

#include <QAbstractScrollArea>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScreen>
#include <QToolTip>
#include <QWidget>
#include <algorithm>

#include "platform/gui/list_view.h"
#include "platform/gui/qt_text.h"

namespace zfw {
namespace {

enum : int { kInitialTimer = 1, kPopTimer = 2 };

// Where a control's mouse messages arrive (a scrolled control's viewport) and where its
// client coordinates start.
QWidget* clientOf(QWidget* control) {
  auto* area = qobject_cast<QAbstractScrollArea*>(control);
  return area ? area->viewport() : control;
}

}  // namespace

// The tip's window: a rounded balloon with a stem at its top-left corner pointing up at the
// pointer, or a plain box below it.
class ToolTip::Balloon final : public QWidget {
 public:
  static constexpr int kPadding = 8;
  static constexpr int kRadius = 6;
  static constexpr int kStemHeight = 12;
  static constexpr int kStemAt = 16;  // the stem's tip, from the balloon's left edge
  static constexpr int kStemWidth = 12;

  // The pointer passes through the tip (its stem stands on it): the control under it keeps
  // the mouse, so the tip does not take it away and make itself go.
  Balloon(QWidget* parent, bool balloon)
      : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                            Qt::WindowDoesNotAcceptFocus),
        balloon_(balloon) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFont(QToolTip::font());
  }

  // Shows `text` pointing at `point` (global coordinates), kept on the screen.
  void showAt(const QString& text, QPoint point) {
    text_ = text;
    const QSize textSize = QFontMetrics(font()).size(Qt::TextSingleLine, text_);
    const QSize size(textSize.width() + 2 * kPadding, textSize.height() + 2 * kPadding + (balloon_ ? kStemHeight : 0));
    QPoint topLeft = balloon_ ? point - QPoint(kStemAt, 0) : point + QPoint(0, 20);
    if (QScreen* screen = QGuiApplication::screenAt(point)) {
      const QRect area = screen->availableGeometry();
      topLeft.setX(std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() - size.width())));
    }
    setGeometry(QRect(topLeft, size));
    update();
    show();
  }
  const QString& text() const { return text_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette colours = QToolTip::palette();
    const QRectF body = QRectF(rect()).adjusted(0.5, balloon_ ? kStemHeight + 0.5 : 0.5, -0.5, -0.5);
    QPainterPath outline;
    if (balloon_) {
      outline.addRoundedRect(body, kRadius, kRadius);
      QPainterPath stem;
      stem.moveTo(kStemAt, 0.5);
      stem.lineTo(kStemAt, body.top() + 1);
      stem.lineTo(kStemAt + kStemWidth, body.top() + 1);
      stem.closeSubpath();
      outline = outline.united(stem);
    } else {
      outline.addRect(body);
    }
    p.setPen(QPen(colours.color(QPalette::ToolTipText), 1));
    p.setBrush(colours.color(QPalette::ToolTipBase));
    p.drawPath(outline);
    p.drawText(body.adjusted(kPadding, kPadding, -kPadding, -kPadding), Qt::AlignLeft | Qt::AlignVCenter, text_);
  }

 private:
  bool balloon_;
  QString text_;
};

// Passes the mouse messages of one control to the tip, as its owner lets them through. It
// lives as long as the tip's window; the tip object may go first.
class ToolTip::Relay final : public QObject {
 public:
  Relay(ToolTip& tip, int controlId, QWidget* control, std::function<bool(const NotifyInfo&)> when)
      : QObject(tip.widget()), tip_(tip.ref()), controlId_(controlId), control_(control), when_(std::move(when)) {}

  bool eventFilter(QObject*, QEvent* event) override {
    auto* tip = static_cast<ToolTip*>(tip_.get());
    if (!tip) return false;
    switch (event->type()) {
      case QEvent::MouseMove:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick: {
        const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
        NotifyInfo info;
        info.x = at.x();
        info.y = at.y();
        if (ListView list(control_); list.valid()) info.row = list.rowAt(at.x(), at.y());
        if (!when_ || when_(info)) {
          tip->relayEvent(controlId_, event->type() == QEvent::MouseMove ? Message::Move : Message::Press, info.x,
                          info.y);
        }
        break;
      }
      case QEvent::Leave:
      case QEvent::Hide:
        // Not a relayed message: the tip's own check that the pointer is still on the control.
        tip->relayEvent(controlId_, Message::Leave, 0, 0);
        break;
      default:
        break;
    }
    return false;
  }

 private:
  WndRef tip_;
  int controlId_;
  QPointer<QWidget> control_;
  std::function<bool(const NotifyInfo&)> when_;
};

ToolTip::ToolTip() = default;

ToolTip::~ToolTip() = default;

bool ToolTip::create(Wnd& owner, unsigned style) {
  if (isCreated() || !owner.widget()) return false;
  owner_ = &owner;
  style_ = style;
  attachWidget(new Balloon(owner.widget()->window(), isBalloon()));
  return true;
}

bool ToolTip::addTool(int controlId, const Rect& rect, std::string_view text, int toolId) {
  if (!isCreated() || !owner_->item(controlId)) return false;
  tools_.push_back(Tool{controlId, rect, std::string(text), toolId});
  return true;
}

void ToolTip::setDelayTime(uint32_t ms) { delayMs_ = ms; }

void ToolTip::relayMouseMessages(int controlId, std::function<bool(const NotifyInfo&)> when) {
  QWidget* control = isCreated() ? owner_->item(controlId) : nullptr;
  if (!control) return;
  QWidget* client = clientOf(control);
  client->setMouseTracking(true);  // moves without a button pressed
  client->installEventFilter(new Relay(*this, controlId, control, std::move(when)));
}

int ToolTip::toolAt(int controlId, int x, int y) const {
  for (size_t i = 0; i < tools_.size(); ++i) {
    const Rect& r = tools_[i].rect;
    if (tools_[i].controlId == controlId && x >= r.left && x < r.right && y >= r.top && y < r.bottom) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void ToolTip::relayEvent(int controlId, Message message, int x, int y) {
  if (!isCreated()) return;
  const int tool = message == Message::Leave ? -1 : toolAt(controlId, x, y);
  if (tool < 0 || message == Message::Press) {
    killTimer(kInitialTimer);
    pending_ = -1;
    if (message == Message::Press && tool >= 0) spentTool_ = tool;
    if (tool < 0) spentTool_ = -1;
    hideTip();
    return;
  }
  lastX_ = x;
  lastY_ = y;
  if (tool == spentTool_ || tool == shown_) return;
  if (shown_ >= 0) {
    showTip(tool);  // from one tool's tip straight to the next
  } else {
    pending_ = tool;
    setTimer(kInitialTimer, delayMs_);  // every move starts the rest again
  }
}

void ToolTip::onTimer(int id) {
  if (id == kInitialTimer) {
    killTimer(kInitialTimer);
    if (pending_ >= 0) showTip(pending_);
    pending_ = -1;
  } else if (id == kPopTimer) {
    spentTool_ = shown_;
    hideTip();
  }
}

void ToolTip::showTip(int tool) {
  QWidget* control = owner_->item(tools_[tool].controlId);
  if (!control || !control->isVisible()) return;
  shown_ = tool;
  balloon()->showAt(toQString(tools_[tool].text), clientOf(control)->mapToGlobal(QPoint(lastX_, lastY_)));
  setTimer(kPopTimer, delayMs_ * 10);
}

void ToolTip::hideTip() {
  killTimer(kPopTimer);
  shown_ = -1;
  if (Balloon* b = balloon()) b->hide();
}

ToolTip::Balloon* ToolTip::balloon() const { return static_cast<Balloon*>(widget()); }

int ToolTip::shownTool() const { return shown_ >= 0 ? tools_[shown_].id : 0; }

std::string ToolTip::shownText() const { return shown_ >= 0 ? tools_[shown_].text : std::string(); }

}  // namespace zfw
