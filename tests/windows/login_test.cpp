// The login window built from the program's own Skin.zip, driven as a user would, against the
// lab's management server where a server is needed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include "core/data_base.h"
#include "core/properties_file.h"
#include "core/server_session.h"
#include "lab_fixture.h"
#include "test_support.h"
#include "ui/controls.h"
#include "ui/skin.h"
#include "ui/thread.h"
#include "windows/login_ui.h"

namespace {

bool PumpUntil(const std::function<bool()>& done, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

struct PendingLogin {
  int calls = 0;
  std::string user, password;
  std::function<void(int)> onDone;
};

class LoginWindow : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("Skin.zip");
    ASSERT_TRUE(ui::SetResourceZip(QString::fromStdString(At("Skin.zip"))));
    SaveUser("", "", "0");
    CDataBase::Instance().SetClientAddress("10.9.8.7");
  }

  void SaveUser(const std::string& user, const std::string& password, const std::string& autoOn) {
    Write("conf/l_c_config_01.properties",
          "#user config\n#Mon Dec 07 10:00:00 UTC 2026\nusername=" +
              (user.empty() ? "" : EncodeStoredValue(user)) +
              "\nuserpass=" + (password.empty() ? "" : EncodeStoredValue(password)) +
              "\nrem=0\nauto=" + autoOn + "\nuname=\nuserid=null\npre_date=\n");
  }

  void PointAt(int port) {
    Write("conf/config.properties",
          "#user config\n#Mon Dec 07 10:00:00 UTC 2026\nupdate_server_url=" +
              EncodeStoredValue("127.0.0.1") + "\nweb_project_port=" + std::to_string(port) +
              "\nweb_project_name=kestrane\nlogin_servlet=login\ninterface=client\n"
              "s_coru_e=score\n");
  }

  // A window whose logins are held until the test answers them, and whose close button and
  // pages are recorded instead of ending the process or starting a browser.
  std::unique_ptr<CLoginUI> Make(std::vector<std::string> args = {}) {
    auto w = std::make_unique<CLoginUI>(std::move(args));
    w->SetLoginStarter(
        [this](const std::string& u, const std::string& p, std::function<void(int)> done) {
          ++m_pending.calls;
          m_pending.user = u;
          m_pending.password = p;
          m_pending.onDone = std::move(done);
        });
    w->SetPageOpener([this](const std::string& url) {
      m_pages.push_back(url);
      return true;
    });
    w->SetExitHandler([this](int code) { m_exitCodes.push_back(code); });
    EXPECT_TRUE(w->Create());
    return w;
  }

  void ShowAndInit(CLoginUI& w) {
    w.show();
    ASSERT_TRUE(PumpUntil([&] { return w.WindowInitDone(); }));
  }

  static void Type(CLoginUI& w, const QString& user, const QString& password) {
    w.Find<QLineEdit>("Login_UserName_Edit")->setText(user);
    w.Find<QLineEdit>("Login_PassWord_Edit")->setText(password);
  }
  static void ClickLogin(CLoginUI& w) {
    QTest::mouseClick(w.Find<QPushButton>("Login_Login_btn"), Qt::LeftButton);
  }
  static QString Message(CLoginUI& w) { return w.Find<QLabel>("Login_Error_Lab")->text(); }
  static bool ButtonEnabled(CLoginUI& w) {
    return w.Find<QPushButton>("Login_Login_btn")->isEnabled();
  }
  static QString Animation(CLoginUI& w) { return ui::BkImage(w.FindControl("Login_Loading_Lab")); }

  PendingLogin m_pending;
  std::vector<std::string> m_pages;
  std::vector<int> m_exitCodes;
};

