// The main program: the instance lock, the main window's login sequence against the lab's
// management server, the tabs and the tray, and the real Kestrane run headless.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QtTest/QTest>
#include <chrono>
#include <filesystem>
#include <thread>

#include "apps/kestrane/form_main.h"
#include "apps/kestrane/handle_speed_form.h"
#include "apps/kestrane/scheduler_wiring.h"
#include "apps/kestrane/start_up.h"
#include "auto/settings_files.h"
#include "core/data_base.h"
#include "core/properties_file.h"
#include "core/server_session.h"
#include "lab_fixture.h"
#include "test_support.h"
#include "ui/controls.h"
#include "ui/skin.h"
#include "video/flash_form.h"
#include "video/void_speed_form.h"
#include "windows/quit_actions.h"

namespace {

using namespace testsupport;
using Window = CFormMain::Window;

bool PumpUntil(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

void PumpFor(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// ---- The instance lock ------------------------------------------------------------------

class InstanceLock : public ProgramFolderTest {};

TEST_F(InstanceLock, HeldByAnotherProcessUntilItDiesEvenWhenItsChildLives) {
  const std::string path = At("RunOnlyOneInstance.lock");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    if (startup::AcquireInstanceLock(path, std::chrono::milliseconds(0)) !=
        startup::LockResult::Acquired)
      ::_exit(3);
    // A program it starts (as the updater is started) must not keep the lock.
    pid_t grandchild = ::fork();
    if (grandchild == 0) {
      ::execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
      ::_exit(4);
    }
    ::write(ready[1], &grandchild, sizeof grandchild);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  pid_t grandchild = -1;
  ASSERT_EQ(::read(ready[0], &grandchild, sizeof grandchild),
            static_cast<ssize_t>(sizeof grandchild));
  ::close(ready[0]);

  EXPECT_EQ(startup::AcquireInstanceLock(path, std::chrono::milliseconds(0)),
            startup::LockResult::HeldElsewhere);
  // Once the grandchild runs its own program it holds nothing of the holder's.
  ASSERT_TRUE(WaitFor([&] {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(grandchild) + "/exe", ec);
    return !ec && exe.filename() == "sleep";
  }));
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  ASSERT_EQ(::kill(grandchild, 0), 0) << "the grandchild lives on";
  EXPECT_EQ(startup::AcquireInstanceLock(path, std::chrono::milliseconds(0)),
            startup::LockResult::Acquired);
  ::kill(grandchild, SIGKILL);
}

TEST_F(InstanceLock, HandOverWaitsForThePreviousInstance) {
  const std::string path = At("RunOnlyOneInstance.lock");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    char held = startup::AcquireInstanceLock(path, std::chrono::milliseconds(0)) ==
                        startup::LockResult::Acquired
                    ? 1
                    : 0;
    ::write(ready[1], &held, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    ::_exit(0);
  }
  ::close(ready[1]);
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  ::close(ready[0]);
  ASSERT_EQ(held, 1);
  EXPECT_EQ(startup::AcquireInstanceLock(path, startup::LockWait({"update"})),
            startup::LockResult::Acquired);
  ::waitpid(holder, nullptr, 0);
  EXPECT_EQ(startup::LockWait({}), std::chrono::milliseconds(0));
  EXPECT_EQ(startup::LockWait({"logoff"}), std::chrono::milliseconds(5000));
  EXPECT_EQ(startup::LockWait({"Update"}), std::chrono::milliseconds(0));
}

TEST_F(InstanceLock, NoRuntimeFolderFallsBackToTmpPerUser) {
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  std::string saved = old ? old : "";
  ::setenv("XDG_RUNTIME_DIR", m_folder.c_str(), 1);
  EXPECT_EQ(startup::InstanceLockPath(), m_folder + "/RunOnlyOneInstance.lock");
  ::unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(startup::InstanceLockPath(),
            "/tmp/RunOnlyOneInstance-" + std::to_string(::getuid()) + ".lock");
  if (old) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  // A symbolic link planted at the lock's place is not followed.
  ASSERT_EQ(::symlink(At("elsewhere").c_str(), At("link.lock").c_str()), 0);
  EXPECT_EQ(startup::AcquireInstanceLock(At("link.lock"), std::chrono::milliseconds(0)),
            startup::LockResult::Unavailable);
  EXPECT_FALSE(Exists(At("elsewhere")));
}

// ---- The main window against the lab ----------------------------------------------------

const char kAccounts[] = R"({"accounts": [
 {"username": "t1", "password": "p1", "statuscode": "0", "userid": "30001", "nickname": "一号",
  "location": "广东省 深圳市", "bandwidth": "100", "rloc": "广东省深圳市", "roper": "中国电信",
  "rcityid": "440300", "roperid": "1", "usertype": "1", "locCityid": "440300", "locOperid": "1",
  "locProid": "440000", "scores": "86,90,82", "audit": "8"},
 {"username": "t5", "password": "p5", "statuscode": "0", "userid": "30005", "nickname": "五号",
  "location": "广东省 深圳市", "bandwidth": "100", "rloc": "广东省深圳市", "roper": "中国电信",
  "rcityid": "440300", "roperid": "1", "usertype": "5", "locCityid": "440300", "locOperid": "1",
  "locProid": "440000", "scores": "50,51,52", "audit": "5"},
 {"username": "t6", "password": "p6", "statuscode": "0", "userid": "30006", "nickname": "六号",
  "location": "广东省 深圳市", "bandwidth": "100", "rloc": "广东省深圳市", "roper": "中国电信",
  "rcityid": "440300", "roperid": "1", "usertype": "6", "locCityid": "440300", "locOperid": "1",
  "locProid": "440000", "scores": "60,61,62", "audit": "6"},
 {"username": "t8", "password": "p8", "statuscode": "0", "userid": "30008", "nickname": "八号",
  "location": "广东省 深圳市", "bandwidth": "100", "rloc": "广东省深圳市", "roper": "中国电信",
  "rcityid": "440300", "roperid": "1", "usertype": "8", "locCityid": "440300", "locOperid": "1",
  "locProid": "440000", "scores": "80,81,82", "audit": "8"}
]})";

