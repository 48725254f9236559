// Draws the two faces of the download chart's background into the skin folder at build time:
// "FileDown/downloadChart.png" and the alternate "FileDown/downloadChart1.png". The chart draws
// its grid over them; the pictures carry the scale's labels on the band lines, bottom up.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <cstdio>

namespace {

// The chart's size in the page layout: 11 columns of 44 px, 9 rows of 32 px.
constexpr int kWidth = 484;
constexpr int kHeight = 288;
constexpr int kRows = 9;

// Band lines 0 … 9 from the bottom. The linear part ends at two bands (256 KB/s) and the
// doublings start at three, so 256 stands on both lines.
const char* const kLabels[kRows + 1] = {"0",    "128",  "256",  "256",  "512",
                                        "1024", "2048", "4096", "8192", "16384"};

struct Face {
  QColor top, bottom, text, unit;
};

QImage Draw(const Face& face) {
  QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient fill(0, 0, 0, kHeight);
  fill.setColorAt(0, face.top);
  fill.setColorAt(1, face.bottom);
  p.fillRect(image.rect(), fill);

  QFont font("DejaVu Sans");
  font.setPixelSize(10);
  p.setFont(font);
  p.setPen(face.text);
  const double step = static_cast<double>(kHeight) / kRows;
  for (int band = 0; band <= kRows; ++band) {
    const double y = kHeight - band * step;
    // Just above its line, except the top one, which has no room above it.
    const QRectF box = band == kRows ? QRectF(5, y + 2, 60, 13) : QRectF(5, y - 14, 60, 13);
    p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, kLabels[band]);
  }
  p.setPen(face.unit);
  p.drawText(QRectF(kWidth - 66, 3, 60, 13), Qt::AlignRight | Qt::AlignVCenter, "KB/s");
  return image;
}

bool Save(const QImage& image, const QString& folder, const QString& name) {
  const QString path = folder + "/" + name;
  QDir().mkpath(QFileInfo(path).path());
  if (!image.save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SKIN_FOLDER\n", argv[0]);
    return 2;
  }
  QGuiApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  bool ok = Save(Draw({QColor(0xf7, 0xfb, 0xff), QColor(0xe4, 0xee, 0xf9), QColor(0x4a, 0x58, 0x68),
                       QColor(0x6b, 0x77, 0x85)}),
                 folder, "FileDown/downloadChart.png");
  ok = Save(Draw({QColor(0x1d, 0x2a, 0x3a), QColor(0x0f, 0x17, 0x22), QColor(0xd7, 0xe3, 0xf0),
                  QColor(0xa9, 0xb6, 0xc6)}),
            folder, "FileDown/downloadChart1.png") &&
       ok;
  return ok ? 0 : 1;
}
