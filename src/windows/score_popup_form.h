#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "ui/window.h"

// The score greeting after an allowed login ("score_Bombbox.xml"): the user, the three
// scores and the last login; it closes itself after eleven one-second ticks.
class CScorePopupForm : public ui::CWindowWnd {
  Q_OBJECT

 public:
  explicit CScorePopupForm(QWidget* parent = nullptr);

  bool Create();
  // Builds the greeting and shows it modally at the bottom right of the work area, on top.
  static int Show(QWidget* mainWindow);

  // The local clock the greeting reads; replaceable for tests.
  void SetClock(std::function<QDateTime()> now) { m_now = std::move(now); }
  // The tick length; one second unless shortened for tests.
  void SetTickInterval(int ms) { m_tickMs = ms; }
  // Opens the user's pages ("score"); OpenUserPage unless replaced.
  void SetPageOpener(std::function<void(const std::string&)> open) { m_openPage = std::move(open); }

  int Ticks() const { return m_ticks; }

  // "尊敬的Veltrane用户，上午好!" up to 11:59, "…下午好!" from 12:00.
  static QString Greeting(const QTime& time);
  // The last-login line from a stored "pre_date" value.
  static QString LastLoginText(const std::string& stored);
  // The stamp of the login before this one: kept by the login, else the file's.
  static std::string PreviousLoginStamp();

  static constexpr int kTimer = 1;
  static constexpr int kTickMs = 1000;
  static constexpr int kLifeTicks = 11;

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnTimer(int id) override;

 private:
  void Fill();

  std::function<QDateTime()> m_now;
  std::function<void(const std::string&)> m_openPage;
  int m_tickMs = kTickMs;
  int m_ticks = 0;
};
