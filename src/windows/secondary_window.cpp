#include "windows/secondary_window.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace windows {

namespace {
QRect WorkArea() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}
}  // namespace

bool IsOnScreen(const QWidget* window) {
  if (!window || !window->isVisible() || window->isMinimized()) return false;
  const QRect frame = window->window()->frameGeometry();
  for (QScreen* screen : QGuiApplication::screens())
    if (screen->geometry().intersects(frame)) return true;
  return false;
}

void CenterOnScreen(QWidget& window) {
  QRect area = WorkArea();
  if (area.isEmpty()) return;
  QRect frame = window.frameGeometry();
  window.move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
}

void PlaceWindow(QWidget& window, const QWidget* opener, std::optional<QPoint> at) {
  if (!at || !IsOnScreen(opener)) {
    CenterOnScreen(window);
    return;
  }
  window.move(opener->window()->frameGeometry().topLeft() + *at);
}

void PlaceBottomRight(QWidget& window) {
  QRect area = WorkArea();
  if (area.isEmpty()) return;
  QRect frame = window.frameGeometry();
  window.move(area.right() + 1 - frame.width(), area.bottom() + 1 - frame.height());
}

int RunModal(ui::CWindowWnd* window, const QWidget* opener, std::optional<QPoint> at,
             bool topmost) {
  if (!window) return -1;
  window->SetDeleteOnClose(true);
  if (topmost) window->SetTopmost(true);
  PlaceWindow(*window, opener, at);
  return window->ShowModal();
}

}  // namespace windows