TEST_F(LoginWindow, BuiltFromTheSkinWithEveryNamedControl) {
  auto w = Make();
  EXPECT_EQ(w->objectName(), "LoginDlg");
  EXPECT_TRUE(w->windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_NE(w->Find<QLineEdit>("Login_UserName_Edit"), nullptr);
  ASSERT_NE(w->Find<QLineEdit>("Login_PassWord_Edit"), nullptr);
  EXPECT_EQ(w->Find<QLineEdit>("Login_PassWord_Edit")->echoMode(), QLineEdit::Password);
  EXPECT_NE(w->Find<QLabel>("Login_Error_Lab"), nullptr);
  EXPECT_NE(w->Find<QLabel>("Login_Loading_Lab"), nullptr);
  for (const char* button : {"Login_Login_btn", "Login_close_btn", "Login_min_btn",
                             "Login_Regist_Btn", "Login_Back_Btn"})
    EXPECT_NE(w->Find<QPushButton>(button), nullptr) << button;
  // Every animation frame is in the skin.
  for (int n = 1; n <= 12; ++n)
    EXPECT_TRUE(ui::SkinFileExists(QString("Login\\%1.png").arg(n))) << n;
}

TEST_F(LoginWindow, EmptyFieldsAreRefusedWithoutARequest) {
  auto w = Make();
  ShowAndInit(*w);
  ClickLogin(*w);
  EXPECT_EQ(Message(*w), "用户名密码错误！");
  Type(*w, "demo", "");
  ClickLogin(*w);
  Type(*w, "", "demo123");
  QTest::keyClick(w->Find<QLineEdit>("Login_PassWord_Edit"), Qt::Key_Return);
  EXPECT_EQ(Message(*w), "用户名密码错误！");
  EXPECT_EQ(m_pending.calls, 0);
  EXPECT_TRUE(ButtonEnabled(*w));
}

TEST_F(LoginWindow, BusyAnimationCyclesTwelveFramesAndMessagesEndIt) {
  auto w = Make();
  ShowAndInit(*w);
  Type(*w, "王小明", "pw");
  ClickLogin(*w);
  EXPECT_EQ(m_pending.calls, 1);
  EXPECT_EQ(m_pending.user, "王小明");
  EXPECT_EQ(Message(*w), "");
  EXPECT_FALSE(ButtonEnabled(*w));
  EXPECT_TRUE(w->HasTimer(CLoginUI::kAnimationTimer));

  // Record the frames as they change: 1, 2, ..., 12, then 1 again.
  QStringList frames{Animation(*w)};
  ASSERT_TRUE(PumpUntil([&] {
    if (Animation(*w) != frames.back()) frames << Animation(*w);
    return frames.size() == 14;
  }));
  QStringList expected;
  for (int n = 1; n <= 12; ++n) expected << QString("Login/%1.png").arg(n);
  expected << "Login/1.png"
           << "Login/2.png";
  EXPECT_EQ(frames, expected);
  // The button stays disabled: a second login cannot start.
  ClickLogin(*w);
  EXPECT_EQ(m_pending.calls, 1);

  const std::pair<int, const char*> answers[] = {
      {1000, "用户名或密码错误！"}, {2, "网络异常或服务器无响应！"}, {3, "密码需要重置！"},
      {4, "服务器无响应！"},        {1, "服务器无响应！"},           {-5, "服务器无响应！"}};
  for (const auto& [code, text] : answers) {
    ClickLogin(*w);
    ASSERT_TRUE(w->IsBusy());
    m_pending.onDone(code);  // from the worker; carried out on the window thread
    ASSERT_TRUE(PumpUntil([&] { return !w->IsBusy(); })) << code;
    EXPECT_EQ(Message(*w), QString::fromUtf8(text)) << code;
    EXPECT_TRUE(ButtonEnabled(*w));
    EXPECT_FALSE(w->HasTimer(CLoginUI::kAnimationTimer));
    EXPECT_EQ(Animation(*w), "");
  }
}

TEST_F(LoginWindow, SavedCredentialsFillTheEditsAndMayLogInAtOnce) {
  SaveUser("王小明", "密码 & 100%", "1");
  {
    auto w = Make({"logoff"});
    ShowAndInit(*w);
    EXPECT_EQ(w->Find<QLineEdit>("Login_UserName_Edit")->text(), "王小明");
    EXPECT_EQ(w->Find<QLineEdit>("Login_PassWord_Edit")->text(), "密码 & 100%");
    EXPECT_EQ(m_pending.calls, 0);
  }
  {
    auto w = Make();
    ShowAndInit(*w);
    EXPECT_EQ(m_pending.calls, 1);
    EXPECT_EQ(m_pending.password, "密码 & 100%");
    EXPECT_TRUE(w->IsBusy());
  }
  SaveUser("王小明", "", "1");  // no saved password: nothing to log in with
  {
    auto w = Make({"update"});
    ShowAndInit(*w);
    EXPECT_EQ(w->Find<QLineEdit>("Login_UserName_Edit")->text(), "");
    EXPECT_EQ(m_pending.calls, 1);
  }
}

TEST_F(LoginWindow, PagesTrayAndClose) {
  PointAt(18080);
  auto w = Make();
  ShowAndInit(*w);
  QTest::mouseClick(w->Find<QPushButton>("Login_Regist_Btn"), Qt::LeftButton);
  QTest::mouseClick(w->Find<QPushButton>("Login_Back_Btn"), Qt::LeftButton);
  EXPECT_EQ(m_pages, std::vector<std::string>({"http://127.0.0.1:18080/speed/page/RegisterG.jsp",
                                               "http://127.0.0.1:18080/speed/page/ForgetPsd.jsp"}));

  // Without a notification area the window is only minimised, never lost.
  QTest::mouseClick(w->Find<QPushButton>("Login_min_btn"), Qt::LeftButton);
  EXPECT_FALSE(w->TrayShown());
  EXPECT_TRUE(w->isVisible());
  w->showNormal();

  ui::CTrayIcon::SetAvailableForTesting(true);
  QTest::mouseClick(w->Find<QPushButton>("Login_min_btn"), Qt::LeftButton);
  ui::CTrayIcon::SetAvailableForTesting(false);
  EXPECT_FALSE(w->isVisible());
  EXPECT_TRUE(w->TrayShown());
  // Posted messages are handled in order: once the marker ran, the right click was handled.
  bool marker = false;
  w->PostMessage(ui::kTrayCallbackMessage, ui::kTrayIconId, ui::kMouseRightDown);
  ui::Post([&] { marker = true; });
  ASSERT_TRUE(PumpUntil([&] { return marker; }));
  EXPECT_FALSE(w->isVisible());
  w->PostMessage(ui::kTrayCallbackMessage, ui::kTrayIconId, ui::kMouseLeftDoubleClick);
  ASSERT_TRUE(PumpUntil([&] { return w->isVisible(); }));
  EXPECT_FALSE(w->TrayShown());

  QTest::mouseClick(w->Find<QPushButton>("Login_close_btn"), Qt::LeftButton);
  w->close();
  EXPECT_EQ(m_exitCodes, std::vector<int>({0, 0}));
}

TEST_F(LoginWindow, CloseButtonEndsTheProcessAtOnce) {
  auto w = std::make_unique<CLoginUI>();
  ASSERT_TRUE(w->Create());
  EXPECT_EXIT(QTest::mouseClick(w->Find<QPushButton>("Login_close_btn"), Qt::LeftButton),
              testing::ExitedWithCode(0), "");
}

// The whole way through the session and the lab.
class LoginWindowLab : public LoginWindow {
 protected:
  static void SetUpTestSuite() { s_lab = new LabProcess({"--management"}); }
  static void TearDownTestSuite() {
    delete s_lab;
    s_lab = nullptr;
  }
  void SetUp() override {
    LoginWindow::SetUp();
    ASSERT_TRUE(s_lab->Started()) << s_lab->Error();
    PointAt(s_lab->Port("management"));
  }
  static LabProcess* s_lab;
};
LabProcess* LoginWindowLab::s_lab = nullptr;

TEST_F(LoginWindowLab, AcceptedLoginClosesWithOne) {
  CLoginUI w;
  ASSERT_TRUE(w.Create());
  QTimer::singleShot(0, &w, [&] {
    Type(w, "demo", "demo123");
    ClickLogin(w);
  });
  EXPECT_EQ(w.ShowModal(), 1);
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(CDataBase::Instance().GetUserInfo().userId, "10001");
  EXPECT_EQ(DecodeStoredValue(conf::Read(conf::kUser, "username")), "demo");
}

TEST_F(LoginWindowLab, WrongPasswordShowsTheMessageAndReenablesTheButton) {
  CLoginUI w;
  ASSERT_TRUE(w.Create());
  ShowAndInit(w);
  Type(w, "demo", "wrong");
  ClickLogin(w);
  EXPECT_FALSE(ButtonEnabled(w));
  ASSERT_TRUE(PumpUntil([&] { return ButtonEnabled(w); }));
  EXPECT_EQ(Message(w), "用户名或密码错误！");
  EXPECT_EQ(Animation(w), "");
  EXPECT_TRUE(w.isVisible());
}

}  // namespace