// A page that holds a video player, for the readiness wait.
class PlayerPage : public ui::CScreenPage {
 public:
  explicit PlayerPage(QWidget* parent) : ui::CScreenPage(parent) {}
  std::shared_ptr<std::atomic<ui::PlayerState>> PlayerStateHandle() override { return state; }
  std::shared_ptr<std::atomic<ui::PlayerState>> state =
      std::make_shared<std::atomic<ui::PlayerState>>(ui::PlayerState::Pending);
};

class FormWithPlayer : public CFormMain {
 public:
  using CFormMain::CFormMain;
  PlayerPage* player = nullptr;

 protected:
  QWidget* CreateControl(const QString& className, QWidget* parent) override {
    if (className == "Handle_Speed_Page") return player = new PlayerPage(parent);
    return CFormMain::CreateControl(className, parent);
  }
};

class MainWindow : public ProgramFolderTest {
 protected:
  static void SetUpTestSuite() {
    s_accounts = new std::string(::testing::TempDir() + "/kestrane_accounts.json");
    WriteFile(*s_accounts, kAccounts);
    s_lab = new LabProcess({"--management", "--management-accounts=" + *s_accounts});
  }
  static void TearDownTestSuite() {
    delete s_lab;
    s_lab = nullptr;
    delete s_accounts;
  }

  void SetUp() override {
    ProgramFolderTest::SetUp();
    ASSERT_TRUE(s_lab->Started()) << s_lab->Error();
    CopyFromDist("Skin.zip");
    CopyFromDist("Config/settings.xml");
    CopyFromDist("conf/ipconfig.properties");
    ASSERT_TRUE(ui::SetResourceZip(QString::fromStdString(At("Skin.zip"))));
    CDataBase::Instance().Reset();
    CDataBase::Instance().SetClientAddress("10.9.8.7");
    ui::CTrayIcon::SetAvailableForTesting(true);
    quit::SetExitHandler([this](int code) { m_exits.push_back(code); });
    Configure("1");
    Write("conf/l_c_config_01.properties",
          "#user config\n#Mon Dec 07 10:00:00 UTC 2026\nusername=\nuserpass=\nrem=0\nauto=0\n"
          "uname=\nuserid=null\npre_date=\n");
  }
  void TearDown() override {
    quit::SetExitHandler(nullptr);
    ui::CTrayIcon::SetAvailableForTesting(false);
    CDataBase::Instance().Reset();
    ProgramFolderTest::TearDown();
  }

