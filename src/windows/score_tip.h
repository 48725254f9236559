#pragma once

#include <QPoint>
#include <functional>

#include "ui/window.h"

// The user window ("score_tip.xml", window name "SorceAdd"): the display name and the three
// scores, and the way to log off.
class CScoreTip : public ui::CWindowWnd {
  Q_OBJECT

 public:
  // `mainWindow` parents the log-off question.
  explicit CScoreTip(QWidget* mainWindow = nullptr);

  bool Create();
  // Builds the window and shows it modally over the main window; -1 when it cannot be built.
  static int Show(QWidget* mainWindow);

  // Shows the log-off question; CQuitForm unless replaced (tests).
  using QuitAsker = std::function<int(QWidget* mainWindow, const QString& text, QPoint at)>;
  void SetQuitAsker(QuitAsker ask) { m_askQuit = std::move(ask); }

  static constexpr QPoint kQuitAt{170, 265};

 protected:
  void Notify(ui::TNotifyUI& msg) override;

 private:
  QWidget* m_main;
  QuitAsker m_askQuit;
};
