#pragma once

#include <QList>
#include <QPair>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/screen_page.h"
#include "ui/tray_icon.h"
#include "ui/window.h"

class CWndShadow;

// The main window ("main.xml"): waits for the video player, runs the login, decides whether the
// account may test automatically, keeps the tray icon, switches the tabs and ends the program.
class CFormMain : public ui::CWindowWnd {
  Q_OBJECT

 public:
  // What other parts of the program plug in; an empty hook does nothing.
  struct Hooks {
    std::function<void()> startUpdateClient;           // once, at start-up, before the window shows
    std::function<void()> startPingTrace;              // once, after every accepted login
    std::function<void()> armScheduler;                // after an allowed login and on confirmation
    std::function<void()> cycleTimerExpired;           // the automatic test timer ran out
    std::function<void(qintptr verdict)> webTestStep;  // message 1176
  };

  // The windows the login sequence and the buttons open, by role; replaceable (tests).
  enum class Window { Login, Hint, Audit, Score, User, Quit, Warning, Confirm, Stop };
  using WindowOpener = std::function<int(Window which, int arg)>;
  using MenuChooser = std::function<int(const QList<QPair<int, QString>>& items)>;

  explicit CFormMain(std::vector<std::string> args = {}, QWidget* parent = nullptr);
  ~CFormMain() override;

  // Builds the window from "main.xml" under the name "MainForm".
  bool Create();

  Hooks& GetHooks() { return m_hooks; }
  void SetWindowOpener(WindowOpener opener) { m_open = std::move(opener); }
  void SetMenuChooser(MenuChooser chooser) { m_chooseMenu = std::move(chooser); }
  // Shortened periods (tests).
  void SetPeriods(int readyStepMs, int readyBoundMs, int autoTestMs, int scoreRefreshMs);

  // Shows the window outside the visible desktop: it exists, embedded views work, nothing is
  // seen and there is no task bar entry.
  void Park();
  // Brings it on screen, centred.
  void Open();
  bool IsParked() const;
  bool LoginDone() const { return m_loginDone; }
  bool AccountAllowed() const { return m_allowed; }
  bool InTray() const { return m_tray.IsShown() || m_minimisedForTray; }
  ui::CTrayIcon& Tray() { return m_tray; }
  bool AlternateLook() const { return m_alternate; }
  std::vector<ui::CScreenPage*> Pages() const;

  // (Re)starts the automatic test timer when "manual" is "1".
  void StartAutoTestTimer();

  static constexpr int kStartLoginMessage = 1026;
  static constexpr int kWebTestMessage = 1176;
  static constexpr int kQuitCommand = 40001;
  static constexpr int kScoreTimer = 13;
  static constexpr int kAutoTestTimer = 1000;
  static constexpr int kReadyTimer = 1001;
  static constexpr int kScoreRefreshMs = 21600000;
  static constexpr int kAutoTestMs = 10000;
  static constexpr int kReadyStepMs = 1000;
  // A player that never loads must not keep the login away for ever.
  static constexpr int kReadyBoundMs = 30000;
  static constexpr const char* kTrayTip = "Veltrane";
  static constexpr const char* kAuditWarning = "您好：您的账号目前处于未审核状态无法进行自动测速！";
  static constexpr const char* kQuitText = "是否退出软件！";

 protected:
  QWidget* CreateControl(const QString& className, QWidget* parent) override;
  void Notify(ui::TNotifyUI& msg) override;
  void OnTimer(int id) override;
  bool HandleMessage(int message, qintptr wParam, qintptr lParam) override;
  void OnCloseRequest() override;
  void changeEvent(QEvent* event) override;

 private:
  void OnWindowInit();
  void CheckPlayerReady();
  void RunLoginSequence();
  void ToTray();
  void OnTray(int mouse);
  void RestoreFromTray();
  void OnAutoSpeed();
  void SwitchTab(int index);
  void ChangeSkin();
  void RefreshScores();
  int OpenWindow(Window which, int arg = 0);
  static bool TypeAllowsAutomatic(int type) { return type < 5 || type == 8; }

  std::vector<std::string> m_args;
  Hooks m_hooks;
  WindowOpener m_open;
  MenuChooser m_chooseMenu;
  ui::CTrayIcon m_tray;
  std::unique_ptr<CWndShadow> m_shadow;
  std::shared_ptr<std::atomic<ui::PlayerState>> m_player;
  std::shared_ptr<std::atomic<bool>> m_fetching;
  int m_readyStepMs = kReadyStepMs;
  int m_readyBoundMs = kReadyBoundMs;
  int m_autoTestMs = kAutoTestMs;
  int m_scoreRefreshMs = kScoreRefreshMs;
  int m_readyWaited = 0;
  bool m_loginStarted = false;
  bool m_loginDone = false;
  bool m_allowed = false;
  bool m_alternate = false;
  bool m_minimisedForTray = false;
  bool m_inTrayWindow = false;
};
