#include "apps/kestrane/form_main.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QSignalBlocker>
#include <QWindow>
#include <ctime>
#include <thread>

#include "apps/kestrane/screen_table.h"
#include "auto/local_mac.h"
#include "auto/settings_files.h"
#include "core/data_base.h"
#include "core/log_file.h"
#include "core/properties_file.h"
#include "core/server_session.h"
#include "ui/controls.h"
#include "ui/skin.h"
#include "windows/auditing_form.h"
#include "windows/confirm_dlg.h"
#include "windows/login_ui.h"
#include "windows/message_form.h"
#include "windows/quit_actions.h"
#include "windows/quit_form.h"
#include "windows/score_popup_form.h"
#include "windows/score_tip.h"
#include "windows/speed_hit_form.h"
#include "windows/stop_speed.h"
#include "windows/warning_dlg.h"
#include "windows/wnd_shadow.h"

namespace {

const char* const kTabOptions[3] = {"Handle_speed", "History_Record", "Setting"};
// Object names of the three pages in "tab_switch" (the option names are taken).
const char* const kTabPages[3] = {"Handle_Speed_Form", "History_Record_Form", "Seting_Speed_Form"};

bool ManualOn() { return conf::Read(conf::kConfig, "manual") == "1"; }

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

}  // namespace

CFormMain::CFormMain(std::vector<std::string> args, QWidget* parent)
    : ui::CWindowWnd(parent),
      m_args(std::move(args)),
      m_fetching(std::make_shared<std::atomic<bool>>(false)) {
  m_chooseMenu = [this](const QList<QPair<int, QString>>& items) {
    return m_tray.PopupMenu(items);
  };
}

CFormMain::~CFormMain() { m_tray.Remove(); }

bool CFormMain::Create() {
  if (!ui::CWindowWnd::Create("main.xml", "MainForm")) return false;
  setWindowIcon(ui::ProgramIcon());
  m_shadow = std::make_unique<CWndShadow>();
  if (m_shadow->Create(this)) {
    m_shadow->SetDarkness(150);
    m_shadow->SetSharpness(5);
    m_shadow->SetSize(3);
  }
  return true;
}

void CFormMain::SetPeriods(int readyStepMs, int readyBoundMs, int autoTestMs, int scoreRefreshMs) {
  m_readyStepMs = readyStepMs;
  m_readyBoundMs = readyBoundMs;
  m_autoTestMs = autoTestMs;
  m_scoreRefreshMs = scoreRefreshMs;
}

QWidget* CFormMain::CreateControl(const QString& className, QWidget* parent) {
  return screens::Create(className, parent);
}

std::vector<ui::CScreenPage*> CFormMain::Pages() const {
  std::vector<ui::CScreenPage*> pages;
  for (const char* name : kTabPages)
    if (auto* page = dynamic_cast<ui::CScreenPage*>(FindControl(name))) pages.push_back(page);
  return pages;
}

void CFormMain::Park() {
  setAttribute(Qt::WA_DontShowOnScreen, true);
  move(-539, -659);
  show();
}

void CFormMain::Open() {
  if (testAttribute(Qt::WA_DontShowOnScreen)) {
    // The attribute only takes effect when the native window is made again.
    hide();
    setAttribute(Qt::WA_DontShowOnScreen, false);
    if (windowHandle()) windowHandle()->destroy();
  }
  m_minimisedForTray = false;
  showNormal();
  CenterWindow();
  raise();
  activateWindow();
}

bool CFormMain::IsParked() const { return testAttribute(Qt::WA_DontShowOnScreen) || !isVisible(); }

int CFormMain::OpenWindow(Window which, int arg) {
  if (m_open) return m_open(which, arg);
  switch (which) {
    case Window::Login: {
      auto* login = new CLoginUI(m_args);
      login->setAttribute(Qt::WA_DeleteOnClose, false);
      if (!login->Create()) {
        delete login;
        return 0;
      }
      login->SetFrameless(true);
      login->SetTopmost(true);
      login->CenterWindow();
      int result = login->ShowModal();
      login->deleteLater();
      return result;
    }
    case Window::Hint:
      return CSpeedHitForm::Show(this);
    case Window::Audit:
      return CAuditingForm::Show(this, arg);
    case Window::Score:
      return CScorePopupForm::Show(this);
    case Window::User:
      return CScoreTip::Show(this);
    case Window::Quit:
      return CQuitForm::Show(this, kQuitText);
    case Window::Warning:
      return ShowWarning(this, "WarningDlg", kAuditWarning);
    case Window::Confirm:
      return CMessageForm::Show(this);
    case Window::Stop:
      return CStopSpeed::Show(this);
  }
  return 0;
}

