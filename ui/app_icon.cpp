#include "ui/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace ui {

namespace {

// Drawn on a 128 x 128 grid: a photograph folded into a PDF document.
QPixmap Draw(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 128.0, size / 128.0);
  QPen outline(QColor(0x5a, 0x64, 0x70), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);

  p.save();
  p.translate(48, 60);
  p.rotate(-8);
  p.translate(-48, -60);
  p.setPen(outline);
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(10, 22, 76, 62), 4, 4);
  QLinearGradient sky(0, 29, 0, 75);
  sky.setColorAt(0, QColor(0x4a, 0x90, 0xd9));
  sky.setColorAt(1, QColor(0x9f, 0xd1, 0xf5));
  p.setPen(Qt::NoPen);
  p.setBrush(sky);
  p.drawRect(QRectF(17, 29, 62, 46));
  p.setBrush(QColor(0xff, 0xd5, 0x4a));
  p.drawEllipse(QPointF(64, 41), 6, 6);
  QPainterPath hills;
  hills.moveTo(17, 75);
  hills.lineTo(38, 50);
  hills.lineTo(52, 64);
  hills.lineTo(62, 55);
  hills.lineTo(79, 75);
  hills.closeSubpath();
  p.setBrush(QColor(0x3f, 0x8f, 0x4f));
  p.drawPath(hills);
  p.restore();

  QPainterPath page;
  page.moveTo(58, 40);
  page.lineTo(100, 40);
  page.lineTo(118, 58);
  page.lineTo(118, 116);
  page.lineTo(58, 116);
  page.closeSubpath();
  p.setPen(outline);
  p.setBrush(QColor(0xfa, 0xfa, 0xfa));
  p.drawPath(page);
  QPainterPath fold;
  fold.moveTo(100, 40);
  fold.lineTo(100, 58);
  fold.lineTo(118, 58);
  p.setBrush(QColor(0xe1, 0xe5, 0xea));
  p.drawPath(fold);
  p.setPen(QPen(QColor(0x9a, 0xa4, 0xae), 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(66, 66), QPointF(110, 66));
  p.drawLine(QPointF(66, 74), QPointF(110, 74));
  p.drawLine(QPointF(66, 82), QPointF(96, 82));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xd9, 0x47, 0x3b));
  p.drawRoundedRect(QRectF(66, 92, 44, 16), 3, 3);
  if (size >= 48) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(12);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(66, 92, 44, 16), Qt::AlignCenter, QStringLiteral("PDF"));
  }
  return pm;
}

} // namespace

QIcon AppIcon() {
  static const QIcon icon = [] {
    QIcon i;
    for (int s : {16, 24, 32, 48, 64, 128, 256})
      i.addPixmap(Draw(s));
    return i;
  }();
  return icon;
}

} // namespace ui