  void Configure(const std::string& manual) {
    Write("conf/config.properties",
          "#user config\n#Mon Dec 07 10:00:00 UTC 2026\nupdate_server_url=" +
              EncodeStoredValue("127.0.0.1") +
              "\nweb_project_port=" + std::to_string(s_lab->Port("management")) +
              "\nweb_project_name=kestrane\nlogin_servlet=login\ninterface=client\n"
              "s_coru_e=score\nmanual=" +
              manual + "\n");
  }

  // A main window whose login is the session's own against the lab, and whose other windows
  // are recorded (each has its own tests) and answered by `m_answers`.
  template <class Form = CFormMain>
  std::unique_ptr<Form> Make(const std::string& user, const std::string& password) {
    auto form = std::make_unique<Form>();
    form->SetWindowOpener([this, user, password](Window which, int arg) {
      m_opened.emplace_back(which, arg);
      if (which == Window::Login)
        return session::RunLogin(user, password) == session::kLoginAccepted ? 1 : 0;
      auto it = m_answers.find(which);
      return it == m_answers.end() ? 1 : it->second();
    });
    form->SetPeriods(20, 400, 300, 300);
    auto& hooks = form->GetHooks();
    hooks.startPingTrace = [this] { ++m_pingTrace; };
    hooks.armScheduler = [this] { ++m_armed; };
    hooks.cycleTimerExpired = [this] { ++m_cycleExpired; };
    EXPECT_TRUE(form->Create());
    return form;
  }

  template <class Form>
  void LogIn(Form& form) {
    form.Park();
    ASSERT_TRUE(PumpUntil([&] { return form.LoginDone(); }));
  }

  int Opened(Window which, int arg = -1) const {
    int n = 0;
    for (const auto& [w, a] : m_opened)
      if (w == which && (arg < 0 || a == arg)) ++n;
    return n;
  }

  static LabProcess* s_lab;
  static std::string* s_accounts;
  std::vector<std::pair<Window, int>> m_opened;
  std::map<Window, std::function<int()>> m_answers;
  std::vector<int> m_exits;
  int m_pingTrace = 0, m_armed = 0, m_cycleExpired = 0;
};
LabProcess* MainWindow::s_lab = nullptr;
std::string* MainWindow::s_accounts = nullptr;

TEST_F(MainWindow, AllowedAccountStartsParkedInTheTrayAndArmsAutomaticTesting) {
  auto form = Make("t1", "p1");
  LogIn(*form);
  EXPECT_EQ(form->objectName(), "MainForm");
  EXPECT_EQ(Opened(Window::Login), 1);
  EXPECT_EQ(Opened(Window::Hint), 1) << "the shipped settings ask for the hint";
  EXPECT_EQ(Opened(Window::Audit), 0);
  EXPECT_EQ(Opened(Window::Score), 1);
  EXPECT_TRUE(form->Tray().IsShown());
  EXPECT_EQ(form->Tray().Tip(), "Veltrane");
  EXPECT_FALSE(form->isVisible() && !form->testAttribute(Qt::WA_DontShowOnScreen));
  EXPECT_FALSE(form->FindControl("Auditing_btn")->isEnabled());
  EXPECT_EQ(ui::Text(form->FindControl("Main_UserName_lab")), "一号");
  EXPECT_EQ(m_pingTrace, 1);
  EXPECT_EQ(m_armed, 1);
  EXPECT_NE(CDataBase::Instance().loginTime.load(), 0);
  // The user's settings were made from the template; the adapter key is in place.
  EXPECT_TRUE(Exists(At(settings::UserSettingsFile("30001"))));
  // The automatic test timer runs out once and hands over.
  EXPECT_EQ(m_cycleExpired, 0);
  ASSERT_TRUE(PumpUntil([&] { return m_cycleExpired == 1; }));
  PumpFor(700);
  EXPECT_EQ(m_cycleExpired, 1) << "one-shot";

  // Timer 13 stores new scores; a dead server leaves them.
  ASSERT_TRUE(s_lab->Set("management", "scores", "70,71,72"));
  ASSERT_TRUE(PumpUntil([] { return CDataBase::Instance().GetScores().total == "70"; }));
  EXPECT_EQ(CDataBase::Instance().GetScores().experience, "72");
  {
    // Point the score request at a port nobody listens on.
    std::string text = Read("conf/config.properties");
    auto at = text.find("web_project_port=");
    auto end = text.find('\n', at);
    text.replace(at, end - at, "web_project_port=" + std::to_string(FreePort()));
    Write("conf/config.properties", text);
  }
  PumpFor(1000);
  EXPECT_EQ(CDataBase::Instance().GetScores().total, "70");
  ASSERT_TRUE(s_lab->Set("management", "scores", ""));
}

