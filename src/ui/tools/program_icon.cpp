#include "ui/tools/program_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QtMath>

namespace skinart {

// A speed gauge: an open arc with ticks and a needle, in `color`, fitted in `box`.
void DrawGauge(QPainter& p, const QRectF& box, const QColor& color, qreal needleDeg) {
  qreal side = qMin(box.width(), box.height());
  QPointF c = box.center() + QPointF(0, side * 0.08);
  qreal r = side * 0.40;
  QPen arc(color, qMax(1.5, side * 0.085), Qt::SolidLine, Qt::RoundCap);
  p.setPen(arc);
  p.setBrush(Qt::NoBrush);
  QRectF ring(c.x() - r, c.y() - r, 2 * r, 2 * r);
  p.drawArc(ring, -30 * 16, 240 * 16);
  QPen tick(color, qMax(1.0, side * 0.04), Qt::SolidLine, Qt::RoundCap);
  p.setPen(tick);
  for (int i = 0; i <= 4; ++i) {
    qreal a = qDegreesToRadians(210.0 - i * 60.0);
    QPointF dir(qCos(a), -qSin(a));
    p.drawLine(c + dir * r * 0.62, c + dir * r * 0.76);
  }
  qreal a = qDegreesToRadians(needleDeg);
  QPointF dir(qCos(a), -qSin(a));
  p.setPen(QPen(color, qMax(1.5, side * 0.07), Qt::SolidLine, Qt::RoundCap));
  p.drawLine(c, c + dir * r * 0.78);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawEllipse(c, side * 0.075, side * 0.075);
}

QImage ProgramIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QRectF box(0.5, 0.5, size - 1, size - 1);
  QLinearGradient g(box.topLeft(), box.bottomRight());
  g.setColorAt(0, kTeal);
  g.setColorAt(1, kBlueDeep);
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawRoundedRect(box, size * 0.22, size * 0.22);
  DrawGauge(p, box.adjusted(size * 0.1, size * 0.1, -size * 0.1, -size * 0.1), Qt::white, 40);
  return image;
}

}  // namespace skinart
