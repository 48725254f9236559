#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "ui/window.h"

// The automatic-testing status and stop window ("StopSpeed.xml"): scores, counts, the last
// result and the time since automatic testing started, refreshed every second. NO stops
// automatic testing.
class CStopSpeed : public ui::CWindowWnd {
  Q_OBJECT

 public:
  explicit CStopSpeed(QWidget* parent = nullptr);
  bool Create();
  // Builds the window and shows it modally, centred and on top; 2 when testing was stopped.
  static int Show(QWidget* opener);

  // Seconds since 1970 now; replaceable for tests.
  void SetClock(std::function<int64_t()> now) { m_now = std::move(now); }

  // "%d天%d小时%d分钟%d秒"; a negative span shows as nothing elapsed.
  static QString Elapsed(int64_t seconds);

  static constexpr int kTimer = 1;
  static constexpr int kRefreshMs = 1000;

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnTimer(int id) override;
  void OnCloseRequest() override;

 private:
  void Fill();

  std::function<int64_t()> m_now;
};
