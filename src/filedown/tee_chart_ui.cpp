#include "filedown/tee_chart_ui.h"

#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include "ui/skin.h"

namespace {

const QColor kGrid = QColor::fromRgba(0xFF228B22);
const QColor kLine = QColor::fromRgba(0xFFFF0000);

}  // namespace

CTeeChartUI::CTeeChartUI(QWidget* parent) : QWidget(parent) {
  m_animation = new QTimer(this);
  m_animation->setInterval(kAnimationMs);
  connect(m_animation, &QTimer::timeout, this, [this] { update(); });
  SetPicture(kPicture);
}

float CTeeChartUI::HeightInBands(float r) {
  // Up to 256 KB/s the scale is linear over two bands; each doubling above it takes one band,
  // from the third up.
  if (r <= 256.0f) return r / 128.0f;
  if (r <= 512.0f) return r / 256.0f + 2.0f;
  if (r <= 1024.0f) return r / 512.0f + 3.0f;
  if (r <= 2048.0f) return r / 1024.0f + 4.0f;
  if (r <= 4096.0f) return r / 2048.0f + 5.0f;
  if (r <= 8192.0f) return r / 4096.0f + 6.0f;
  if (r <= 16384.0f) return r / 8192.0f + 7.0f;
  return -1.0f;
}

void CTeeChartUI::AddSample(uint64_t bytes) {
  const float h = static_cast<float>(height());
  const float w = static_cast<float>(width());
  const float band = h / static_cast<float>(m_horizontalBands);
  const float rate = static_cast<float>(bytes) / 1024.0f;
  const float bands = HeightInBands(rate);
  const float y = bands < 0.0f ? 0.0f : h - band * bands;
  const float shift = w / static_cast<float>(m_verticalBands);
  for (QPointF& p : m_points) p.setX(static_cast<float>(p.x()) - shift);
  m_points.append(QPointF(w - 1.0f, y));
  update();
}

void CTeeChartUI::Clear() {
  m_points.clear();
  update();
}

void CTeeChartUI::SetAnimating(bool on) {
  m_animating = on;
  if (on) {
    if (!m_animation->isActive()) m_animation->start();
  } else {
    m_animation->stop();
  }
}

void CTeeChartUI::SetPicture(const QString& skinName) {
  QPixmap picture;
  const QByteArray data = ui::ReadSkinFile(skinName);
  if (!data.isEmpty()) picture.loadFromData(data, "PNG");
  m_picture = picture;
  update();
}

QImage CTeeChartUI::Render() const {
  const int w = width(), h = height();
  QImage image(qMax(w, 1), qMax(h, 1), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::white);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBackgroundMode(Qt::TransparentMode);
  if (!m_picture.isNull()) p.drawPixmap(0, 0, m_picture);

  const double rowStep = static_cast<double>(h) / m_horizontalBands;
  const double colStep = static_cast<double>(w) / m_verticalBands;
  for (int j = 0; j <= m_horizontalBands; ++j) {
    const bool outer = j == 0 || j == m_horizontalBands;
    p.setPen(QPen(kGrid, outer ? 2 : 1));
    const double y = j * rowStep;
    p.drawLine(QPointF(0, y), QPointF(w - 1, y));
  }
  for (int i = 0; i <= m_verticalBands; ++i) {
    const bool outer = i == 0 || i == m_verticalBands;
    p.setPen(QPen(kGrid, outer ? 2 : 1));
    const double x = i * colStep;
    p.drawLine(QPointF(x, 0), QPointF(x, h - 1));
  }

  if (!m_points.isEmpty()) {
    QPainterPath path(m_points.first());
    for (int k = 1; k < m_points.size(); ++k) path.lineTo(m_points[k]);
    p.setPen(QPen(kLine, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(kLine);
    for (const QPointF& pt : m_points) p.drawEllipse(pt, 3.0, 3.0);
  }
  return image;
}

void CTeeChartUI::paintEvent(QPaintEvent*) {
  // Drawn whole off screen first, then copied, so the animation never shows a half frame.
  QPainter p(this);
  p.drawImage(0, 0, Render());
}
