#pragma once

#include <QDialog>
#include <QPixmap>

// Borderless dialog with rounded corners (5 x 5), dragged at any point of its surface, painted
// from the program folder's "Image/common/" images through an off-screen bitmap.
class CSkinDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CSkinDialog(QWidget* parent = nullptr);

 protected:
  // The background image and how it is drawn: at its own size, or stretched.
  void SetBackground(const QString& image, bool stretch);
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QPixmap m_background;
  QPixmap m_logo;
  bool m_stretch = false;
  QPoint m_dragFrom;
  bool m_dragging = false;
};

// "Image/common/<name>" below the program folder (the current directory).
QString CommonImage(const char* name);
