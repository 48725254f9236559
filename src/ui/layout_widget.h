#pragma once

#include <QMap>
#include <QPointer>
#include <QWidget>

#include "ui/notify.h"

class QTimer;

namespace ui {

// A widget built from a layout of the skin that receives the notifications of its controls.
// Windows (CWindowWnd) and the pages placed inside them (tab pages, test screens) derive from
// it. Controls are found by their names; the widget's own Qt signals are never connected by
// the screens themselves.
class CLayoutWidget : public QWidget {
  Q_OBJECT

 public:
  explicit CLayoutWidget(QWidget* parent = nullptr);
  ~CLayoutWidget() override;

  // Builds the content from a layout file of the skin ("Login.xml"). The style sheets
  // "style.qss" and "<layout name>.qss" of the skin, when present, style it.
  bool CreateFromLayout(const QString& layout);

  // The top widget of the layout.
  QWidget* Root() const { return m_root; }

  QWidget* FindControl(const QString& name) const;
  template <class T>
  T* Find(const QString& name) const {
    return qobject_cast<T*>(FindControl(name));
  }

  // Connects the named controls under `root` (rows added later, built pages) to this
  // widget's notifications. Controls inside a nested CLayoutWidget belong to that one.
  void BindControls(QWidget* root);

  // Window timers: `OnTimer(id)` every `ms` milliseconds until killed. Setting an id again
  // restarts it with the new interval.
  void SetTimer(int id, int ms);
  void KillTimer(int id);
  bool HasTimer(int id) const;

  // Posts a window message; `HandleMessage` receives it later on the window thread. Safe from
  // any thread while this widget exists.
  void PostMessage(int message, qintptr wParam = 0, qintptr lParam = 0);

  // True once "windowinit" has been delivered.
  bool WindowInitDone() const { return m_initDone; }

  // Delivers a notification as if a control had sent it.
  void SendNotify(const QString& type, QWidget* sender, int wParam = 0, int eventType = 0);

 protected:
  // The program's custom controls, by the class names the layout gives them.
  virtual QWidget* CreateControl(const QString& className, QWidget* parent);
  virtual void Notify(TNotifyUI& msg);
  virtual void OnTimer(int id);
  virtual bool HandleMessage(int message, qintptr wParam, qintptr lParam);

  // Pages get "windowinit" right after being built; windows on their first show.
  virtual bool InitOnFirstShow() const { return false; }

  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void QueueWindowInit();

  QWidget* m_root = nullptr;
  QMap<int, QTimer*> m_timers;
  bool m_initQueued = false;
  bool m_initDone = false;
};

}  // namespace ui
