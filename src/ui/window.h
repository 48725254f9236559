#pragma once

#include <QPoint>

#include "ui/layout_widget.h"

class QEventLoop;

namespace ui {

// A top-level window built from a layout. Skinned windows are frameless; they are dragged by
// their caption area (the layout's top widget may give its height as the dynamic property
// "caption"; without it the whole background drags).
class CWindowWnd : public CLayoutWidget {
  Q_OBJECT

 public:
  explicit CWindowWnd(QWidget* parent = nullptr);
  ~CWindowWnd() override;

  // Builds the window from `layout` and names it `windowName`.
  bool Create(const QString& layout, const QString& windowName, bool frameless = true);

  // Shows the window modally and returns the value given to Close.
  int ShowModal();
  // Hides the window, ends ShowModal with `result`; deletes the window when asked to.
  void Close(int result = 1);
  bool IsModalRunning() const { return m_loop != nullptr; }

  void CenterWindow();
  void MoveWindow(int x, int y);
  void ShowWindow(bool show = true, bool takeFocus = true);
  void SetTopmost(bool topmost);
  void SetFrameless(bool frameless);
  void SetDeleteOnClose(bool on) { m_deleteOnClose = on; }

 protected:
  bool InitOnFirstShow() const override { return true; }
  // The user closed the window through the window manager (not through Close).
  virtual void OnCloseRequest();

  void closeEvent(QCloseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void ChangeFlag(Qt::WindowType flag, bool on);

  QEventLoop* m_loop = nullptr;
  int m_result = 0;
  bool m_closing = false;
  bool m_deleteOnClose = false;
  bool m_dragging = false;
  QPoint m_dragOffset;
};

}  // namespace ui
