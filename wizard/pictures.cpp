#include "wizard/pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace verilo {

QPixmap EmblemPicture() {
  QPixmap pm(48, 48);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(Qt::white);
  p.drawRect(5, 9, 32, 32);
  p.setPen(QPen(Qt::black, 5, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  p.setBrush(Qt::NoBrush);
  QPainterPath tick;
  tick.moveTo(12, 24);
  tick.lineTo(20, 33);
  tick.lineTo(42, 6);
  p.drawPath(tick);
  return pm;
}

QPixmap CheckMarkPicture() {
  QPixmap pm(24, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  QPainterPath tick;
  tick.moveTo(5, 12);
  tick.lineTo(10, 17);
  tick.lineTo(19, 6);
  p.drawPath(tick);
  return pm;
}

}  // namespace verilo