TEST_F(MainWindow, LoginArmsTheSchedulerWithTheEnginesOfTheScreens) {
  auto form = Make("t1", "p1");
  CAutoTesting automatic(*form);
  automatic.Wire();
  SchedulerTimings timings;
  timings.firstCycle = std::chrono::minutes(10);  // the cycle itself is not this test's
  CScheduler::SetTimings(timings);
  LogIn(*form);
  // All four kinds are selected in the shipped settings; each has its screen's engine.
  EXPECT_EQ(automatic.Scheduler().TaskModules(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_TRUE(form->HasTimer(CFormMain::kAutoTestTimer));
  PumpFor(700);
  EXPECT_FALSE(automatic.Scheduler().CycleRunning()) << "the first cycle waits its delay";
  CScheduler::SetTimings({});
}

TEST_F(MainWindow, ManualOffStartsNoAutomaticTimer) {
  Configure("0");
  auto form = Make("t8", "p8");
  LogIn(*form);
  EXPECT_TRUE(form->Tray().IsShown()) << "type 8 may test automatically";
  EXPECT_EQ(Opened(Window::Audit), 0);
  EXPECT_FALSE(form->HasTimer(CFormMain::kAutoTestTimer));
  EXPECT_TRUE(form->HasTimer(CFormMain::kScoreTimer));
}

TEST_F(MainWindow, AccountUnderAuditSeesTheWindowAtOnce) {
  auto form = Make("t5", "p5");
  LogIn(*form);
  EXPECT_EQ(Opened(Window::Audit, 0), 1);
  EXPECT_EQ(Opened(Window::Score), 0);
  EXPECT_FALSE(form->Tray().IsShown());
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->testAttribute(Qt::WA_DontShowOnScreen));
  EXPECT_TRUE(form->FindControl("Auditing_btn")->isEnabled());
  EXPECT_EQ(m_pingTrace, 1) << "every account";
  EXPECT_EQ(m_armed, 0);
  EXPECT_EQ(CDataBase::Instance().loginTime.load(), 0);
  EXPECT_FALSE(form->HasTimer(CFormMain::kScoreTimer));
  EXPECT_FALSE(form->HasTimer(CFormMain::kAutoTestTimer));

  // "AutoSpeed" only warns.
  QTest::mouseClick(form->Find<QAbstractButton>("AutoSpeed"), Qt::LeftButton);
  EXPECT_EQ(Opened(Window::Warning), 1);
  EXPECT_EQ(Opened(Window::Confirm), 0);
}

TEST_F(MainWindow, TypeSixIsAuditedInModeFiveAndAnAuditCanAllowIt) {
  // The audit window answers that the account now is type 8.
  m_answers[Window::Audit] = [] {
    CDataBase::Instance().SetUserType(8);
    return 1;
  };
  auto form = Make("t6", "p6");
  LogIn(*form);
  EXPECT_EQ(Opened(Window::Audit, 5), 1);
  EXPECT_TRUE(form->Tray().IsShown());
  EXPECT_EQ(m_armed, 1);
}

TEST_F(MainWindow, ConfirmingAutoSpeedSwitchesManualOnAndGoesToTheTray) {
  auto form = Make("t5", "p5");
  LogIn(*form);
  CDataBase::Instance().SetUserType(1);
  Configure("0");
  CDataBase::Instance().autoScheduledCount = 4;
  CDataBase::Instance().autoCompletedCount = 3;
  CDataBase::Instance().SetLastResult("上次结果");
  // The confirmation sets the flags, as its OK does.
  m_answers[Window::Confirm] = [] {
    CDataBase::Instance().testBusy = 1;
    CDataBase::Instance().testRunEnabled = 1;
    return 1;
  };
  QTest::mouseClick(form->Find<QAbstractButton>("AutoSpeed"), Qt::LeftButton);
  EXPECT_EQ(Opened(Window::Confirm), 1);
  EXPECT_EQ(conf::Read(conf::kConfig, "manual"), "1");
  EXPECT_EQ(CDataBase::Instance().autoScheduledCount.load(), 0);
  EXPECT_EQ(CDataBase::Instance().autoCompletedCount.load(), 0);
  EXPECT_EQ(CDataBase::Instance().LastResult(), "");
  EXPECT_NE(CDataBase::Instance().autoStartTime.load(), 0);
  EXPECT_TRUE(form->Tray().IsShown());
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(m_armed, 1);
  ASSERT_TRUE(PumpUntil([&] { return m_cycleExpired == 1; })) << "the timer was armed";

  // While busy, "AutoSpeed" asks nothing.
  QTest::mouseClick(form->Find<QAbstractButton>("AutoSpeed"), Qt::LeftButton);
  EXPECT_EQ(Opened(Window::Confirm), 1);
}

TEST_F(MainWindow, BusyRefusesTabAndPageChanges) {
  auto form = Make("t5", "p5");
  LogIn(*form);
  QWidget* tabs = form->FindControl("tab_switch");
  auto* tests = dynamic_cast<CHandleSpeedForm*>(form->FindControl("Handle_Speed_Form"));
  ASSERT_NE(tests, nullptr);
  QWidget* inner = tests->FindControl("switchchild");

  CDataBase::Instance().testBusy = 1;
  QTest::mouseClick(form->Find<QAbstractButton>("History_Record"), Qt::LeftButton);
  EXPECT_EQ(ui::GetCurSel(tabs), 0);
  EXPECT_TRUE(form->Find<QAbstractButton>("Handle_speed")->isChecked());
  EXPECT_FALSE(form->Find<QAbstractButton>("History_Record")->isChecked());
  QTest::mouseClick(tests->Find<QAbstractButton>("WebSpeed"), Qt::LeftButton);
  EXPECT_EQ(ui::GetCurSel(inner), 0);
  EXPECT_TRUE(tests->Find<QAbstractButton>("NetWorkSpeed")->isChecked());
  EXPECT_FALSE(tests->Find<QAbstractButton>("WebSpeed")->isChecked());

  CDataBase::Instance().testBusy = 0;
  QTest::mouseClick(tests->Find<QAbstractButton>("FileDwonSpeed"), Qt::LeftButton);
  EXPECT_EQ(ui::GetCurSel(inner), 3);
  QTest::mouseClick(form->Find<QAbstractButton>("Setting"), Qt::LeftButton);
  EXPECT_EQ(ui::GetCurSel(tabs), 2);
  EXPECT_EQ(CDataBase::Instance().currentTab.load(), 2);
  QTest::mouseClick(form->Find<QAbstractButton>("History_Record"), Qt::LeftButton);
  EXPECT_EQ(ui::GetCurSel(tabs), 1);
  EXPECT_EQ(CDataBase::Instance().currentTab.load(), 1);
}

TEST_F(MainWindow, AlternateLookSwapsTheBackground) {
  auto form = Make("t5", "p5");
  LogIn(*form);
  QWidget* bk = form->FindControl("Main_Bk_Lab");
  EXPECT_EQ(ui::BkImage(bk), "main/background.png");
  EXPECT_TRUE(ui::SkinFileExists("main/background1.png"));
  QTest::mouseClick(form->Find<QAbstractButton>("ChangeSkinbtn"), Qt::LeftButton);
  EXPECT_EQ(ui::BkImage(bk), "main/background1.png");
  EXPECT_TRUE(form->AlternateLook());
  QTest::mouseClick(form->Find<QAbstractButton>("ChangeSkinbtn"), Qt::LeftButton);
  EXPECT_EQ(ui::BkImage(bk), "main/background.png");
}

TEST_F(MainWindow, TrayDoubleClickAsksToStopWhileAutomaticTestingRuns) {
  auto form = Make("t1", "p1");
  LogIn(*form);
  ASSERT_TRUE(form->Tray().IsShown());
  CDataBase::Instance().testRunEnabled = 1;
  // The stop window's OK keeps automatic testing on: the window stays away.
  m_answers[Window::Stop] = [] { return 1; };
  form->PostMessage(ui::kTrayCallbackMessage, ui::kTrayIconId, ui::kMouseLeftDoubleClick);
  ASSERT_TRUE(PumpUntil([&] { return Opened(Window::Stop) == 1; }));
  PumpFor(50);
  EXPECT_TRUE(form->Tray().IsShown());
  EXPECT_FALSE(form->isVisible() && !form->testAttribute(Qt::WA_DontShowOnScreen));
  // Its NO stops automatic testing: the window opens, centred, and the icon goes.
  m_answers[Window::Stop] = [] {
    CDataBase::Instance().testRunEnabled = 0;
    CDataBase::Instance().testBusy = 0;
    return 2;
  };
  form->PostMessage(ui::kTrayCallbackMessage, ui::kTrayIconId, ui::kMouseLeftDoubleClick);
  ASSERT_TRUE(PumpUntil([&] { return Opened(Window::Stop) == 2 && form->isVisible(); }));
  EXPECT_FALSE(form->testAttribute(Qt::WA_DontShowOnScreen));
  EXPECT_FALSE(form->Tray().IsShown());
}

TEST_F(MainWindow, TrayMenuQuitsWithoutAskingAndTheTipFollowsTheStatus) {
  auto form = Make("t1", "p1");
  LogIn(*form);
  int menus = 0;
  QList<QPair<int, QString>> offered;
  form->SetMenuChooser([&](const QList<QPair<int, QString>>& items) {
    ++menus;
    offered = items;
    return 0;
  });
  CDataBase::Instance().SetLastResult(std::string(200, 'x'));
  form->PostMessage(ui::kTrayCallbackMessage, ui::kTrayIconId, ui::kMouseRightDown);
  ASSERT_TRUE(PumpUntil([&] { return menus == 1; }));
  ASSERT_EQ(offered.size(), 1);
  EXPECT_EQ(offered[0].first, 40001);
  EXPECT_EQ(offered[0].second, "退出");
  EXPECT_TRUE(m_exits.empty());
  EXPECT_EQ(form->Tray().Tip(), QString(127, 'x'));

  form->SetMenuChooser([&](const QList<QPair<int, QString>>&) { return 40001; });
  form->PostMessage(ui::kTrayCallbackMessage, ui::kTrayIconId, ui::kMouseRightDown);
  ASSERT_TRUE(PumpUntil([&] { return !m_exits.empty(); }));
  EXPECT_EQ(m_exits[0], 0);
  EXPECT_EQ(Opened(Window::Quit), 0) << "no question from the tray";
}

TEST_F(MainWindow, ReadinessWaitsForThePlayerThenLogsIn) {
  auto form = Make<FormWithPlayer>("t5", "p5");
  form->SetPeriods(20, 5000, 300, 300);
  ASSERT_NE(form->player, nullptr);
  form->Park();
  PumpFor(200);
  EXPECT_EQ(Opened(Window::Login), 0) << "the player is still loading";
  form->player->state->store(ui::PlayerState::Ready);
  ASSERT_TRUE(PumpUntil([&] { return form->LoginDone(); }));
  EXPECT_EQ(form->player->state->load(), ui::PlayerState::Ready);
}

TEST_F(MainWindow, APlayerThatNeverLoadsIsGivenUpAfterTheBound) {
  auto form = Make<FormWithPlayer>("t5", "p5");
  QElapsedTimer t;
  t.start();
  form->Park();
  ASSERT_TRUE(PumpUntil([&] { return form->LoginDone(); }));
  EXPECT_GE(t.elapsed(), 380);
  EXPECT_EQ(form->player->state->load(), ui::PlayerState::Unavailable);
  EXPECT_EQ(Opened(Window::Login), 1);
}

TEST_F(MainWindow, WithoutAVideoPageTheLoginFollowsAtOnce) {
  auto form = Make("t5", "p5");
  form->SetPeriods(20, 60000, 300, 300);
  form->Park();
  ASSERT_TRUE(PumpUntil([&] { return form->LoginDone(); }, 3000));
}

// The tests page's own video page: without its player library the video test is unavailable,
// the user is told, and the login does not wait for the bound.
TEST_F(MainWindow, TheVideoPageWithoutItsPlayerLetsTheLoginFollowAtOnce) {
  auto form = Make("t5", "p5");
  form->SetPeriods(20, 60000, 300, 300);
  form->Park();
  ASSERT_TRUE(PumpUntil([&] { return form->LoginDone(); }, 3000));
  CVoidSpeedForm* video = CVoidSpeedForm::Instance();
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->PlayerStateHandle()->load(), ui::PlayerState::Unavailable);
  EXPECT_FALSE(video->Player()->HasPlayer());
  QWidget* tip = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "TipForm" && w->isVisible()) tip = w;
  ASSERT_NE(tip, nullptr);
  delete tip;
}

