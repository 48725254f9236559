// Draws the gauge's images into the skin folder at build time: the dial
// ("NetWork1\ClockBackchain.png"), its alternate face ("NetWork\ClockBackchain1.png") and the
// needle ("NetWork1\Clocksec.png"). The dial's marks sit at the angles the gauge turns the
// needle to for 0, 1, 2, 4, 8, 20, 50 and 100 Mbit/s; its arc is centred on the needle's
// pivot, 98 pixels below the image's centre.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <cstdio>

namespace {

constexpr int kDialWidth = 420;
constexpr int kDialHeight = 300;
constexpr int kNeedleWidth = 14;
constexpr int kNeedleHeight = 186;  // tip 70 above the centre, 168 from the pivot
constexpr double kMarkAngle[] = {-90, -45, -22.5, 0, 22.5, 45, 67.5, 90};
const char* const kMarkText[] = {"0", "1", "2", "4", "8", "20", "50", "100"};

bool Save(const QImage& image, const QString& folder, const QString& name) {
  const QString path = folder + "/" + name;
  QDir().mkpath(QFileInfo(path).path());
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

// A point at `radius` from the pivot along a needle angle (0 = straight up).
QPointF Along(QPointF pivot, double angle, double radius) {
  const double a = qDegreesToRadians(angle);
  return {pivot.x() + radius * qSin(a), pivot.y() - radius * qCos(a)};
}

QImage Dial(const QColor& face, const QColor& edge, const QColor& arc) {
  QImage image(kDialWidth, kDialHeight, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const QPointF pivot(kDialWidth / 2.0, kDialHeight / 2.0 + 98);
  const double outer = 205;

  // The face: an upper disc cut flat a little below the pivot.
  QPainterPath face_path;
  face_path.addEllipse(pivot, outer, outer);
  QPainterPath cut;
  cut.addRect(0, 0, kDialWidth, pivot.y() + 36);
  p.setPen(QPen(edge, 3));
  QRadialGradient g(pivot, outer);
  g.setColorAt(0, face.lighter(135));
  g.setColorAt(1, face);
  p.setBrush(g);
  p.drawPath(face_path.intersected(cut));

  // The scale's arc, coloured from slow to fast, and its ticks.
  const double r = 178;
  QRectF box(pivot.x() - r, pivot.y() - r, 2 * r, 2 * r);
  // Conical gradients turn counter-clockwise from the right: fast (green) on the right, slow
  // (red) on the left.
  QConicalGradient cg(pivot, 0);
  cg.setColorAt(0.0, QColor(0x3f, 0xd0, 0x7a));
  cg.setColorAt(0.25, QColor(0xf2, 0x9d, 0x1a));
  cg.setColorAt(0.5, QColor(0xe5, 0x48, 0x4d));
  cg.setColorAt(1.0, QColor(0x3f, 0xd0, 0x7a));
  p.setPen(QPen(QBrush(cg), 10, Qt::SolidLine, Qt::FlatCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(box, 0, 180 * 16);
  p.setPen(QPen(arc, 1.5));
  for (int i = 0; i <= 56; ++i) {
    const double a = -90 + i * (180.0 / 56);
    p.drawLine(Along(pivot, a, r - 8), Along(pivot, a, r - 14));
  }
  QFont font("DejaVu Sans");
  font.setBold(true);
  font.setPixelSize(17);
  p.setFont(font);
  for (size_t i = 0; i < std::size(kMarkAngle); ++i) {
    p.setPen(QPen(Qt::white, 3));
    p.drawLine(Along(pivot, kMarkAngle[i], r - 6), Along(pivot, kMarkAngle[i], r - 22));
    const QPointF at = Along(pivot, kMarkAngle[i], r - 40);
    p.setPen(Qt::white);
    p.drawText(QRectF(at.x() - 24, at.y() - 12, 48, 24), Qt::AlignCenter, kMarkText[i]);
  }
  // The hub the needle turns on.
  p.setPen(Qt::NoPen);
  p.setBrush(edge);
  p.drawEllipse(pivot, 14, 14);
  return image;
}

QImage Needle() {
  QImage image(kNeedleWidth, kNeedleHeight, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // The pivot lies 168 pixels below the tip; the tail reaches a little past it.
  QPainterPath path;
  path.moveTo(kNeedleWidth / 2.0, 0);
  path.lineTo(kNeedleWidth - 1, 168);
  path.lineTo(kNeedleWidth / 2.0, kNeedleHeight);
  path.lineTo(1, 168);
  path.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xff, 0x6a, 0x3d));
  p.drawPath(path);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(kNeedleWidth / 2.0, 168), 4, 4);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <skin folder>\n", argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  bool ok = Save(Dial(QColor(0x12, 0x2a, 0x4a), QColor(0x0b, 0x1c, 0x33), Qt::white), folder,
                 "NetWork1/ClockBackchain.png");
  ok = Save(Dial(QColor(0x3a, 0x1f, 0x5c), QColor(0x22, 0x10, 0x38), Qt::white), folder,
            "NetWork/ClockBackchain1.png") &&
       ok;
  ok = Save(Needle(), folder, "NetWork1/Clocksec.png") && ok;
  return ok ? 0 : 1;
}
