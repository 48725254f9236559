#include "updater/skin_btn.h"

#include <QPainter>

CSkinBtn::CSkinBtn(QWidget* parent) : QAbstractButton(parent) {
  setFont(QFont("Arial", 9));
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::NoFocus);
}

void CSkinBtn::SetImages(const QString& normal, const QString& hover, const QString& pressed,
                         const QString& disabled) {
  const QString names[4] = {normal, hover, pressed, disabled};
  for (int i = 0; i < 4; ++i) m_images[i].load(names[i]);
  update();
}

int CSkinBtn::State() const {
  if (!isEnabled()) return 3;
  if (isDown()) return 2;
  return m_hover ? 1 : 0;
}

void CSkinBtn::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  const QPixmap& image = m_images[State()].isNull() ? m_images[0] : m_images[State()];
  if (!image.isNull()) p.drawPixmap(rect(), image);
  if (!text().isEmpty()) {
    p.setPen(isEnabled() ? Qt::black : Qt::gray);
    p.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, text());
  }
}

void CSkinBtn::enterEvent(QEnterEvent* event) {
  m_hover = true;
  update();
  QAbstractButton::enterEvent(event);
}

void CSkinBtn::leaveEvent(QEvent* event) {
  m_hover = false;
  update();
  QAbstractButton::leaveEvent(event);
}