TEST_F(MainWindow, TheVideoPageWithItsPlayerIsReadyBeforeTheLogin) {
  CopyFromDist("libVideoPlayer.so");
  auto form = Make("t5", "p5");
  form->SetPeriods(20, 60000, 300, 300);
  form->Park();
  ASSERT_TRUE(PumpUntil([&] { return form->LoginDone(); }, 3000));
  CVoidSpeedForm* video = CVoidSpeedForm::Instance();
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->PlayerStateHandle()->load(), ui::PlayerState::Ready);
  EXPECT_TRUE(video->PlayerReady());
  // The player window sits in the video page, hidden with it.
  EXPECT_EQ(video->Player()->parentWidget(), video);
  EXPECT_EQ(video->Player()->objectName(), "FlashDialog");
}

TEST_F(MainWindow, WithoutANotificationAreaTheTrayIsTheTaskBar) {
  ui::CTrayIcon::SetAvailableForTesting(false);
  auto form = Make("t1", "p1");
  LogIn(*form);
  EXPECT_FALSE(form->Tray().IsShown());
  EXPECT_TRUE(form->InTray());
  EXPECT_FALSE(form->testAttribute(Qt::WA_DontShowOnScreen));
}

// ---- The real program --------------------------------------------------------------------

class RealProgram : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    for (const char* f :
         {"Kestrane", "Skin.zip", "Config/settings.xml", "conf/ipconfig.properties"})
      CopyFromDist(f);
    ::mkdir(At("runtime").c_str(), 0700);
  }
  std::unique_ptr<QProcess> Start(const QStringList& args) {
    auto p = std::make_unique<QProcess>();
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(At("runtime")));
    p->setProcessEnvironment(env);
    p->start(QString::fromStdString(At("Kestrane")), args);
    return p;
  }
};

