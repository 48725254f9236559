#include "windows/login_ui.h"

#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include "core/log_file.h"
#include "core/server_session.h"
#include "platform/process.h"
#include "ui/controls.h"
#include "ui/skin.h"
#include "ui/thread.h"

namespace {
const char kWrongPassword[] = "用户名或密码错误！";
const char kNetworkError[] = "网络异常或服务器无响应！";
const char kPasswordReset[] = "密码需要重置！";
const char kServerSilent[] = "服务器无响应！";
const char kEmptyField[] = "用户名密码错误！";
const char kTrayTip[] = "Veltrane";
}  // namespace

CLoginUI::CLoginUI(std::vector<std::string> args, QWidget* parent)
    : ui::CWindowWnd(parent), m_args(std::move(args)) {
  m_starter = [](const std::string& user, const std::string& password,
                 std::function<void(int)> onDone) {
    session::Login(user, password, std::move(onDone));
  };
  m_openPage = [](const std::string& url) { return platform::OpenPage(url); };
  m_exit = [](int code) { ::_exit(code); };
}

CLoginUI::~CLoginUI() = default;

bool CLoginUI::Create() {
  if (!ui::CWindowWnd::Create("Login.xml", "LoginDlg", true)) return false;
  setWindowIcon(ui::ProgramIcon());
  m_userEdit = Find<QLineEdit>("Login_UserName_Edit");
  m_passEdit = Find<QLineEdit>("Login_PassWord_Edit");
  m_errorLab = Find<QLabel>("Login_Error_Lab");
  m_loginBtn = Find<QPushButton>("Login_Login_btn");
  m_loadingLab = Find<QLabel>("Login_Loading_Lab");
  if (m_loadingLab) m_loadingLab->setAttribute(Qt::WA_TransparentForMouseEvents);
  if (m_userEdit) m_userEdit->setFocus();
  return true;
}

void CLoginUI::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    OnWindowInit();
  } else if (msg.sType == ui::kClick) {
    if (msg.senderName == "Login_Login_btn") {
      OnLoginClick();
    } else if (msg.senderName == "Login_close_btn") {
      m_exit(0);
    } else if (msg.senderName == "Login_min_btn") {
      MinimizeToTray();
    } else if (msg.senderName == "Login_Regist_Btn") {
      m_openPage(session::RegisterPageUrl());
    } else if (msg.senderName == "Login_Back_Btn") {
      m_openPage(session::ForgottenPasswordPageUrl());
    }
  } else if (msg.sType == ui::kReturn) {
    // Enter in either edit does what the button does, while the button may be pressed.
    if (m_loginBtn && m_loginBtn->isEnabled()) OnLoginClick();
  }
}

void CLoginUI::OnWindowInit() {
  if (m_userEdit) {
    activateWindow();
    m_userEdit->setFocus();
  }
  std::string user, password;
  if (!session::LoadSavedCredentials(user, password)) return;
  ui::SetText(m_userEdit, QString::fromStdString(user));
  ui::SetText(m_passEdit, QString::fromStdString(password));
  if (session::AutoLoginWanted(m_args))
    StartLogin(QString::fromStdString(user), QString::fromStdString(password));
}

void CLoginUI::OnLoginClick() {
  QString user = ui::Text(m_userEdit);
  QString password = ui::Text(m_passEdit);
  if (user.isEmpty() || password.isEmpty()) {
    ui::SetText(m_errorLab, kEmptyField);
    return;
  }
  ui::SetText(m_errorLab, QString());
  StartLogin(user, password);
}

void CLoginUI::StartLogin(const QString& user, const QString& password) {
  m_busy = true;
  ui::SetEnabled(m_loginBtn, false);
  m_frame = 0;
  OnTimer(kAnimationTimer);
  SetTimer(kAnimationTimer, kAnimationMs);
  // The worker reports from its own thread; the window may be gone by the time it ends.
  QPointer<CLoginUI> self(this);
  m_starter(user.toStdString(), password.toStdString(), [self](int code) {
    ui::Post([self, code] {
      if (self) self->OnLoginDone(code);
    });
  });
}

void CLoginUI::OnLoginDone(int code) {
  if (code == session::kLoginAccepted) {
    KillTimer(kAnimationTimer);
    m_busy = false;
    Close(1);
    return;
  }
  switch (code) {
    case session::kLoginWrongPassword:
      ShowError(kWrongPassword);
      break;
    case session::kLoginNetworkError:
      ShowError(kNetworkError);
      break;
    case session::kLoginPasswordReset:
      ShowError(kPasswordReset);
      break;
    default:
      // Unknown answers would otherwise leave the window busy for good.
      logs::Write(logs::kMain, "login answered with unknown status %d", code);
      ShowError(kServerSilent);
      break;
  }
}

void CLoginUI::ShowError(const QString& text) {
  ui::SetText(m_errorLab, text);
  ui::SetEnabled(m_loginBtn, true);
  KillTimer(kAnimationTimer);
  ui::SetBkImage(m_loadingLab, QString());
  m_frame = 0;
  m_busy = false;
}

void CLoginUI::OnTimer(int id) {
  if (id != kAnimationTimer) return;
  m_frame = m_frame % kAnimationFrames + 1;
  ui::SetBkImage(m_loadingLab, QString("Login\\%1.png").arg(m_frame));
}

void CLoginUI::MinimizeToTray() {
  // Without a notification area a hidden window could never be brought back.
  if (!ui::CTrayIcon::Available()) {
    showMinimized();
    return;
  }
  hide();
  m_tray.Add(this, ui::kTrayIconId, ui::kTrayCallbackMessage, kTrayTip, ui::ProgramIcon());
}

bool CLoginUI::HandleMessage(int message, qintptr wParam, qintptr lParam) {
  if (message != ui::kTrayCallbackMessage || wParam != ui::kTrayIconId) return false;
  if (lParam == ui::kMouseLeftDoubleClick) {
    m_tray.Remove();
    ShowWindow(true, true);
  }
  return true;
}

void CLoginUI::OnCloseRequest() { m_exit(0); }
