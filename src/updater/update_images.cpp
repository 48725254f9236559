// Draws the updater windows' images into <program folder>/Image/common at build time:
//   kestrane-update-images <program folder>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

#include "ui/tools/program_icon.h"

namespace {

const QColor kBorder(0x6f, 0x9f, 0xd8);
const QColor kBand(0xd6, 0xe7, 0xfa);
const QColor kPage(0xf6, 0xf9, 0xfd);

QImage Canvas(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// A window background: a light title band fading into the page, a thin border.
QImage Window(int w, int h, int band) {
  QImage image = Canvas(w, h);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(image.rect(), kPage);
  QLinearGradient g(0, 0, 0, band + 12);
  g.setColorAt(0, kBand);
  g.setColorAt(1, kPage);
  p.fillRect(QRect(0, 0, w, band + 12), g);
  p.setPen(QPen(kBorder, 1));
  p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
  return image;
}

QImage Glyph(int w, int h, bool hot, bool close) {
  QImage image = Canvas(w, h);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  if (hot) p.fillRect(image.rect(), close ? QColor(0xe8, 0x3b, 0x3b) : QColor(0xbf, 0xd6, 0xf2));
  QColor ink = hot && close ? Qt::white : QColor(0x33, 0x4d, 0x70);
  p.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
  const QPointF c(w / 2.0, h / 2.0);
  if (close) {
    p.drawLine(c + QPointF(-4.5, -4.5), c + QPointF(4.5, 4.5));
    p.drawLine(c + QPointF(-4.5, 4.5), c + QPointF(4.5, -4.5));
  } else {
    p.drawLine(c + QPointF(-5, 3), c + QPointF(5, 3));
  }
  return image;
}

QImage Button(int w, int h, bool hot) {
  QImage image = Canvas(w, h);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, h);
  g.setColorAt(0, hot ? QColor(0x5a, 0xa0, 0xf0) : QColor(0xfd, 0xfe, 0xff));
  g.setColorAt(1, hot ? QColor(0x1f, 0x6f, 0xd0) : QColor(0xdc, 0xe8, 0xf6));
  p.setBrush(g);
  p.setPen(QPen(hot ? QColor(0x1a, 0x5c, 0xb0) : kBorder, 1));
  p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 3, 3);
  QFont f("微软雅黑");
  f.setPixelSize(12);
  p.setFont(f);
  p.setPen(hot ? Qt::white : QColor(0x20, 0x30, 0x48));
  p.drawText(image.rect(), Qt::AlignCenter, QString::fromUtf8("取消"));
  return image;
}

QImage Logo() {
  QImage image = Canvas(30, 30);
  QPainter p(&image);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(QRect(0, 0, 30, 30), skinart::ProgramIcon(60));
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <program folder>\n", argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]) + "/Image/common";
  QDir().mkpath(folder);
  const struct {
    const char* name;
    QImage image;
  } images[] = {
      {"update_prog.png", Window(391, 151, 30)},
      {"score_msg.png", Window(300, 200, 30)},
      {"logo2.png", Logo()},
      {"min1(1).png", Glyph(29, 20, false, false)},
      {"min2(1).png", Glyph(29, 20, true, false)},
      {"close1(1).png", Glyph(38, 23, false, true)},
      {"close2(1).png", Glyph(38, 23, true, true)},
      {"cancel1.png", Button(70, 22, false)},
      {"cancel2.png", Button(70, 22, true)},
  };
  for (const auto& i : images) {
    const QString path = folder + "/" + QString::fromUtf8(i.name);
    if (!i.image.save(path, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
