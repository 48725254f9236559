#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointF>
#include <QVector>
#include <QWidget>
#include <cstdint>

class QTimer;

// The live rate chart of the file download screen: a grid over a background picture and a red
// line of the per-second download rate on a stepped scale (0, 128, 256 | 512, 1024 … 16384
// KB/s, one band per step above 256 KB/s).
class CTeeChartUI : public QWidget {
  Q_OBJECT

 public:
  explicit CTeeChartUI(QWidget* parent = nullptr);

  static constexpr int kVerticalBands = 11;
  static constexpr int kHorizontalBands = 9;
  static constexpr int kAnimationMs = 100;
  static constexpr const char* kPicture = "FileDown\\downloadChart.png";
  static constexpr const char* kAlternatePicture = "FileDown\\downloadChart1.png";

  // Bands above the bottom for a rate in KB/s; a negative value above the top of the scale.
  static float HeightInBands(float kbPerSecond);

  // Shifts the line left by one vertical band and appends the rate of `bytes` in one second.
  void AddSample(uint64_t bytes);
  // Empties the line and repaints.
  void Clear();
  const QVector<QPointF>& Points() const { return m_points; }

  // While animating the chart repaints itself every 100 ms.
  void SetAnimating(bool on);
  bool IsAnimating() const { return m_animating; }

  // The background picture, a skin file name; an absent file leaves a plain background.
  void SetPicture(const QString& skinName);
  bool HasPicture() const { return !m_picture.isNull(); }

  // The chart as it paints itself at its current size.
  QImage Render() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QVector<QPointF> m_points;  // control pixels, oldest first
  int m_verticalBands = kVerticalBands;
  int m_horizontalBands = kHorizontalBands;
  bool m_animating = false;
  QPixmap m_picture;
  QTimer* m_animation = nullptr;
};
