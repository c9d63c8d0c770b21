#include "app/Pictures.h"

#include <QBitmap>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace pelvar::app {
namespace {

QPixmap Canvas(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

// A picture drawn by paint on a transparent square, in two sizes for icons.
template <typename Paint>
QIcon DrawnIcon(Paint paint) {
  QIcon icon;
  for (int size : {16, 32}) {
    QPixmap pixmap = Canvas(size);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    paint(painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace

QPixmap LampPixmap(const QColor& colour) {
  QPixmap pixmap(20, 20);
  pixmap.fill(kLampBackground);
  {
    QPainter painter(&pixmap);
    // No antialiasing: the edge pixels must not blend with the background,
    // which becomes transparent below.
    QRadialGradient glass(QPointF(7.5, 7.5), 9.0);
    glass.setColorAt(0.0, colour.lighter(170));
    glass.setColorAt(0.6, colour);
    glass.setColorAt(1.0, colour.darker(150));
    painter.setPen(QPen(colour.darker(200), 1));
    painter.setBrush(glass);
    painter.drawEllipse(QRect(2, 2, 15, 15));
  }
  pixmap.setMask(pixmap.createMaskFromColor(kLampBackground, Qt::MaskInColor));
  return pixmap;
}

QPixmap GrayLamp() {
  return LampPixmap(QColor(0x80, 0x80, 0x80));
}
QPixmap GreenLamp() {
  return LampPixmap(QColor(0x00, 0xB0, 0x00));
}
QPixmap RedLamp() {
  return LampPixmap(QColor(0xE0, 0x00, 0x00));
}

QIcon ProgramIcon() {
  return DrawnIcon([](QPainter& painter) {
    // A blue database drum with a white upward arrow: data going up.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1E, 0x5A, 0xB4));
    painter.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
    painter.setBrush(Qt::white);
    QPainterPath arrow;
    arrow.moveTo(8, 2.5);
    arrow.lineTo(13, 8);
    arrow.lineTo(10, 8);
    arrow.lineTo(10, 13.5);
    arrow.lineTo(6, 13.5);
    arrow.lineTo(6, 8);
    arrow.lineTo(3, 8);
    arrow.closeSubpath();
    painter.drawPath(arrow);
  });
}

QPixmap DecorationPixmap() {
  QPixmap pixmap = Canvas(32);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0x00, 0x80, 0x00), 2));
  painter.setBrush(QColor(0xE8, 0xF8, 0xE8));
  painter.drawEllipse(QRectF(2, 2, 28, 28));
  painter.setPen(QPen(QColor(0x00, 0x90, 0x00), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPolyline(QPolygonF({QPointF(9, 16.5), QPointF(14, 21.5), QPointF(23, 11)}));
  return pixmap;
}

QIcon SettingsButtonIcon() {
  return DrawnIcon([](QPainter& painter) {
    painter.setPen(QPen(QColor(0x50, 0x50, 0x50), 2.2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
      painter.save();
      painter.translate(8, 8);
      painter.rotate(45.0 * i);
      painter.drawLine(QPointF(0, -6.5), QPointF(0, 6.5));
      painter.restore();
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x70, 0x70, 0x70));
    painter.drawEllipse(QPointF(8, 8), 4.5, 4.5);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(8, 8), 1.8, 1.8);
  });
}

QIcon RunButtonIcon() {
  return DrawnIcon([](QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x00, 0x90, 0x00));
    painter.drawPolygon(QPolygonF({QPointF(4, 2), QPointF(14, 8), QPointF(4, 14)}));
  });
}

QIcon StopButtonIcon() {
  // QIcon draws the greyed form of a disabled button by itself.
  return DrawnIcon([](QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xC8, 0x10, 0x10));
    painter.drawRect(QRectF(3, 3, 10, 10));
  });
}

QIcon ExitButtonIcon() {
  return DrawnIcon([](QPainter& painter) {
    painter.setPen(QPen(QColor(0x60, 0x40, 0x20), 1.2));
    painter.setBrush(QColor(0xC0, 0x90, 0x50));
    painter.drawRect(QRectF(2.5, 1.5, 7, 13));
    painter.setPen(QPen(QColor(0xB0, 0x00, 0x00), 2, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(8, 8), QPointF(14.5, 8));
    painter.drawLine(QPointF(12, 5.5), QPointF(14.5, 8));
    painter.drawLine(QPointF(12, 10.5), QPointF(14.5, 8));
  });
}

}  // namespace pelvar::app
