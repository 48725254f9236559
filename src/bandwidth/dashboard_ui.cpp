#include "bandwidth/dashboard_ui.h"

#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "ui/skin.h"

namespace gauge {

namespace {
// The scale: rate (kbit/s) and needle angle at each mark.
constexpr double kScaleRate[] = {0, 1024, 2048, 4096, 8192, 20480, 51200, 102400};
constexpr double kScaleAngle[] = {-90, -45, -22.5, 0, 22.5, 45, 67.5, 90};
}  // namespace

bool AngleOfRate(double kbit, double* angle) {
  if (!std::isfinite(kbit) || kbit < 0) return false;
  if (kbit >= kFullScaleKbit) {
    *angle = 90;
    return true;
  }
  for (size_t i = 1; i < std::size(kScaleRate); ++i) {
    if (kbit <= kScaleRate[i]) {
      const double f = (kbit - kScaleRate[i - 1]) / (kScaleRate[i] - kScaleRate[i - 1]);
      *angle = kScaleAngle[i - 1] + f * (kScaleAngle[i] - kScaleAngle[i - 1]);
      return true;
    }
  }
  *angle = 90;
  return true;
}

QString ValueText(double mbit) {
  if (mbit == 0) return QStringLiteral("0Mb/秒");
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", mbit);
  return QString::fromLatin1(buf) + QStringLiteral("Mb/秒");
}

double NextAngle(double current, double target) {
  if (current == target) return current;
  const double distance = std::fabs(target - current);
  const double cut = std::trunc(distance);
  const bool toRest = target == kRestAngle;
  double step = 0.8;
  if (distance > 30 || (toRest && target < current)) step = 2;
  if (toRest && cut <= 1) return kRestAngle;
  if (target > current) {
    if (cut <= 1.5) return target;
    return std::min(current + step, target);
  }
  if (cut <= 2) return target;
  return std::max(current - step, target);
}

QPointF Pivot(QSize dial) { return {dial.width() / 2.0, dial.height() / 2.0 + 98}; }

QRectF NeedleRect(QSize dial, QSize needle) {
  return {dial.width() / 2.0 - needle.width() / 2.0, dial.height() / 2.0 - 70,
          double(needle.width()), double(needle.height())};
}

QPointF TextOrigin(QSize dial) { return {dial.width() / 2.0 - 40, dial.height() / 2.0}; }

}  // namespace gauge

namespace {
std::atomic<int> g_frameInterval{0};
constexpr int kDefaultFrameInterval = 10;
}  // namespace

int CDashboardUI::FrameInterval() {
  const int ms = g_frameInterval.load();
  return ms > 0 ? ms : kDefaultFrameInterval;
}

void CDashboardUI::SetFrameIntervalForTest(int ms) { g_frameInterval.store(ms); }

CDashboardUI::CDashboardUI(QWidget* parent) : QLabel(parent) {
  m_timer = new QTimer(this);
  connect(m_timer, &QTimer::timeout, this, &CDashboardUI::Frame);
  m_needle.load(ui::SkinFilePath(kNeedleImage));
  LoadDial();
}

void CDashboardUI::LoadDial() {
  m_dial = QPixmap();
  const QString path = ui::SkinFilePath(m_alternate ? kAlternateDialImage : kDialImage);
  if (!path.isEmpty()) m_dial.load(path);
  update();
}

void CDashboardUI::SetAlternateFace(bool alternate) {
  if (alternate == m_alternate) return;
  m_alternate = alternate;
  LoadDial();
}

void CDashboardUI::NeedleTargetAngle(double kbit) {
  if (std::isfinite(kbit)) m_value = kbit / 1024;
  double angle;
  if (gauge::AngleOfRate(kbit, &angle)) m_target = angle;
  if (Moving() && !m_timer->isActive()) m_timer->start(FrameInterval());
  update();
}

void CDashboardUI::StartAnimation() {
  m_animating = true;
  if (!m_timer->isActive()) m_timer->start(FrameInterval());
}

void CDashboardUI::StopAnimation() { m_animating = false; }

bool CDashboardUI::Animating() const { return m_animating; }

void CDashboardUI::Rest() {
  m_animating = false;
  m_timer->stop();
  m_current = m_target = gauge::kRestAngle;
  m_value = 0;
  update();
}

void CDashboardUI::Frame() {
  // The needle finishes its way to the target even after the test's end has stopped the
  // animation, so it never freezes half way.
  m_current = gauge::NextAngle(m_current, m_target);
  if (!m_animating && !Moving()) m_timer->stop();
  update();
}

void CDashboardUI::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.fillRect(rect(), palette().color(backgroundRole()));
  const QSize dial = m_dial.isNull() ? size() : m_dial.size();
  if (!m_dial.isNull()) p.drawPixmap(0, 0, m_dial);

  QFont font(QStringLiteral("微软雅黑"));
  font.setPointSize(16);
  p.setFont(font);
  p.setPen(QColor(255, 255, 255));
  const QPointF origin = gauge::TextOrigin(dial);
  p.drawText(QRectF(origin, QSizeF(dial.width() - origin.x(), p.fontMetrics().height() + 4)),
             Qt::AlignLeft | Qt::AlignTop, ShownText());

  if (!m_needle.isNull()) {
    const QPointF pivot = gauge::Pivot(dial);
    p.translate(pivot);
    p.rotate(m_current);
    p.translate(-pivot);
    p.drawPixmap(gauge::NeedleRect(dial, m_needle.size()), m_needle, QRectF(m_needle.rect()));
    p.resetTransform();
  }
}
