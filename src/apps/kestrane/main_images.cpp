// Draws the main window's images into the skin folder at build time: the two backgrounds (the
// usual look and the alternate one), and the title bar's skin, minimise and close glyphs.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <functional>

#include "ui/tools/program_icon.h"

namespace {

constexpr int kWidth = 900;
constexpr int kHeight = 620;
constexpr int kHeaderHeight = 112;

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

void Paint(QImage& image, const QColor& from, const QColor& to, const QColor& accent);

// The header band in two colours with a faint gauge on the right; the page area stays light.
QImage Background(const QColor& from, const QColor& to, const QColor& accent) {
  QImage image = Canvas(kWidth, kHeight);
  Paint(image, from, to, accent);
  return image;
}

void Paint(QImage& image, const QColor& from, const QColor& to, const QColor& accent) {
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(image.rect(), QColor(0xf4, 0xf7, 0xfb));
  QLinearGradient band(0, 0, kWidth, kHeaderHeight);
  band.setColorAt(0, from);
  band.setColorAt(1, to);
  p.fillRect(QRect(0, 0, kWidth, kHeaderHeight), band);
  // Soft waves across the band.
  for (int i = 0; i < 3; ++i) {
    QPainterPath wave;
    int base = 70 + i * 14;
    wave.moveTo(0, base);
    wave.cubicTo(kWidth * 0.3, base - 30, kWidth * 0.6, base + 30, kWidth, base - 10);
    wave.lineTo(kWidth, kHeaderHeight);
    wave.lineTo(0, kHeaderHeight);
    wave.closeSubpath();
    QColor c = accent;
    c.setAlpha(28 + i * 10);
    p.fillPath(wave, c);
  }
  p.setOpacity(0.18);
  skinart::DrawGauge(p, QRectF(560, -30, 170, 170), Qt::white, 35);
  p.setOpacity(1);
  p.setPen(QColor(0xd8, 0xe1, 0xec));
  p.setBrush(Qt::NoBrush);  // the gauge leaves its own fill set
  p.drawRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1));
}

QImage Glyph(int w, int h, const std::function<void(QPainter&)>& draw) {
  QImage image = Canvas(w, h);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
  draw(p);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SKIN_FOLDER\n", argv[0]);
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  bool ok = true;
  ok &= Save(Background(skinart::kBlueDeep, skinart::kBlue, skinart::kTeal), out,
             "main/background.png");
  ok &=
      Save(Background(QColor(0x1b, 0x3a, 0x4b), QColor(0x0f, 0x7c, 0x7a), QColor(0xf2, 0x9d, 0x1a)),
           out, "main/background1.png");
  ok &= Save(Glyph(40, 32, [](QPainter& p) { p.drawLine(QPointF(14, 16), QPointF(26, 16)); }), out,
             "main/min.png");
  ok &= Save(Glyph(40, 32,
                   [](QPainter& p) {
                     p.drawLine(QPointF(15, 11), QPointF(25, 21));
                     p.drawLine(QPointF(25, 11), QPointF(15, 21));
                   }),
             out, "main/close.png");
  ok &= Save(Glyph(32, 32,
                   [](QPainter& p) {
                     // A shirt: the alternate look.
                     QPainterPath shirt;
                     shirt.moveTo(11, 8);
                     shirt.lineTo(6, 12);
                     shirt.lineTo(9, 16);
                     shirt.lineTo(11, 15);
                     shirt.lineTo(11, 25);
                     shirt.lineTo(21, 25);
                     shirt.lineTo(21, 15);
                     shirt.lineTo(23, 16);
                     shirt.lineTo(26, 12);
                     shirt.lineTo(21, 8);
                     shirt.quadTo(16, 12, 11, 8);
                     p.drawPath(shirt);
                   }),
             out, "main/skin.png");
  return ok ? 0 : 1;
}
