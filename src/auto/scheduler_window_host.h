#pragma once

#include <QPointer>

#include "auto/scheduler.h"
#include "ui/layout_widget.h"

// A window as the scheduler's host: the cycle timer is one of the window's timers, and the web
// page step is a window message. The window's OnTimer for `timerId` calls CycleTimerExpired and
// its HandleMessage for `webMessage` calls RunWebTestStep with the message's last parameter.
class CWindowSchedulerHost : public ISchedulerHost {
 public:
  CWindowSchedulerHost(ui::CLayoutWidget* window, int timerId, int webMessage);

  void SetCycleTimer(int ms) override;
  void KillCycleTimer() override;
  void PostWebStep(int verdict) override;

 private:
  QPointer<ui::CLayoutWidget> m_window;
  ui::CLayoutWidget* m_target;  // for PostMessage, which any thread may call
  int m_timerId;
  int m_webMessage;
};
