#include "auto/scheduler_window_host.h"

#include "ui/thread.h"

namespace {

// Timer changes belong to the window thread; from there they happen at once, so that they
// keep their order with the timer's own expiry.
template <class Change>
void OnWindowThread(const QPointer<ui::CLayoutWidget>& window, Change change) {
  if (ui::IsWindowThread()) {
    if (window) change(*window);
    return;
  }
  ui::Post([window, change] {
    if (window) change(*window);
  });
}

}  // namespace

CWindowSchedulerHost::CWindowSchedulerHost(ui::CLayoutWidget* window, int timerId, int webMessage)
    : m_window(window), m_target(window), m_timerId(timerId), m_webMessage(webMessage) {}

void CWindowSchedulerHost::SetCycleTimer(int ms) {
  const int id = m_timerId;
  OnWindowThread(m_window, [id, ms](ui::CLayoutWidget& window) {
    window.KillTimer(id);
    window.SetTimer(id, ms);
  });
}

void CWindowSchedulerHost::KillCycleTimer() {
  const int id = m_timerId;
  OnWindowThread(m_window, [id](ui::CLayoutWidget& window) { window.KillTimer(id); });
}

void CWindowSchedulerHost::PostWebStep(int verdict) {
  m_target->PostMessage(m_webMessage, 0, verdict);
}