void CFormMain::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    OnWindowInit();
  } else if (msg.sType == ui::kClick) {
    if (msg.senderName == "closebtn") {
      OpenWindow(Window::Quit);  // its OK quits
    } else if (msg.senderName == "minbtn") {
      showMinimized();
    } else if (msg.senderName == "ChangeSkinbtn") {
      ChangeSkin();
    } else if (msg.senderName == "main_User_btn") {
      OpenWindow(Window::User);
    } else if (msg.senderName == "AutoSpeed") {
      OnAutoSpeed();
    } else if (msg.senderName == "Auditing_btn") {
      OpenWindow(Window::Audit, CDataBase::Instance().GetUserInfo().userType == 6 ? 5 : 0);
    }
  } else if (msg.sType == ui::kSelectChanged && msg.wParam == 1) {
    for (int i = 0; i < 3; ++i)
      if (msg.senderName == kTabOptions[i]) SwitchTab(i);
  }
}

void CFormMain::OnWindowInit() {
  ui::SetBkImage(FindControl("Main_Bk_Lab"), "main\\background.png");
  for (ui::CScreenPage* page : Pages()) page->OnMainWindowInit();
  for (ui::CScreenPage* page : Pages())
    if (auto state = page->PlayerStateHandle()) m_player = state;
  // Waits on the window thread in steps, so nothing blocks and nothing outlives the window.
  m_readyWaited = 0;
  CheckPlayerReady();
}

void CFormMain::CheckPlayerReady() {
  if (m_loginStarted) return;
  bool go = !m_player || m_player->load() != ui::PlayerState::Pending;
  if (!go && m_readyWaited >= m_readyBoundMs) {
    m_player->store(ui::PlayerState::Unavailable);
    logs::Write(logs::kMain, "the video player did not get ready; the video test is unavailable");
    go = true;
  }
  if (go) {
    KillTimer(kReadyTimer);
    m_loginStarted = true;
    PostMessage(kStartLoginMessage);
    return;
  }
  if (!HasTimer(kReadyTimer)) SetTimer(kReadyTimer, m_readyStepMs);
}

bool CFormMain::HandleMessage(int message, qintptr wParam, qintptr lParam) {
  if (message == kStartLoginMessage) {
    if (!m_loginDone) RunLoginSequence();
    return true;
  }
  if (message == ui::kTrayCallbackMessage) {
    OnTray(static_cast<int>(lParam));
    return true;
  }
  if (message == kWebTestMessage) {
    if (m_hooks.webTestStep) m_hooks.webTestStep(lParam);
    return true;
  }
  return ui::CWindowWnd::HandleMessage(message, wParam, lParam);
}

void CFormMain::RunLoginSequence() {
  m_loginDone = true;
  if (OpenWindow(Window::Login) != 1) return;  // the login window ends the process itself
  for (ui::CScreenPage* page : Pages()) page->HideEmbedded();

  CDataBase& data = CDataBase::Instance();
  settings::PrepareUserSettings(data.GetUserInfo().userId);
  if (!settings::IsHintSuppressed()) OpenWindow(Window::Hint);

  int type = data.GetUserInfo().userType;
  if (!TypeAllowsAutomatic(type)) OpenWindow(Window::Audit, type == 6 ? 5 : 0);
  // The audit may have changed the account's kind.
  m_allowed = TypeAllowsAutomatic(data.GetUserInfo().userType);
  if (m_allowed) {
    ui::SetEnabled(FindControl("Auditing_btn"), false);
    ToTray();
    OpenWindow(Window::Score);
  } else {
    ui::SetEnabled(FindControl("Auditing_btn"), true);
    Open();
  }

  EnsureAdapterKey();
  UserInfo user = data.GetUserInfo();
  ui::SetText(FindControl("Main_UserName_lab"), QString::fromStdString(user.nickname));
  for (ui::CScreenPage* page : Pages()) page->OnLogin();
  if (m_hooks.startPingTrace) m_hooks.startPingTrace();

  if (m_allowed) {
    data.loginTime = Now();
    data.autoStartTime = Now();
    StartAutoTestTimer();
    if (m_hooks.armScheduler) m_hooks.armScheduler();
    SetTimer(kScoreTimer, m_scoreRefreshMs);
  }
}

void CFormMain::StartAutoTestTimer() {
  if (!ManualOn()) return;
  KillTimer(kAutoTestTimer);
  SetTimer(kAutoTestTimer, m_autoTestMs);
}

void CFormMain::OnTimer(int id) {
  if (id == kReadyTimer) {
    m_readyWaited += m_readyStepMs;
    CheckPlayerReady();
  } else if (id == kScoreTimer) {
    RefreshScores();
  } else if (id == kAutoTestTimer) {
    KillTimer(kAutoTestTimer);  // one-shot; the scheduler sets it again as it needs
    if (m_hooks.cycleTimerExpired) m_hooks.cycleTimerExpired();
  }
}

