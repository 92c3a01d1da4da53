#include "utility/ui/zelcon_images.h"

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <mutex>

#include "platform/gui/icons.h"

namespace {

const QColor kWhite(255, 255, 255);

// The radio sign: a dot under `arcs` quarter arcs opening upwards, centred on `at`.
void DrawRadioWaves(QPainter& p, QPointF at, double step, int arcs, const QColor& colour, double penWidth) {
  p.setPen(QPen(colour, penWidth, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  for (int i = 1; i <= arcs; ++i) {
    const double r = step * i;
    p.drawArc(QRectF(at.x() - r, at.y() - r, 2 * r, 2 * r), 45 * 16, 90 * 16);
  }
  p.setPen(Qt::NoPen);
  p.setBrush(colour);
  p.drawEllipse(at, penWidth * 0.9, penWidth * 0.9);
}

// A round badge at the lower right holding one letter.
void DrawBadge(QPainter& p, const QColor& colour, const QString& letter) {
  const QRectF badge(15, 15, 16.5, 16.5);
  p.setPen(QPen(kWhite, 1.5));
  p.setBrush(colour);
  p.drawEllipse(badge);
  QFont font = p.font();
  font.setBold(true);
  font.setPixelSize(14);
  p.setFont(font);
  p.setPen(kWhite);
  p.drawText(badge.translated(0, -1), Qt::AlignCenter, letter);
}

// A link icon: the radio sign and the band's letter, in the band's colour.
void DrawLinkIcon(QPainter& p, const QColor& colour, const QString& letter) {
  DrawRadioWaves(p, QPointF(11, 25), 5.5, 3, colour, 3);
  DrawBadge(p, colour, letter);
}

void DrawNoLinkIcon(QPainter& p) {
  DrawRadioWaves(p, QPointF(11, 25), 5.5, 3, QColor(150, 150, 150), 3);
  p.setPen(QPen(kWhite, 5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(20, 20), QPointF(29, 29));
  p.drawLine(QPointF(29, 20), QPointF(20, 29));
  p.setPen(QPen(QColor(200, 30, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(20, 20), QPointF(29, 29));
  p.drawLine(QPointF(29, 20), QPointF(20, 29));
}

void DrawProfileInUse(QPainter& p) {
  p.setPen(QPen(QColor(20, 110, 40), 1));
  p.setBrush(QColor(46, 160, 67));
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
  p.setPen(QPen(kWhite, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath tick;
  tick.moveTo(4.5, 8.5);
  tick.lineTo(7, 11);
  tick.lineTo(11.5, 5.5);
  p.setBrush(Qt::NoBrush);
  p.drawPath(tick);
}

void DrawProfileNotInUse(QPainter& p) {
  p.setPen(QPen(QColor(120, 120, 120), 1));
  p.setBrush(QColor(225, 225, 225));
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

// The wizard's header: a profile card in front of a blue disc with the radio sign.
void DrawWizardHeader(QPainter& p) {
  QRadialGradient disc(QPointF(20, 18), 26);
  disc.setColorAt(0, QColor(88, 160, 230));
  disc.setColorAt(1, QColor(20, 70, 150));
  p.setPen(Qt::NoPen);
  p.setBrush(disc);
  p.drawEllipse(QRectF(2, 2, 40, 40));
  DrawRadioWaves(p, QPointF(22, 32), 7, 3, kWhite, 3.5);
  // The card: a white sheet with a coloured title strip and three lines of fields.
  const QRectF card(26, 24, 21, 23);
  p.setPen(QPen(QColor(60, 60, 60), 1));
  p.setBrush(kWhite);
  p.drawRoundedRect(card, 2, 2);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(46, 160, 67));
  p.drawRect(QRectF(card.left() + 1, card.top() + 1, card.width() - 2, 5));
  p.setPen(QPen(QColor(140, 140, 140), 1.5));
  for (int i = 0; i < 3; ++i) {
    const double y = card.top() + 10.5 + 4.5 * i;
    p.drawLine(QPointF(card.left() + 3.5, y), QPointF(card.right() - 3.5 - 3 * (i % 2), y));
  }
}

// The wizard's watermark: a night-blue to teal column with radio waves rising from a laptop
// at its foot and the utility's name at its head.
void DrawWizardWatermark(QPainter& p) {
  const QRectF all(0, 0, 164, 314);
  QLinearGradient ground(all.topLeft(), all.bottomLeft());
  ground.setColorAt(0, QColor(10, 38, 92));
  ground.setColorAt(1, QColor(24, 128, 156));
  p.fillRect(all, ground);
  const QPointF source(82, 236);
  for (int i = 1; i <= 6; ++i) {
    const double r = 26.0 * i;
    QColor wave = kWhite;
    wave.setAlphaF(0.55 - 0.07 * i);
    p.setPen(QPen(wave, 6, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(source.x() - r, source.y() - r, 2 * r, 2 * r), 40 * 16, 100 * 16);
  }
  // The laptop: a screen and a keyboard deck.
  p.setPen(QPen(QColor(200, 215, 230), 2));
  p.setBrush(QColor(30, 40, 60));
  p.drawRoundedRect(QRectF(52, 244, 60, 38), 3, 3);
  p.setBrush(QColor(70, 170, 220));
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(57, 249, 50, 28));
  QPainterPath deck;
  deck.moveTo(44, 284);
  deck.lineTo(120, 284);
  deck.lineTo(128, 294);
  deck.lineTo(36, 294);
  deck.closeSubpath();
  p.setBrush(QColor(200, 215, 230));
  p.drawPath(deck);
  QFont font = p.font();
  font.setBold(true);
  font.setPixelSize(26);
  p.setFont(font);
  p.setPen(kWhite);
  p.drawText(QRectF(0, 24, 164, 36), Qt::AlignCenter, QStringLiteral("Zelcon"));
  font.setBold(false);
  font.setPixelSize(12);
  p.setFont(font);
  p.drawText(QRectF(0, 58, 164, 20), Qt::AlignCenter, QStringLiteral("Wireless LAN"));
}

}  // namespace

void RegisterZelconImages() {
  static std::once_flag once;
  std::call_once(once, [] {
    zfw::registerDrawnImage(IDI_LINK_NONE, 32, 32, DrawNoLinkIcon);
    zfw::registerDrawnImage(IDI_LINK_B, 32, 32,
                            [](QPainter& p) { DrawLinkIcon(p, QColor(31, 95, 191), QStringLiteral("b")); });
    zfw::registerDrawnImage(IDI_LINK_G, 32, 32,
                            [](QPainter& p) { DrawLinkIcon(p, QColor(46, 139, 58), QStringLiteral("g")); });
    zfw::registerDrawnImage(IDI_LINK_A, 32, 32,
                            [](QPainter& p) { DrawLinkIcon(p, QColor(217, 120, 30), QStringLiteral("a")); });
    zfw::registerDrawnImage(IDI_PROFILE_IN_USE, 16, 16, DrawProfileInUse);
    zfw::registerDrawnImage(IDI_PROFILE_NOT_IN_USE, 16, 16, DrawProfileNotInUse);
    zfw::registerDrawnImage(IDB_WIZARD_HEADER, 49, 49, DrawWizardHeader);
    zfw::registerDrawnImage(IDB_WIZARD_WATERMARK, 164, 314, DrawWizardWatermark);
  });
}
