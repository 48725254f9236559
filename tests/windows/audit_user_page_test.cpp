// The audit window, the user pages and the greeting's last login against the lab's management
// and time roles, with real properties files.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QtTest/QTest>
#include <ctime>

#include "core/data_base.h"
#include "core/http_transport.h"
#include "core/properties_file.h"
#include "core/server_session.h"
#include "lab_fixture.h"
#include "test_support.h"
#include "ui/controls.h"
#include "ui/message_box.h"
#include "ui/skin.h"
#include "windows/auditing_form.h"
#include "windows/score_popup_form.h"
#include "windows/user_page.h"

namespace {

bool PumpUntil(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

const char kAccounts[] = R"({"accounts": [
  {"username": "王小明&1", "password": "密码 1", "statuscode": "0", "userid": "30001",
   "nickname": "小明", "usertype": "5", "scores": "70,75,65", "audit": "6"},
  {"username": "demo", "password": "demo123", "statuscode": "0", "userid": "10001",
   "nickname": "演示用户", "usertype": "1", "scores": "86,90,82"}
]})";

class LabWindows : public ProgramFolderTest {
 protected:
  static void SetUpTestSuite() {
    s_accounts = testing::TempDir() + "/kestrane-window-accounts.json";
    testsupport::WriteFile(s_accounts, kAccounts);
    s_lab = new LabProcess({"--management", "--time", "--management-accounts=" + s_accounts});
  }
  static void TearDownTestSuite() {
    delete s_lab;
    s_lab = nullptr;
  }

  void SetUp() override {
    ProgramFolderTest::SetUp();
    ASSERT_TRUE(s_lab->Started()) << s_lab->Error();
    CopyFromDist("Skin.zip");
    ASSERT_TRUE(ui::SetResourceZip(QString::fromStdString(At("Skin.zip"))));
    s_lab->Set("management", "key", "");
    s_lab->Set("time", "audit", "");
    PointAt(s_lab->Port("management"), s_lab->Url("time"));
    Write("resolv.conf",
          "# written by a test\nsearch example\nnameserver 192.0.2.53\n"
          "nameserver 192.0.2.54\n");
    audit::SetResolverFile(At("resolv.conf"));
    audit::SetWait(std::chrono::milliseconds(50));
    UserInfo user;
    user.userId = "30001";
    user.userType = 5;
    CDataBase::Instance().SetUserInfo(user);
    CDataBase::Instance().SetClientAddress("10.9.8.7");
    ui::SetMessageBoxHandler(
        [this](const QString& text, const QString& caption, ui::MessageButtons) {
          m_boxes.push_back((caption + "|" + text).toStdString());
          return ui::kIdOk;
        });
    SetUserPageOpener([this](const std::string& url) {
      m_opened.push_back(url);
      return true;
    });
  }
  void TearDown() override {
    ui::SetMessageBoxHandler({});
    SetUserPageOpener({});
    audit::SetWait(audit::kWait);
    audit::SetResolverFile("/etc/resolv.conf");
    ProgramFolderTest::TearDown();
  }

  void PointAt(int port, const std::string& timeUrl) {
    Write("conf/config.properties",
          "#user config\n#Mon Dec 07 10:00:00 UTC 2026\nupdate_server_url=" +
              EncodeStoredValue("127.0.0.1") + "\nweb_project_port=" + std::to_string(port) +
              "\nweb_project_name=kestrane\nlogin_servlet=login\ninterface=client\n"
              "s_coru_e=score\nview_ui=view\nview_ui_k=viewk\ntime_server_url=" +
              timeUrl + "\n");
  }
  void SaveUser(const std::string& user, const std::string& password, const std::string& stamp) {
    Write("conf/l_c_config_01.properties",
          "#user config\n#Mon Dec 07 10:00:00 UTC 2026\nusername=" + EncodeStoredValue(user) +
              "\nuserpass=" + EncodeStoredValue(password) +
              "\nrem=0\nauto=0\nuname=\nuserid=30001\npre_date=" + stamp + "\n");
  }

  // Starts an audit from the window's first page and waits for the verdict's page.
  int Audit(int mode = 0) {
    CAuditingForm w(mode);
    EXPECT_TRUE(w.Create());
    w.show();
    EXPECT_TRUE(PumpUntil([&] { return w.WindowInitDone(); }));
    EXPECT_EQ(w.CurrentPage(), mode);
    QTest::mouseClick(w.Find<QPushButton>(mode == 4 ? "Audit_AgainStartOK_btn" : "Audit_OK_btn"),
                      Qt::LeftButton);
    EXPECT_EQ(w.CurrentPage(), CAuditingForm::kPageWaiting);
    EXPECT_EQ(ui::BkImage(w.FindControl("Audit_Loading_lab")), "common/1.png");
    // The animation runs until the verdict is in.
    EXPECT_TRUE(PumpUntil([&] { return !w.HasTimer(CAuditingForm::kAnimationTimer); }));
    EXPECT_TRUE(w.State() && w.State()->done);
    return w.CurrentPage();
  }

