#include "ui/window.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

namespace ui {

CWindowWnd::CWindowWnd(QWidget* parent) : CLayoutWidget(parent) { setWindowFlag(Qt::Window, true); }

CWindowWnd::~CWindowWnd() {
  if (m_loop) m_loop->exit(m_result);
}

bool CWindowWnd::Create(const QString& layout, const QString& windowName, bool frameless) {
  setObjectName(windowName);
  SetFrameless(frameless);
  if (!CreateFromLayout(layout)) return false;
  if (windowTitle().isEmpty()) setWindowTitle(windowName);
  return true;
}

int CWindowWnd::ShowModal() {
  m_closing = false;
  m_result = 0;
  setWindowModality(Qt::ApplicationModal);
  show();
  raise();
  activateWindow();
  QEventLoop loop;
  m_loop = &loop;
  QPointer<CWindowWnd> self(this);
  int result = loop.exec();
  if (self) {
    self->m_loop = nullptr;
    self->setWindowModality(Qt::NonModal);
  }
  return result;
}

void CWindowWnd::Close(int result) {
  m_result = result;
  m_closing = true;
  hide();
  if (m_loop) m_loop->exit(result);
  if (m_deleteOnClose) deleteLater();
}

void CWindowWnd::CenterWindow() {
  QRect area;
  if (QWidget* owner = parentWidget(); owner && owner->isVisible()) {
    area = owner->window()->frameGeometry();
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    area = screen->availableGeometry();
  }
  if (area.isEmpty()) return;
  QRect frame = frameGeometry();
  QPoint at = area.center() - QPoint(frame.width() / 2, frame.height() / 2);
  // An owner parked off screen (the main window waits there) must not take the window along.
  QScreen* screen = QGuiApplication::screenAt(area.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (screen) {
    QRect work = screen->availableGeometry();
    at.setX(qBound(work.left(), at.x(), qMax(work.left(), work.right() - frame.width() + 1)));
    at.setY(qBound(work.top(), at.y(), qMax(work.top(), work.bottom() - frame.height() + 1)));
  }
  move(at);
}

void CWindowWnd::MoveWindow(int x, int y) { move(x, y); }

void CWindowWnd::ShowWindow(bool show, bool takeFocus) {
  if (!show) {
    hide();
    return;
  }
  setAttribute(Qt::WA_ShowWithoutActivating, !takeFocus);
  if (isMinimized()) showNormal();
  QWidget::show();
  if (takeFocus) {
    raise();
    activateWindow();
  }
}

void CWindowWnd::SetTopmost(bool topmost) { ChangeFlag(Qt::WindowStaysOnTopHint, topmost); }

void CWindowWnd::SetFrameless(bool frameless) { ChangeFlag(Qt::FramelessWindowHint, frameless); }

void CWindowWnd::ChangeFlag(Qt::WindowType flag, bool on) {
  if (windowFlags().testFlag(flag) == on) return;
  // Changing flags hides a visible window; it comes back where it was.
  bool visible = isVisible();
  QPoint at = pos();
  setWindowFlag(flag, on);
  if (visible) {
    move(at);
    show();
  }
}

void CWindowWnd::OnCloseRequest() { Close(0); }

void CWindowWnd::closeEvent(QCloseEvent* event) {
  event->ignore();
  if (!m_closing) OnCloseRequest();
}

void CWindowWnd::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    bool ok = false;
    int caption = Root() ? Root()->property("caption").toInt(&ok) : 0;
    if (!ok || caption <= 0 || event->position().y() < caption) {
      m_dragging = true;
      m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
  }
  CLayoutWidget::mousePressEvent(event);
}

void CWindowWnd::mouseMoveEvent(QMouseEvent* event) {
  if (m_dragging && (event->buttons() & Qt::LeftButton))
    move(event->globalPosition().toPoint() - m_dragOffset);
  CLayoutWidget::mouseMoveEvent(event);
}

void CWindowWnd::mouseReleaseEvent(QMouseEvent* event) {
  m_dragging = false;
  CLayoutWidget::mouseReleaseEvent(event);
}

}  // namespace ui
