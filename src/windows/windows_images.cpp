// Draws the images of the small windows into the skin folder at build time: the eight frames
// of the waiting animation ("common\1.png" .. "common\8.png"), the notice and question
// badges, the audit verdict badges, the score star and the check box marks.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <cstdio>

namespace {

const QColor kBlue(0x17, 0x6f, 0xd6);
const QColor kGreen(0x1f, 0xa8, 0x5a);
const QColor kRed(0xd9, 0x3a, 0x3f);
const QColor kAmber(0xf2, 0x9d, 0x1a);
const QColor kGrey(0x8a, 0x97, 0xa8);

QImage Canvas(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

bool Save(const QImage& image, const QString& folder, const QString& name) {
  QString path = folder + "/" + name;
  QDir().mkpath(QFileInfo(path).path());
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

// Frame n (1..8): eight dots on a ring, the brightest at position n, a fading tail behind.
QImage WaitFrame(int n, int size) {
  QImage image = Canvas(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(size / 2.0, size / 2.0);
  const qreal ring = size * 0.36;
  for (int i = 0; i < 8; ++i) {
    int age = ((n - 1) - i + 8) % 8;
    QColor c = kBlue;
    c.setAlpha(qMax(40, 255 - age * 34));
    qreal r = size * (0.10 - age * 0.006);
    qreal a = qDegreesToRadians(i * 45.0 - 90.0);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawEllipse(QPointF(ring * qCos(a), ring * qSin(a)), r, r);
  }
  return image;
}

QImage Disc(int size, const QColor& color) {
  QImage image = Canvas(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
  return image;
}

QImage Glyph(int size, const QColor& color, const QString& text) {
  QImage image = Disc(size, color);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QFont f("DejaVu Sans");
  f.setBold(true);
  f.setPixelSize(size * 0.62);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, text);
  return image;
}

QImage Warning(int size) {
  QImage image = Canvas(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath tri;
  tri.moveTo(size / 2.0, size * 0.06);
  tri.lineTo(size * 0.96, size * 0.9);
  tri.lineTo(size * 0.04, size * 0.9);
  tri.closeSubpath();
  p.setPen(QPen(kAmber, size * 0.06, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(kAmber);
  p.drawPath(tri);
  p.setPen(QPen(Qt::white, size * 0.1, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(size / 2.0, size * 0.34), QPointF(size / 2.0, size * 0.6));
  p.drawPoint(QPointF(size / 2.0, size * 0.75));
  return image;
}

QImage Check(int size, const QColor& color) {
  QImage image = Disc(size, color);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, size * 0.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath mark;
  mark.moveTo(size * 0.28, size * 0.52);
  mark.lineTo(size * 0.44, size * 0.68);
  mark.lineTo(size * 0.72, size * 0.36);
  p.drawPath(mark);
  return image;
}

QImage Cross(int size, const QColor& color) {
  QImage image = Disc(size, color);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, size * 0.1, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(size * 0.34, size * 0.34), QPointF(size * 0.66, size * 0.66));
  p.drawLine(QPointF(size * 0.66, size * 0.34), QPointF(size * 0.34, size * 0.66));
  return image;
}

QImage Clock(int size, const QColor& color) {
  QImage image = Disc(size, color);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, size * 0.07, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QPointF(size / 2.0, size / 2.0), size * 0.3, size * 0.3);
  p.drawLine(QPointF(size / 2.0, size / 2.0), QPointF(size / 2.0, size * 0.3));
  p.drawLine(QPointF(size / 2.0, size / 2.0), QPointF(size * 0.64, size * 0.58));
  return image;
}

QImage Shield(int size, const QColor& color) {
  QImage image = Canvas(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath s;
  s.moveTo(size / 2.0, size * 0.05);
  s.lineTo(size * 0.88, size * 0.2);
  s.cubicTo(size * 0.88, size * 0.6, size * 0.7, size * 0.82, size / 2.0, size * 0.95);
  s.cubicTo(size * 0.3, size * 0.82, size * 0.12, size * 0.6, size * 0.12, size * 0.2);
  s.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPath(s);
  p.setPen(QPen(Qt::white, size * 0.08, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  QPainterPath mark;
  mark.moveTo(size * 0.33, size * 0.5);
  mark.lineTo(size * 0.46, size * 0.63);
  mark.lineTo(size * 0.68, size * 0.38);
  p.drawPath(mark);
  return image;
}

QImage Star(int size, const QColor& color) {
  QImage image = Canvas(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath star;
  for (int i = 0; i < 10; ++i) {
    qreal r = (i % 2 ? 0.2 : 0.47) * size;
    qreal a = qDegreesToRadians(-90.0 + i * 36.0);
    QPointF pt(size / 2.0 + r * qCos(a), size / 2.0 + 0.04 * size + r * qSin(a));
    if (i == 0)
      star.moveTo(pt);
    else
      star.lineTo(pt);
  }
  star.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawPath(star);
  return image;
}

QImage CheckBox(bool on) {
  QImage image = Canvas(16, 16);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(on ? kBlue : kGrey, 1));
  p.setBrush(on ? kBlue : QColor(Qt::white));
  p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 2.5, 2.5);
  if (on) {
    p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath mark;
    mark.moveTo(4.5, 8.2);
    mark.lineTo(7, 10.7);
    mark.lineTo(11.6, 5.3);
    p.drawPath(mark);
  }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <skin folder>\n", argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);
  const QString out = QString::fromLocal8Bit(argv[1]);
  bool ok = true;
  for (int n = 1; n <= 8; ++n) ok &= Save(WaitFrame(n, 40), out, QString("common/%1.png").arg(n));
  ok &= Save(Warning(40), out, "common/warning.png");
  ok &= Save(Glyph(40, kBlue, "?"), out, "common/question.png");
  ok &= Save(Glyph(40, kBlue, "i"), out, "common/info.png");
  ok &= Save(Check(48, kGreen), out, "Audit/pass.png");
  ok &= Save(Cross(48, kRed), out, "Audit/fail.png");
  ok &= Save(Clock(48, kAmber), out, "Audit/review.png");
  ok &= Save(Shield(48, kBlue), out, "Audit/shield.png");
  ok &= Save(Star(20, kAmber), out, "Score/star.png");
  ok &= Save(CheckBox(false), out, "common/check_off.png");
  ok &= Save(CheckBox(true), out, "common/check_on.png");
  return ok ? 0 : 1;
}
