#pragma once

#include <QLabel>
#include <QPixmap>
#include <QRectF>
#include <QSize>
#include <QString>

class QTimer;

// The speed gauge: a dial image, a needle image turned about a pivot below the dial's centre,
// and the live rate printed on the dial. Only paintEvent draws; the needle moves in frames
// driven by a timer on the window thread.
namespace gauge {

inline constexpr double kRestAngle = -90.0;
inline constexpr double kFullScaleKbit = 102400.0;

// The needle angle (degrees) of a rate in kbit/s; false for a rate outside the scale's use
// (negative, not finite). Above full scale the needle pins at 90.
bool AngleOfRate(double kbit, double* angle);

// The dial's value text: "0Mb/秒" for exactly 0, else "%.2fMb/秒" of the value in Mbit/s.
QString ValueText(double mbit);

// One frame of the needle's movement from `current` towards `target`; never passes the target.
double NextAngle(double current, double target);

// Geometry for a dial and needle of the given sizes.
QPointF Pivot(QSize dial);
QRectF NeedleRect(QSize dial, QSize needle);
QPointF TextOrigin(QSize dial);

}  // namespace gauge

class CDashboardUI : public QLabel {
  Q_OBJECT

 public:
  explicit CDashboardUI(QWidget* parent = nullptr);

  // A live rate (kbit/s): the printed value and the needle's target.
  void NeedleTargetAngle(double kbit);
  // Starts the needle's frames (no second timer while one runs) and stops them.
  void StartAnimation();
  void StopAnimation();
  bool Animating() const;
  // The alternate face ("NetWork\ClockBackchain1.png") or the standard one.
  void SetAlternateFace(bool alternate);
  // Sends the needle back to rest at once.
  void Rest();

  double CurrentAngle() const { return m_current; }
  double TargetAngle() const { return m_target; }
  double ShownValue() const { return m_value; }
  QString ShownText() const { return gauge::ValueText(m_value); }
  // Whether the needle still has frames to go.
  bool Moving() const { return m_current != m_target; }

  // The needle's frames (the original's 10-ms frames) and the repaint while a test runs.
  static int FrameInterval();
  static void SetFrameIntervalForTest(int ms);  // 0 restores

  static constexpr const char* kDialImage = "NetWork1\\ClockBackchain.png";
  static constexpr const char* kNeedleImage = "NetWork1\\Clocksec.png";
  static constexpr const char* kAlternateDialImage = "NetWork\\ClockBackchain1.png";

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Frame();
  void LoadDial();

  QPixmap m_dial;
  QPixmap m_needle;
  bool m_alternate = false;
  double m_current = gauge::kRestAngle;
  double m_target = gauge::kRestAngle;
  double m_value = 0;
  bool m_animating = false;
  QTimer* m_timer = nullptr;
};