TEST_F(RealProgram, SavedCredentialsLogInAloneAndASecondStartOnlySaysSo) {
  LabProcess lab({"--management"});
  ASSERT_TRUE(lab.Started()) << lab.Error();
  Write("conf/config.properties",
        "#user config\n#Mon Dec 07 10:00:00 UTC 2026\nupdate_server_url=" +
            EncodeStoredValue("127.0.0.1") +
            "\nweb_project_port=" + std::to_string(lab.Port("management")) +
            "\nweb_project_name=kestrane\nlogin_servlet=login\ninterface=client\n"
            "s_coru_e=score\nmanual=0\n");
  Write("conf/l_c_config_01.properties",
        "#user config\n#Mon Dec 07 10:00:00 UTC 2026\nusername=" + EncodeStoredValue("demo") +
            "\nuserpass=" + EncodeStoredValue("demo123") +
            "\nrem=1\nauto=1\nuname=\nuserid=null\npre_date=\n");

  auto first = Start({"update"});
  ASSERT_TRUE(first->waitForStarted(5000));
  ASSERT_TRUE(lab.WaitUntil(
      "management",
      [](const LabStats& s) {
        return s.all.count("score_requests") && s.all.at("score_requests") == "1";
      },
      std::chrono::seconds(30)));
  EXPECT_EQ(lab.Stats("management").all["logins"], "1");
  EXPECT_EQ(lab.Stats("management").all["last_user"], "demo");

  auto second = Start({});
  ASSERT_TRUE(second->waitForFinished(15000));
  EXPECT_EQ(second->exitCode(), 0);
  EXPECT_NE(QString::fromUtf8(second->readAllStandardError()).indexOf("已有一个程序在运行！"), -1);
  EXPECT_EQ(lab.Stats("management").all["logins"], "1");
  EXPECT_EQ(first->state(), QProcess::Running);

  first->kill();
  first->waitForFinished(5000);
}

TEST_F(RealProgram, AnUnusableSkinEndsWithCodeOne) {
  Write("Skin.zip", "not a zip");
  auto p = Start({});
  ASSERT_TRUE(p->waitForFinished(15000));
  EXPECT_EQ(p->exitCode(), 1);
  EXPECT_NE(QString::fromUtf8(p->readAllStandardError()).indexOf("Skin.zip"), -1);
}

}  // namespace