  std::string Stat(const std::string& role, const std::string& key) {
    return s_lab->Stats(role).all[key];
  }

  static LabProcess* s_lab;
  static std::string s_accounts;
  std::vector<std::string> m_boxes;
  std::vector<std::string> m_opened;
};
LabProcess* LabWindows::s_lab = nullptr;
std::string LabWindows::s_accounts;

TEST_F(LabWindows, AuditVerdictsSelectTheirPages) {
  // By the account: 30001 is under review (6).
  EXPECT_EQ(Audit(), CAuditingForm::kPageReview);
  EXPECT_EQ(CDataBase::Instance().GetUserInfo().userType, 6);
  EXPECT_EQ(Stat("time", "last_audit_dnsip"), "192.0.2.53");
  EXPECT_EQ(Stat("time", "last_audit_ip"), "10.9.8.7");
  EXPECT_EQ(Stat("time", "last_audit_userid"), "30001");

  const std::pair<const char*, int> verdicts[] = {
      {"8", CAuditingForm::kPagePassed},        {"7", CAuditingForm::kPageFailed},
      {"6", CAuditingForm::kPageReview},        {"badjson", CAuditingForm::kPageFailed},
      {"nomember", CAuditingForm::kPageFailed}, {"empty", CAuditingForm::kPageFailed}};
  for (const auto& [mode, page] : verdicts) {
    ASSERT_TRUE(s_lab->Set("time", "audit", mode));
    EXPECT_EQ(Audit(), page) << mode;
    int expected = std::string(mode) == "8" ? 8 : std::string(mode) == "6" ? 6 : 7;
    EXPECT_EQ(CDataBase::Instance().GetUserInfo().userType, expected) << mode;
  }
  // Another verdict keeps the page the window was on: the waiting page, which can be closed.
  ASSERT_TRUE(s_lab->Set("time", "audit", "3"));
  EXPECT_EQ(Audit(4), CAuditingForm::kPageWaiting);
  EXPECT_EQ(CDataBase::Instance().GetUserInfo().userType, 3);

  // The audit log notes the addresses used.
  char day[32];
  std::time_t now = std::time(nullptr);
  std::strftime(day, sizeof day, "log/%Y-%m-%dAudit.log", std::localtime(&now));
  std::string log = Read(day);
  EXPECT_NE(log.find(",client address 10.9.8.7\n"), std::string::npos) << log;
  EXPECT_NE(log.find(",dns 192.0.2.53\n"), std::string::npos) << log;
}

TEST_F(LabWindows, AuditWithoutAServerFailsAfterTheWait) {
  PointAt(s_lab->Port("management"), "http://127.0.0.1:" + std::to_string(testsupport::FreePort()));
  audit::SetWait(std::chrono::milliseconds(400));
  QElapsedTimer t;
  t.start();
  EXPECT_EQ(Audit(), CAuditingForm::kPageFailed);
  EXPECT_GE(t.elapsed(), 400);
  EXPECT_EQ(CDataBase::Instance().GetUserInfo().userType, 7);
  EXPECT_EQ(audit::ReplyUserType("{\"usertype\":8}"), 8);
  EXPECT_EQ(audit::ReplyUserType("{\"usertype\":\" 6 \"}"), 6);
  EXPECT_EQ(audit::ReplyUserType("{\"usertype\":\"eight\"}"), 7);
  EXPECT_EQ(audit::ReplyUserType("[8]"), 7);
  EXPECT_EQ(audit::ReplyUserType("{\"usertype\":null}"), 7);
  EXPECT_EQ(audit::FirstNameServer(At("missing")), "");
}

TEST_F(LabWindows, ClosingTheWindowMidWaitLetsTheRequestFinish) {
  ASSERT_TRUE(s_lab->Set("time", "audit", "8"));
  audit::SetWait(std::chrono::milliseconds(1500));
  int before = std::stoi(Stat("time", "audit_requests"));
  std::shared_ptr<AuditState> state;
  {
    auto* w = new CAuditingForm;
    ASSERT_TRUE(w->Create());
    w->SetDeleteOnClose(true);
    w->show();
    ASSERT_TRUE(PumpUntil([&] { return w->WindowInitDone(); }));
    QTest::mouseClick(w->Find<QPushButton>("Audit_OK_btn"), Qt::LeftButton);
    state = w->State();
    ASSERT_NE(state, nullptr);
    // A second start while waiting is refused.
    w->SendNotify(ui::kClick, w->FindControl("Audit_OK_btn"));
    EXPECT_EQ(w->State(), state);
    // The waiting images go round 1 to 8 and start again.
    QStringList frames{ui::BkImage(w->FindControl("Audit_Loading_lab"))};
    ASSERT_TRUE(PumpUntil([&] {
      QString now = ui::BkImage(w->FindControl("Audit_Loading_lab"));
      if (now != frames.back()) frames << now;
      return frames.size() == 9;
    }));
    EXPECT_EQ(frames.join(","),
              "common/1.png,common/2.png,common/3.png,common/4.png,common/5.png,"
              "common/6.png,common/7.png,common/8.png,common/1.png");
    QTest::mouseClick(w->Find<QPushButton>("Audit_IngOK_btn"), Qt::LeftButton);
    EXPECT_FALSE(state->done);
  }
  QApplication::processEvents();
  ASSERT_TRUE(testsupport::WaitFor([&] { return state->finished.load(); }));
  EXPECT_EQ(state->userType, 8);
  EXPECT_EQ(CDataBase::Instance().GetUserInfo().userType, 8);
  EXPECT_EQ(std::stoi(Stat("time", "audit_requests")), before + 1);
}

