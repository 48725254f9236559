// Draws the skin's images into a folder at build time: the program icon, the login window's
// banner, logo, edit icons, caption buttons and the twelve frames of the busy animation.
// Everything is painted here, so the skin holds no image from elsewhere.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>
#include <cstdio>

#include "ui/tools/program_icon.h"

namespace {

using namespace skinart;

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

QImage Banner(int w, int h) {
  QImage image = Canvas(w, h);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, w, h);
  g.setColorAt(0, kBlueDeep);
  g.setColorAt(0.55, kBlue);
  g.setColorAt(1, kTeal);
  p.fillRect(image.rect(), g);
  // Soft light in the upper right.
  QRadialGradient glow(QPointF(w * 0.85, h * 0.1), w * 0.5);
  glow.setColorAt(0, QColor(255, 255, 255, 70));
  glow.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillRect(image.rect(), glow);
  // Signal waves across the bottom.
  for (int i = 0; i < 4; ++i) {
    QPainterPath wave;
    qreal base = h * (0.62 + i * 0.09);
    qreal amp = h * (0.07 - i * 0.01);
    wave.moveTo(0, base);
    for (int x = 0; x <= w; x += 4)
      wave.lineTo(x, base + amp * qSin(x / (w / 2.3) * M_PI + i * 0.9));
    p.setPen(QPen(QColor(255, 255, 255, 48 - i * 8), 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
  }
  // A large faint gauge on the right.
  p.setOpacity(0.13);
  DrawGauge(p, QRectF(w - h * 1.05, h * 0.02, h * 1.1, h * 1.1), Qt::white, 55);
  return image;
}

QImage Logo(int size) {
  QImage image = Canvas(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(255, 255, 255, 230), 2));
  p.setBrush(QColor(255, 255, 255, 40));
  p.drawEllipse(QRectF(1, 1, size - 2, size - 2));
  DrawGauge(p, QRectF(size * 0.12, size * 0.1, size * 0.76, size * 0.76), Qt::white, 40);
  return image;
}

// Edit icons: 34x18, the glyph 16 px wide starting 11 px from the left, so a style sheet can
// place it at the edit's left edge behind the padding.
QImage UserIcon() {
  QImage image = Canvas(34, 18);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x8a, 0x97, 0xa8));
  p.drawEllipse(QRectF(15, 1.5, 8, 8));
  QPainterPath body;
  body.moveTo(11.5, 17);
  body.cubicTo(11.5, 11.5, 14.5, 10, 19, 10);
  body.cubicTo(23.5, 10, 26.5, 11.5, 26.5, 17);
  body.closeSubpath();
  p.drawPath(body);
  return image;
}

QImage LockIcon() {
  QImage image = Canvas(34, 18);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QColor c(0x8a, 0x97, 0xa8);
  p.setPen(QPen(c, 2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(15, 1.5, 8, 10), 0, 180 * 16);
  p.drawLine(QPointF(15, 6.5), QPointF(15, 8));
  p.drawLine(QPointF(23, 6.5), QPointF(23, 8));
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawRoundedRect(QRectF(12.5, 8, 13, 9.5), 2, 2);
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(17.8, 11, 2.4, 2.4));
  return image;
}

QImage CloseGlyph() {
  QImage image = Canvas(12, 12);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(1.5, 1.5), QPointF(10.5, 10.5));
  p.drawLine(QPointF(10.5, 1.5), QPointF(1.5, 10.5));
  return image;
}

QImage MinGlyph() {
  QImage image = Canvas(12, 12);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(1.5, 6.5), QPointF(10.5, 6.5));
  return image;
}

// Frame n (1..12) of the busy animation: twelve spokes, the brightest at position n.
QImage SpinnerFrame(int n, int size) {
  QImage image = Canvas(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(size / 2.0, size / 2.0);
  for (int i = 0; i < 12; ++i) {
    int age = ((n - 1) - i + 12) % 12;  // 0 = the head of the tail
    int alpha = qMax(45, 255 - age * 22);
    p.save();
    p.rotate(i * 30.0);
    p.setPen(QPen(QColor(255, 255, 255, alpha), size * 0.095, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0, -size * 0.22), QPointF(0, -size * 0.42));
    p.restore();
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
  for (int size : {16, 32, 64, 256})
    ok &= Save(ProgramIcon(size), out, QString("icon%1.png").arg(size));
  ok &= Save(Banner(420, 150), out, "Login/header.png");
  ok &= Save(Logo(52), out, "Login/logo.png");
  ok &= Save(UserIcon(), out, "Login/user.png");
  ok &= Save(LockIcon(), out, "Login/lock.png");
  ok &= Save(CloseGlyph(), out, "common/close.png");
  ok &= Save(MinGlyph(), out, "common/min.png");
  for (int n = 1; n <= 12; ++n)
    ok &= Save(SpinnerFrame(n, 22), out, QString("Login/%1.png").arg(n));
  return ok ? 0 : 1;
}
