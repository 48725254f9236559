#pragma once

#include <memory>

#include "auto/scheduler.h"
#include "auto/scheduler_window_host.h"

class CFormMain;

// Automatic testing in the main program: the scheduler, hosted by the main window's automatic
// test timer and its message 1176, driving the engines of the tests page's screens.
class CAutoTesting {
 public:
  explicit CAutoTesting(CFormMain& form);
  ~CAutoTesting();

  // Sets the main window's hooks: arming (engines looked up again first), the timer's expiry
  // and the web page step.
  void Wire();

  // The engines of the screens that exist: bandwidth and file download. The web page and the
  // video engines join here through CScheduler::RegisterEngine (and the window step through
  // CScheduler::SetWebStep).
  void RegisterScreenEngines();

  CScheduler& Scheduler() { return m_scheduler; }

 private:
  CFormMain& m_form;
  CWindowSchedulerHost m_host;
  CScheduler m_scheduler;
};