TEST_F(LabWindows, UserPageCarriesTheUserKeyAndType) {
  SaveUser("王小明&1", "密码 1", "");
  bool done = false;
  OpenUserPage("score", nullptr, [&] { done = true; });
  ASSERT_TRUE(PumpUntil([&] { return done; }));
  ASSERT_EQ(m_opened.size(), 1u);
  EXPECT_TRUE(m_boxes.empty());
  const std::string& url = m_opened[0];
  const std::string key = Stat("management", "last_key");
  EXPECT_EQ(url.rfind(s_lab->Url("management", "/kestrane/view?u="), 0), 0u) << url;
  EXPECT_NE(
      url.find("&p=" + session::PasswordDigest("密码 1") + "&reqkey=" + key + "&pagetype=score"),
      std::string::npos)
      << url;
  // The page itself: the server reads back the name whole.
  std::string page;
  ASSERT_EQ(HttpGetText(url, page), kHttpDone);
  EXPECT_EQ(Stat("management", "last_page_user"), "王小明&1");
  EXPECT_EQ(Stat("management", "last_page_digest"), session::PasswordDigest("密码 1"));
  EXPECT_EQ(Stat("management", "last_page_key"), key);
  EXPECT_EQ(Stat("management", "last_page_type"), "score");
  EXPECT_NE(page.find("小明"), std::string::npos) << page;

  done = false;
  OpenUserPage("BBS", nullptr, [&] { done = true; });
  ASSERT_TRUE(PumpUntil([&] { return done; }));
  ASSERT_EQ(m_opened.size(), 2u);
  EXPECT_NE(m_opened[1].find("&pagetype=BBS"), std::string::npos);
}

TEST_F(LabWindows, UserPageUnderMaintenanceOrWithoutAServerOpensNothing) {
  SaveUser("demo", "demo123", "");
  ASSERT_TRUE(s_lab->Set("management", "key", "empty"));
  bool done = false;
  OpenUserPage("update", nullptr, [&] { done = true; });
  ASSERT_TRUE(PumpUntil([&] { return done; }));
  EXPECT_EQ(m_boxes, std::vector<std::string>{std::string("提示|") + kUserPageMaintenance});

  PointAt(testsupport::FreePort(), s_lab->Url("time"));
  done = false;
  OpenUserPage("update", nullptr, [&] { done = true; });
  ASSERT_TRUE(PumpUntil([&] { return done; }));
  ASSERT_EQ(m_boxes.size(), 2u);
  EXPECT_EQ(m_boxes[1], std::string("提示|") + kUserPageNoServer);
  EXPECT_TRUE(m_opened.empty());
}

TEST_F(LabWindows, GreetingAfterALoginShowsTheLoginBefore) {
  SaveUser("demo", "demo123", "2026-12-01 08\\:00\\:00");
  ASSERT_EQ(session::RunLogin("demo", "demo123"), session::kLoginAccepted);
  // The file now holds this login's stamp.
  EXPECT_NE(conf::Read(conf::kUser, "pre_date"), "2026-12-01 08\\:00\\:00");
  CScorePopupForm w;
  ASSERT_TRUE(w.Create());
  w.show();
  ASSERT_TRUE(PumpUntil([&] { return w.WindowInitDone(); }));
  EXPECT_EQ(ui::Text(w.FindControl("Bombox_Lasttime_Lab")), "上次登录:2026-12-01 08:00:00");
  EXPECT_EQ(ui::Text(w.FindControl("Bombox_SumScore_Lab")), "86");

  // A first login: no stamp before.
  CDataBase::Instance().Reset();
  CDataBase::Instance().SetClientAddress("10.9.8.7");
  SaveUser("demo", "demo123", "");
  ASSERT_EQ(session::RunLogin("demo", "demo123"), session::kLoginAccepted);
  CScorePopupForm first;
  ASSERT_TRUE(first.Create());
  first.show();
  ASSERT_TRUE(PumpUntil([&] { return first.WindowInitDone(); }));
  EXPECT_EQ(ui::Text(first.FindControl("Bombox_Lasttime_Lab")), "上次登录:您是第一次登录");
}

}  // namespace
