#include "browser/ButtonPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <functional>

namespace ButtonPictures {

namespace {

// Draws on a 20 by 20 canvas, at 1x and 2x.
QIcon drawn(const std::function<void(QPainter&)>& draw, int size = 20) {
  QIcon icon;
  for (int scale : {1, 2, 3}) {
    QPixmap pixmap(size * scale, size * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 20.0, size / 20.0);
    draw(painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

const QColor Ink(40, 40, 48);

// A small landscape picture: frame, sky, hill and sun.
void drawPicture(QPainter& p, const QRectF& frame) {
  p.setPen(QPen(Ink, 1.2));
  p.setBrush(QColor(170, 210, 245));
  p.drawRect(frame);
  QPainterPath hill;
  hill.moveTo(frame.left(), frame.bottom());
  hill.lineTo(frame.left() + frame.width() * 0.4, frame.top() + frame.height() * 0.45);
  hill.lineTo(frame.left() + frame.width() * 0.65, frame.top() + frame.height() * 0.7);
  hill.lineTo(frame.left() + frame.width() * 0.8, frame.top() + frame.height() * 0.55);
  hill.lineTo(frame.right(), frame.bottom());
  hill.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(70, 150, 70));
  p.drawPath(hill);
  p.setBrush(QColor(250, 200, 40));
  p.drawEllipse(QPointF(frame.left() + frame.width() * 0.75, frame.top() + frame.height() * 0.3),
                frame.width() * 0.1, frame.width() * 0.1);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Ink, 1.2));
  p.drawRect(frame);
}

}  // namespace

QIcon open() {
  // A program window with an arrow going into it.
  return drawn([](QPainter& p) {
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(5.5, 3.5, 12, 13));
    p.setBrush(QColor(60, 110, 200));
    p.drawRect(QRectF(5.5, 3.5, 12, 3));
    p.setPen(QPen(QColor(30, 130, 50), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(1.5, 13), QPointF(10, 13));
    p.drawPolyline(QPolygonF({QPointF(7, 10), QPointF(10.5, 13), QPointF(7, 16)}));
  });
}

QIcon fullSize() {
  // A picture with arrows pointing out of its corners.
  return drawn([](QPainter& p) {
    drawPicture(p, QRectF(5.5, 5.5, 9, 9));
    p.setPen(QPen(Ink, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(1.5, 5), QPointF(1.5, 1.5), QPointF(5, 1.5)}));
    p.drawPolyline(QPolygonF({QPointF(15, 1.5), QPointF(18.5, 1.5), QPointF(18.5, 5)}));
    p.drawPolyline(QPolygonF({QPointF(1.5, 15), QPointF(1.5, 18.5), QPointF(5, 18.5)}));
    p.drawPolyline(QPolygonF({QPointF(15, 18.5), QPointF(18.5, 18.5), QPointF(18.5, 15)}));
  });
}

QIcon rename() {
  // A text field with a pencil over it.
  return drawn([](QPainter& p) {
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 7.5, 17, 7));
    p.setPen(QPen(Ink, 1.0));
    p.drawLine(QPointF(4, 10), QPointF(4, 12));
    p.drawLine(QPointF(5.5, 10), QPointF(9, 10));
    p.drawLine(QPointF(5.5, 12), QPointF(8, 12));
    p.save();
    p.translate(13.5, 9.5);
    p.rotate(45);
    p.setPen(QPen(Ink, 1.0));
    p.setBrush(QColor(245, 190, 60));
    p.drawRect(QRectF(-1.6, -9, 3.2, 10));
    p.setBrush(QColor(230, 120, 120));
    p.drawRect(QRectF(-1.6, -11, 3.2, 2));
    p.setBrush(QColor(240, 220, 180));
    p.drawPolygon(QPolygonF({QPointF(-1.6, 1), QPointF(1.6, 1), QPointF(0, 4)}));
    p.restore();
  });
}

QIcon remove() {
  // A waste bin.
  return drawn([](QPainter& p) {
    p.setPen(QPen(Ink, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(220, 220, 226));
    p.drawPolygon(QPolygonF({QPointF(4.5, 5.5), QPointF(15.5, 5.5), QPointF(14.3, 18.5), QPointF(5.7, 18.5)}));
    p.drawLine(QPointF(3, 4), QPointF(17, 4));
    p.drawLine(QPointF(8, 4), QPointF(8.5, 2));
    p.drawLine(QPointF(8.5, 2), QPointF(11.5, 2));
    p.drawLine(QPointF(11.5, 2), QPointF(12, 4));
    p.setPen(QPen(QColor(190, 40, 40), 1.2));
    for (double x : {8.0, 10.0, 12.0}) p.drawLine(QPointF(x, 8), QPointF(x, 16));
  });
}

QIcon windowIcon() {
  return drawn([](QPainter& p) { drawPicture(p, QRectF(1.5, 3.5, 17, 13)); }, 32);
}

}  // namespace ButtonPictures
