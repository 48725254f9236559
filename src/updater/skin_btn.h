#pragma once

#include <QAbstractButton>
#include <QPixmap>

// An image button: four state images (normal, hover, pressed, disabled) and an optional text
// centred on one line in "Arial" 9 pt.
class CSkinBtn : public QAbstractButton {
  Q_OBJECT
 public:
  explicit CSkinBtn(QWidget* parent = nullptr);

  void SetImages(const QString& normal, const QString& hover, const QString& pressed,
                 const QString& disabled);
  // Which image is drawn now: 0 normal, 1 hover, 2 pressed, 3 disabled.
  int State() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QPixmap m_images[4];
  bool m_hover = false;
};
