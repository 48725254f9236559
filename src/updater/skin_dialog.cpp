#include "updater/skin_dialog.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

QString CommonImage(const char* name) { return QString("Image/common/") + QString::fromUtf8(name); }

CSkinDialog::CSkinDialog(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  setFont(QFont("MS Shell Dlg", 8));
  m_logo.load(CommonImage("logo2.png"));
}

void CSkinDialog::SetBackground(const QString& image, bool stretch) {
  m_background.load(image);
  m_stretch = stretch;
}

void CSkinDialog::paintEvent(QPaintEvent*) {
  QPixmap canvas(size());
  canvas.fill(Qt::white);
  {
    QPainter p(&canvas);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!m_background.isNull()) {
      if (m_stretch)
        p.drawPixmap(rect(), m_background);
      else
        p.drawPixmap(QRect(QPoint(0, 0), size()), m_background, QRect(QPoint(0, 0), size()));
    }
    if (!m_logo.isNull())
      p.drawPixmap(QRect(10, 5, m_logo.width() * 2 / 3, m_logo.height() * 2 / 3), m_logo);
  }
  QPainter(this).drawPixmap(0, 0, canvas);
}

void CSkinDialog::resizeEvent(QResizeEvent* event) {
  QPainterPath path;
  path.addRoundedRect(QRectF(0, 0, width() + 1, height() + 1), 2.5, 2.5);
  setMask(QRegion(path.toFillPolygon().toPolygon()));
  QDialog::resizeEvent(event);
}

void CSkinDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    m_dragging = true;
    m_dragFrom = event->globalPosition().toPoint() - frameGeometry().topLeft();
  }
  QDialog::mousePressEvent(event);
}

void CSkinDialog::mouseMoveEvent(QMouseEvent* event) {
  if (m_dragging && (event->buttons() & Qt::LeftButton))
    move(event->globalPosition().toPoint() - m_dragFrom);
  else
    m_dragging = false;
  QDialog::mouseMoveEvent(event);
}