void CFormMain::RefreshScores() {
  // The request goes over the network: never on the window thread, one at a time.
  if (m_fetching->exchange(true)) return;
  std::thread([busy = m_fetching] {
    Scores scores;
    if (session::FetchScores(scores)) CDataBase::Instance().SetScores(scores);
    busy->store(false);
  }).detach();
}

void CFormMain::ToTray() {
  if (ui::CTrayIcon::Available()) {
    hide();
    m_tray.Add(this, ui::kTrayIconId, ui::kTrayCallbackMessage, kTrayTip, ui::ProgramIcon());
    return;
  }
  // No notification area: the task bar stands in for it.
  Open();
  m_minimisedForTray = true;
  showMinimized();
}

void CFormMain::changeEvent(QEvent* event) {
  ui::CWindowWnd::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && m_minimisedForTray && !isMinimized() &&
      isVisible()) {
    m_minimisedForTray = false;
    QMetaObject::invokeMethod(
        this, [this] { RestoreFromTray(); }, Qt::QueuedConnection);
  }
}

void CFormMain::OnTray(int mouse) {
  if (m_inTrayWindow) return;  // a window opened from here is still open
  if (mouse == ui::kMouseLeftDoubleClick) {
    RestoreFromTray();
  } else if (mouse == ui::kMouseRightDown) {
    m_inTrayWindow = true;
    int command = m_chooseMenu ? m_chooseMenu({{kQuitCommand, "退出"}}) : 0;
    m_inTrayWindow = false;
    if (command == kQuitCommand) quit::QuitProgram();
  } else {
    return;
  }
  std::string status = CDataBase::Instance().LastResult();
  if (!status.empty())
    m_tray.SetTip(QString::fromStdString(status).left(ui::CTrayIcon::kMaxTipLength));
}

void CFormMain::RestoreFromTray() {
  CDataBase& data = CDataBase::Instance();
  bool manual = ManualOn();
  if (manual) {
    m_inTrayWindow = true;
    OpenWindow(Window::Stop);
    m_inTrayWindow = false;
  }
  if (manual && (data.testBusy.load() || data.testRunEnabled.load())) {
    // Automatic testing goes on: back where it was.
    if (!m_tray.IsShown()) ToTray();
    return;
  }
  m_tray.Remove();
  Open();
}

void CFormMain::OnAutoSpeed() {
  CDataBase& data = CDataBase::Instance();
  if (!TypeAllowsAutomatic(data.GetUserInfo().userType)) {
    OpenWindow(Window::Warning);
    return;
  }
  if (data.testBusy.load()) return;
  if (OpenWindow(Window::Confirm) != 1) return;
  // Confirming means automatic testing: without "manual" no timer would ever run and the busy
  // flag set by the confirmation would lock the tabs for good.
  PropertiesFile config(conf::kConfig);
  config.Load();
  if (!config.Set("manual", "1")) config.Add("manual", "1");
  config.Save(false);
  data.autoStartTime = Now();
  data.SetLastResult("");
  data.autoScheduledCount = 0;
  data.autoCompletedCount = 0;
  StartAutoTestTimer();
  if (m_hooks.armScheduler) m_hooks.armScheduler();
  ToTray();
}

void CFormMain::SwitchTab(int index) {
  CDataBase& data = CDataBase::Instance();
  int current = ui::GetCurSel(FindControl("tab_switch"));
  if (current < 0) current = 0;
  auto check = [this](int i) {
    auto* option = Find<QAbstractButton>(kTabOptions[i]);
    if (!option || option->isChecked()) return;
    QSignalBlocker block(option);
    option->setChecked(true);
  };
  if (index == current) return;
  if (data.testBusy.load()) {
    check(current);
    return;
  }
  // The tests page's browser and player windows would show through the other pages.
  if (auto* tests = dynamic_cast<ui::CScreenPage*>(FindControl(kTabPages[0])))
    tests->HideEmbedded();
  ui::SelectItem(FindControl("tab_switch"), index);
  check(index);
  data.currentTab = index;
  // The history page reloads its list (empty filter) when shown.
  if (auto* page = dynamic_cast<ui::CScreenPage*>(FindControl(kTabPages[index]))) page->OnShown();
}

void CFormMain::ChangeSkin() {
  m_alternate = !m_alternate;
  ui::SetBkImage(FindControl("Main_Bk_Lab"),
                 m_alternate ? "main\\background1.png" : "main\\background.png");
  for (ui::CScreenPage* page : Pages()) page->SetAlternateLook(m_alternate);
}

void CFormMain::OnCloseRequest() { OpenWindow(Window::Quit); }
