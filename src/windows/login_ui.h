#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/tray_icon.h"
#include "ui/window.h"

class QLabel;
class QLineEdit;
class QPushButton;

// The login window ("Login.xml"): saved credentials, automatic login, the busy animation,
// the login's messages, the registration and password pages and the tray while minimised.
class CLoginUI : public ui::CWindowWnd {
  Q_OBJECT

 public:
  // What the window calls to log in; the session's Login unless replaced.
  using LoginStarter = std::function<void(const std::string& user, const std::string& password,
                                          std::function<void(int)> onDone)>;

  // `args` are the command line's arguments after the program name.
  explicit CLoginUI(std::vector<std::string> args = {}, QWidget* parent = nullptr);
  ~CLoginUI() override;

  // Builds the window from "Login.xml" under the name "LoginDlg".
  bool Create();

  void SetLoginStarter(LoginStarter starter) { m_starter = std::move(starter); }
  // Opens a page in the user's browser; xdg-open unless replaced.
  void SetPageOpener(std::function<bool(const std::string&)> opener) {
    m_openPage = std::move(opener);
  }
  // Ends the process at once (the close button); replaceable for tests.
  void SetExitHandler(std::function<void(int)> exit) { m_exit = std::move(exit); }

  // The end of a login, on the window thread.
  void OnLoginDone(int code);

  bool IsBusy() const { return m_busy; }
  int AnimationFrame() const { return m_frame; }
  bool TrayShown() const { return m_tray.IsShown(); }

  static constexpr int kAnimationTimer = 1;
  static constexpr int kAnimationMs = 50;
  static constexpr int kAnimationFrames = 12;

 protected:
  void Notify(ui::TNotifyUI& msg) override;
  void OnTimer(int id) override;
  bool HandleMessage(int message, qintptr wParam, qintptr lParam) override;
  void OnCloseRequest() override;

 private:
  void OnWindowInit();
  void OnLoginClick();
  void StartLogin(const QString& user, const QString& password);
  void ShowError(const QString& text);
  void MinimizeToTray();

  std::vector<std::string> m_args;
  LoginStarter m_starter;
  std::function<bool(const std::string&)> m_openPage;
  std::function<void(int)> m_exit;

  QLineEdit* m_userEdit = nullptr;
  QLineEdit* m_passEdit = nullptr;
  QLabel* m_errorLab = nullptr;
  QPushButton* m_loginBtn = nullptr;
  QLabel* m_loadingLab = nullptr;

  ui::CTrayIcon m_tray;
  bool m_busy = false;
  int m_frame = 0;
};
