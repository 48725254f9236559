// The small windows built from the program's own Skin.zip and driven as a user would: their
// controls, texts, flags, files, the generic questions and the drop shadow.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPainterPath>
#include <QPushButton>
#include <QStackedWidget>
#include <QTextEdit>
#include <QTimer>
#include <QtTest/QTest>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <thread>

#include "core/data_base.h"
#include "history/history_record.h"
#include "test_support.h"
#include "ui/controls.h"
#include "ui/skin.h"
#include "windows/about_from.h"
#include "windows/auditing_form.h"
#include "windows/confirm_dlg.h"
#include "windows/first_screen_form.h"
#include "windows/message_form.h"
#include "windows/quit_actions.h"
#include "windows/quit_form.h"
#include "windows/score_popup_form.h"
#include "windows/score_tip.h"
#include "windows/speed_explanation_form.h"
#include "windows/speed_hit_form.h"
#include "windows/stop_speed.h"
#include "windows/update_form.h"
#include "windows/warning_dlg.h"
#include "windows/wnd_shadow.h"

namespace {

bool PumpUntil(const std::function<bool()>& done, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

void Click(ui::CWindowWnd& w, const char* name) {
  auto* button = w.Find<QAbstractButton>(name);
  ASSERT_NE(button, nullptr) << name;
  QTest::mouseClick(button, Qt::LeftButton);
}

QString Text(ui::CWindowWnd& w, const char* name) { return ui::Text(w.FindControl(name)); }

// A visible top-level window of that name, once one is up.
ui::CWindowWnd* OpenWindow(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == name && w->isVisible()) return qobject_cast<ui::CWindowWnd*>(w);
  return nullptr;
}

class SecondaryWindows : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("Skin.zip");
    ASSERT_TRUE(ui::SetResourceZip(QString::fromStdString(At("Skin.zip"))));
    UserInfo user;
    user.userId = "4321";
    user.nickname = "王小明";
    CDataBase::Instance().SetUserInfo(user);
    CDataBase::Instance().SetScores({"86", "90", "82"});
    quit::SetExitHandler([this](int code) { m_exits.push_back(code); });
  }
  void TearDown() override {
    quit::SetExitHandler({});
    ProgramFolderTest::TearDown();
  }

  static void ShowAndInit(ui::CWindowWnd& w) {
    w.show();
    ASSERT_TRUE(PumpUntil([&] { return w.WindowInitDone(); }));
  }

  std::vector<int> m_exits;
};

TEST_F(SecondaryWindows, EveryWindowIsBuiltWithEveryNamedControl) {
  struct Case {
    std::function<ui::CWindowWnd*()> make;
    QString windowName;
    std::vector<const char*> controls;
  };
  const Case cases[] = {
      {[] {
         auto* w = new CScorePopupForm;
         return w->Create() ? w : nullptr;
       },
       "ScorePopupUI",
       {"Bombox_Caption_Lab", "Bombox_UserID_Lab", "Bombox_UserName_Lab", "Bombox_SumScore_Lab",
        "Bombox_BandScore_Lab", "Bombox_ExpScore_Lab", "Bombox_Lasttime_Lab", "Bombox_close_btn",
        "Bombox_Sel_btn"}},
      {[] {
         auto* w = new CScoreTip;
         return w->Create() ? w : nullptr;
       },
       "SorceAdd",
       {"Sorce_UserName_Lab", "Sorce_sumSorce_Lab", "Sorce_Bandwidth_Lab", "Sorce_UserSorce_Lab",
        "Set_close_btn", "Sorce_Cancellation_btn"}},
      {[] {
         auto* w = new CMessageForm;
         return w->Create() ? w : nullptr;
       },
       "MessageForm",
       {"Message_close_btn", "Message_NO_btn", "Message_OK_btn"}},
      {[] {
         auto* w = new CStopSpeed;
         return w->Create() ? w : nullptr;
       },
       "StopSpeedUI",
       {"StopSpeed_SumScore_Lab", "StopSpeed_BandScore_Lab", "StopSpeed_ExpScore_Lab",
        "StopSpeed_Count_Lab", "StopSpeed_FCount_Lab", "StopSpeed_Text", "StopSpeed_Time_Lab",
        "StopSpeed_close_btn", "StopSpeed_OK_btn", "StopSpeed_NO_btn"}},
      {[] {
         auto* w = new CAuditingForm;
         return w->Create() ? w : nullptr;
       },
       "AuditDlg",
       {"tab_Audit", "Audit_Loading_lab", "Audit_OK_btn", "Audit_AgainStartOK_btn",
        "Audit_AgainOK_btn", "Audit_NO_btn", "Audit_AgainStartNO_btn", "Audit_AgainNO_btn",
        "Audit_StartSorce_btn", "Audit_IngOK_btn"}},
      {[] {
         auto* w = new CSpeedHitForm;
         return w->Create() ? w : nullptr;
       },
       "SpeedHitUI",
       {"SpeedHit_HIT_check", "SpeedHit_OK_btn", "SpeedHit_close_btn"}},
      {[] {
         auto* w = new CQuitForm(CQuitForm::kQuitText);
         return w->Create() ? w : nullptr;
       },
       "QuitUI",
       {"Quit_Content_text", "Quit_close_btn", "Quit_NO_btn", "Quit_OK_btn"}},
      {[] {
         auto* w = new CUpdateForm("");
         return w->Create() ? w : nullptr;
       },
       "cUpdate",
       {"Update_Content_RichEdit", "Update_close_btn", "Update_NO_btn", "Update_OK_btn"}},
      {[] {
         auto* w = new CAboutFrom;
         return w->Create() ? w : nullptr;
       },
       "About",
       {"About_close_btn", "About_Url_btn"}},
      {[] {
         auto* w = new CSpeedExplanationForm;
         return w->Create() ? w : nullptr;
       },
       "ExplanationForm",
       {"Explanation_close_btn", "Explanation_OK_btn"}},
      {[] {
         auto* w = new CFirstScreenForm("1 s");
         return w->Create() ? w : nullptr;
       },
       "FirstScreenUI",
       {"FirstS_Time_lab", "FirstS_close_btn"}},
      {[] {
         auto* w = new CWarningDlg("x");
         return w->Create("WarningDlg") ? w : nullptr;
       },
       "WarningDlg",
       {"warning_text", "ok_btn", "close_btn"}},
      {[] {
         auto* w = new CConfirmDlg("x");
         return w->Create() ? w : nullptr;
       },
       "CConfirmDlg",
       {"confirm_text", "yes_btn", "no_btn", "close_btn"}},
  };
  for (const Case& c : cases) {
    std::unique_ptr<ui::CWindowWnd> w(c.make());
    ASSERT_NE(w, nullptr) << c.windowName.toStdString();
    EXPECT_EQ(w->objectName(), c.windowName);
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::FramelessWindowHint));
    for (const char* name : c.controls)
      EXPECT_NE(w->FindControl(name), nullptr) << c.windowName.toStdString() << " " << name;
  }
  // The audit pages, and the waiting animation's frames.
  CAuditingForm audit;
  ASSERT_TRUE(audit.Create());
  EXPECT_EQ(audit.Find<QStackedWidget>("tab_Audit")->count(), 6);
  CSpeedHitForm hint;
  ASSERT_TRUE(hint.Create());
  EXPECT_NE(hint.Find<QCheckBox>("SpeedHit_HIT_check"), nullptr);
  for (int n = 1; n <= 8; ++n)
    EXPECT_TRUE(ui::SkinFileExists(QString("common\\%1.png").arg(n))) << n;
}

TEST_F(SecondaryWindows, GreetingSaysMorningOrAfternoonAndTheLastLogin) {
  EXPECT_EQ(CScorePopupForm::Greeting(QTime(11, 59, 59)), "尊敬的Veltrane用户，上午好!");
  EXPECT_EQ(CScorePopupForm::Greeting(QTime(12, 0)), "尊敬的Veltrane用户，下午好!");
  EXPECT_EQ(CScorePopupForm::Greeting(QTime(0, 0)), "尊敬的Veltrane用户，上午好!");
  EXPECT_EQ(CScorePopupForm::LastLoginText("2026-12-06 09\\:05\\:07"),
            "上次登录:2026-12-06 09:05:07");
  // A stamp written without the backslashes keeps every digit.
  EXPECT_EQ(CScorePopupForm::LastLoginText("2026-12-06 09:05:07"), "上次登录:2026-12-06 09:05:07");
  EXPECT_EQ(CScorePopupForm::LastLoginText(""), "上次登录:您是第一次登录");
  EXPECT_EQ(CScorePopupForm::LastLoginText("null"), "上次登录:null");

  // Without a login of this run the file's stamp is shown.
  Write("conf/l_c_config_01.properties", "pre_date=2026-12-01 08\\:00\\:00\nuserid=4321\n");
  CScorePopupForm w;
  w.SetClock([] { return QDateTime(QDate(2026, 12, 7), QTime(12, 0)); });
  ASSERT_TRUE(w.Create());
  ShowAndInit(w);
  EXPECT_EQ(Text(w, "Bombox_Caption_Lab"), "尊敬的Veltrane用户，下午好!");
  EXPECT_EQ(Text(w, "Bombox_UserID_Lab"), "4321");
  EXPECT_EQ(Text(w, "Bombox_UserName_Lab"), "王小明");
  EXPECT_EQ(Text(w, "Bombox_SumScore_Lab"), "86");
  EXPECT_EQ(Text(w, "Bombox_BandScore_Lab"), "90");
  EXPECT_EQ(Text(w, "Bombox_ExpScore_Lab"), "82");
  EXPECT_EQ(Text(w, "Bombox_Lasttime_Lab"), "上次登录:2026-12-01 08:00:00");

  // The login's kept value wins over the file, which the login has stamped over.
  CDataBase::Instance().SetPreviousLogin("");
  CScorePopupForm first;
  ASSERT_TRUE(first.Create());
  ShowAndInit(first);
  EXPECT_EQ(Text(first, "Bombox_Lasttime_Lab"), "上次登录:您是第一次登录");
}

TEST_F(SecondaryWindows, GreetingClosesItselfAfterElevenTicks) {
  CScorePopupForm w;
  w.SetTickInterval(15);
  std::vector<std::string> pages;
  w.SetPageOpener([&](const std::string& type) { pages.push_back(type); });
  ASSERT_TRUE(w.Create());
  QElapsedTimer t;
  t.start();
  EXPECT_EQ(w.ShowModal(), 1);
  EXPECT_EQ(w.Ticks(), CScorePopupForm::kLifeTicks);
  EXPECT_GE(t.elapsed(), 11 * 15);
  EXPECT_FALSE(w.isVisible());
  EXPECT_TRUE(pages.empty());

  CScorePopupForm sel;
  sel.SetPageOpener([&](const std::string& type) { pages.push_back(type); });
  ASSERT_TRUE(sel.Create());
  ShowAndInit(sel);
  Click(sel, "Bombox_Sel_btn");
  EXPECT_EQ(pages, std::vector<std::string>{"score"});
  EXPECT_FALSE(sel.isVisible());
  EXPECT_FALSE(sel.HasTimer(CScorePopupForm::kTimer));
}

TEST_F(SecondaryWindows, StopWindowShowsTheRunAndNoStopsIt) {
  CDataBase& data = CDataBase::Instance();
  const int64_t now = 1796000000;
  data.autoStartTime = now - (86400 + 3600 + 60 + 1);
  data.autoScheduledCount = 12;
  data.autoCompletedCount = 11;
  data.SetLastResult("");
  data.testBusy = 1;
  data.testRunEnabled = 1;
  {
    CStopSpeed w;
    int64_t clock = now;
    w.SetClock([&] { return clock; });
    ASSERT_TRUE(w.Create());
    ShowAndInit(w);
    EXPECT_EQ(Text(w, "StopSpeed_Time_Lab"), "1天1小时1分钟1秒");
    EXPECT_EQ(Text(w, "StopSpeed_Count_Lab"), "12");
    EXPECT_EQ(Text(w, "StopSpeed_FCount_Lab"), "11");
    EXPECT_EQ(Text(w, "StopSpeed_Text"), "暂无测速记录");
    EXPECT_EQ(Text(w, "StopSpeed_SumScore_Lab"), "86");
    // Refilled every second.
    clock += 86400 * 2 + 3600 * 22 + 58 * 60 + 58;
    data.SetLastResult("带宽测速 94.6Mb/s");
    ASSERT_TRUE(
        PumpUntil([&] { return Text(w, "StopSpeed_Time_Lab") == "3天23小时59分钟59秒"; }, 3000));
    EXPECT_EQ(Text(w, "StopSpeed_Text"), "带宽测速 94.6Mb/s");
    Click(w, "StopSpeed_OK_btn");
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.HasTimer(CStopSpeed::kTimer));
    EXPECT_EQ(data.testBusy, 1);
    EXPECT_EQ(data.testRunEnabled, 1);
  }
  {
    CStopSpeed w;
    ASSERT_TRUE(w.Create());
    ShowAndInit(w);
    Click(w, "StopSpeed_NO_btn");
    EXPECT_EQ(data.testBusy, 0);
    EXPECT_EQ(data.testRunEnabled, 0);
  }
  // No start time yet, or one in the future (the clock was set back): nothing elapsed.
  for (int64_t start : {int64_t{0}, now + 500}) {
    data.autoStartTime = start;
    CStopSpeed w;
    w.SetClock([&] { return now; });
    ASSERT_TRUE(w.Create());
    ShowAndInit(w);
    EXPECT_EQ(Text(w, "StopSpeed_Time_Lab"), "0天0小时0分钟0秒") << start;
  }
}

TEST_F(SecondaryWindows, AutomaticTestingQuestionAndFirstScreenSetTheFlags) {
  CDataBase& data = CDataBase::Instance();
  data.testRunEnabled = 0;
  {
    CMessageForm w;
    ASSERT_TRUE(w.Create());
    ShowAndInit(w);
    Click(w, "Message_NO_btn");
    EXPECT_EQ(data.testBusy, 0);
    EXPECT_EQ(data.testRunEnabled, 0);
  }
  {
    CMessageForm w;
    ASSERT_TRUE(w.Create());
    QTimer::singleShot(0, &w, [&] { Click(w, "Message_OK_btn"); });
    EXPECT_EQ(w.ShowModal(), 1);
    EXPECT_EQ(data.testBusy, 1);
    EXPECT_EQ(data.testRunEnabled, 1);
  }
  {
    CFirstScreenForm w("1.38 s");
    ASSERT_TRUE(w.Create());
    ShowAndInit(w);
    EXPECT_EQ(Text(w, "FirstS_Time_lab"), "1.38 s");
    Click(w, "FirstS_close_btn");
    EXPECT_EQ(data.testBusy, 0);
    EXPECT_EQ(data.testRunEnabled, 1);
  }
  {
    // Modeless, on top, without taking the focus; it deletes itself once closed.
    QPointer<CFirstScreenForm> w = new CFirstScreenForm("2.00 s");
    ASSERT_TRUE(w->Create());
    w->ShowModeless();
    ASSERT_TRUE(PumpUntil([&] { return w->WindowInitDone(); }));
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w->testAttribute(Qt::WA_ShowWithoutActivating));
    data.testBusy = 1;
    Click(*w, "FirstS_close_btn");
    EXPECT_EQ(data.testBusy, 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(w.isNull());
  }
}

TEST_F(SecondaryWindows, UpdateNotesAndAbout) {
  {
    CUpdateForm w("1. 修复问题\n2. 新功能");
    ASSERT_TRUE(w.Create());
    QTimer::singleShot(0, &w, [&] { Click(w, "Update_OK_btn"); });
    EXPECT_EQ(w.ShowModal(), 1);
    EXPECT_TRUE(w.UpdateChosen());
    EXPECT_EQ(Text(w, "Update_Content_RichEdit"), "1. 修复问题\n2. 新功能");
  }
  {
    CUpdateForm w("");
    ASSERT_TRUE(w.Create());
    QString shipped = Text(w, "Update_Content_RichEdit");
    QTimer::singleShot(0, &w, [&] { Click(w, "Update_NO_btn"); });
    EXPECT_EQ(w.ShowModal(), 2);
    EXPECT_FALSE(w.UpdateChosen());
    EXPECT_EQ(Text(w, "Update_Content_RichEdit"), shipped);
  }
  std::vector<std::string> opened;
  for (const char* site : {"", "null", "http://www.example.com/"}) {
    Write("conf/config.properties", std::string("vendor_site_url=") + site + "\n");
    CAboutFrom w;
    w.SetPageOpener([&](const std::string& url) {
      opened.push_back(url);
      return true;
    });
    ASSERT_TRUE(w.Create());
    ShowAndInit(w);
    w.SendNotify(ui::kClick, w.FindControl("About_Url_btn"));
    EXPECT_EQ(w.FindControl("About_Url_btn")->isVisibleTo(&w), std::string(site).size() > 4)
        << site;
  }
  EXPECT_EQ(opened, std::vector<std::string>{"http://www.example.com/"});
}

TEST_F(SecondaryWindows, HintSwitchWritesFalseOnlyWhenTicked) {
  const std::string file = "Config/settings4321.xml";
  const std::string original =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<settings>\n<history>\n<bsave>true</bsave>\n"
      "</history>\n<HintMessage>\n<IsBool>true</IsBool>\n</HintMessage>\n</settings>\n";
  Write(file, original);
  {
    CSpeedHitForm w;
    ASSERT_TRUE(w.Create());
    ShowAndInit(w);
    Click(w, "SpeedHit_OK_btn");
    EXPECT_EQ(Read(file), original);
  }
  {
    CSpeedHitForm w;
    ASSERT_TRUE(w.Create());
    ShowAndInit(w);
    Click(w, "SpeedHit_HIT_check");
    Click(w, "SpeedHit_close_btn");  // closing is not OK
    EXPECT_EQ(Read(file), original);
  }
  {
    CSpeedHitForm w;
    ASSERT_TRUE(w.Create());
    ShowAndInit(w);
    Click(w, "SpeedHit_HIT_check");
    Click(w, "SpeedHit_OK_btn");
    std::string now = Read(file);
    EXPECT_NE(now.find("<IsBool>false</IsBool>"), std::string::npos) << now;
    EXPECT_NE(now.find("<bsave>true</bsave>"), std::string::npos) << now;
  }
  std::filesystem::remove(At(file));
  {
    CSpeedHitForm w;
    ASSERT_TRUE(w.Create());
    ShowAndInit(w);
    Click(w, "SpeedHit_HIT_check");
    Click(w, "SpeedHit_OK_btn");
    EXPECT_FALSE(testsupport::Exists(At(file)));
  }
}

class QuitWindow : public SecondaryWindows {
 protected:
  void SetUp() override {
    SecondaryWindows::SetUp();
    for (int i = 0; i < 3; ++i)
      AddHistoryRecord("2026-12-07 10:0" + std::to_string(i) + ":00", "带宽测速", "电信",
                       "94.6Mb/s", "手动", false, 0);
  }
  int Rows() {
    HistoryRecordList list;
    return ReadHistoryRecords(list);
  }
  void Settings(bool keep) {
    Write("Config/settings4321.xml", std::string("<settings><history><bsave>") +
                                         (keep ? "true" : "false") +
                                         "</bsave></history></settings>\n");
  }
  // A program that notes its arguments in a file of its own name.
  void Stub(const std::string& name) {
    Write(name, "#!/bin/sh\necho \"$@\" > \"" + At(name + ".ran") + "\"\n");
    std::filesystem::permissions(At(name), std::filesystem::perms::owner_all);
  }
  void Answer(const QString& text, const char* button) {
    CQuitForm w(text);
    ASSERT_TRUE(w.Create());
    ShowAndInit(w);
    EXPECT_EQ(Text(w, "Quit_Content_text"), text);
    Click(w, button);
    EXPECT_FALSE(w.isVisible());
  }
};

TEST_F(QuitWindow, QuitDeletesTheHistoryUnlessItIsKept) {
  ASSERT_EQ(Rows(), 3);
  Settings(false);
  Answer(CQuitForm::kQuitText, "Quit_NO_btn");
  Answer(CQuitForm::kQuitText, "Quit_close_btn");
  EXPECT_EQ(Rows(), 3);
  EXPECT_TRUE(m_exits.empty());

  Settings(true);
  Answer(CQuitForm::kQuitText, "Quit_OK_btn");
  EXPECT_EQ(Rows(), 3);
  EXPECT_EQ(m_exits, std::vector<int>{0});

  Settings(false);
  Answer(CQuitForm::kQuitText, "Quit_OK_btn");
  EXPECT_EQ(Rows(), 0);
  EXPECT_TRUE(testsupport::Exists(At("DB/Data4321.db")));
  EXPECT_EQ(m_exits, std::vector<int>({0, 0}));
}

TEST_F(QuitWindow, LogOffStartsTheUpdaterOrRestartsDirectly) {
  Stub("Update");
  Stub("Kestrane");
  Answer(CQuitForm::kLogOffText, "Quit_OK_btn");
  ASSERT_TRUE(testsupport::WaitFor([&] { return testsupport::Exists(At("Update.ran")); }));
  ASSERT_TRUE(testsupport::WaitFor([&] { return Read("Update.ran") == "logoff\n"; }));
  EXPECT_TRUE(m_exits.empty());  // the updater ends the program
  EXPECT_EQ(Rows(), 3);          // logging off keeps the history

  std::filesystem::remove(At("Update"));
  Answer(CQuitForm::kLogOffText, "Quit_OK_btn");
  ASSERT_TRUE(testsupport::WaitFor([&] { return testsupport::Exists(At("Kestrane.ran")); }));
  ASSERT_TRUE(testsupport::WaitFor([&] { return Read("Kestrane.ran") == "logoff\n"; }));
  EXPECT_EQ(m_exits, std::vector<int>{0});
}

TEST_F(QuitWindow, UserWindowAsksToLogOffOverTheMainWindow) {
  ui::CWindowWnd main;
  ASSERT_TRUE(main.Create("QuitForm.xml", "MainStandIn"));
  main.move(100, 80);
  main.show();
  QWidget* askedOver = nullptr;
  QString askedText;
  QPoint askedAt;
  CScoreTip tip(&main);
  tip.SetQuitAsker([&](QWidget* over, const QString& text, QPoint at) {
    askedOver = over;
    askedText = text;
    askedAt = at;
    return 2;
  });
  ASSERT_TRUE(tip.Create());
  ShowAndInit(tip);
  EXPECT_EQ(Text(tip, "Sorce_UserName_Lab"), "王小明");
  EXPECT_EQ(Text(tip, "Sorce_sumSorce_Lab"), "86");
  EXPECT_EQ(Text(tip, "Sorce_Bandwidth_Lab"), "90");
  EXPECT_EQ(Text(tip, "Sorce_UserSorce_Lab"), "82");
  Click(tip, "Sorce_Cancellation_btn");
  EXPECT_EQ(askedOver, &main);
  EXPECT_EQ(askedText, "是否注销软件！");
  EXPECT_EQ(askedAt, QPoint(170, 265));

  // The real question sits at the main window's top-left plus the place given, transient for it.
  QTimer::singleShot(0, [&] {
    ui::CWindowWnd* quit = OpenWindow("QuitUI");
    ASSERT_NE(quit, nullptr);
    EXPECT_EQ(quit->pos(), main.frameGeometry().topLeft() + QPoint(170, 265));
    EXPECT_EQ(quit->parentWidget(), &main);
    EXPECT_TRUE(quit->isWindow());
    Click(*quit, "Quit_NO_btn");
  });
  EXPECT_EQ(CQuitForm::Show(&main, CQuitForm::kLogOffText, QPoint(170, 265)), 2);
  // A main window parked off screen gives a centred question.
  main.move(-539, -659);
  QTimer::singleShot(0, [&] {
    ui::CWindowWnd* quit = OpenWindow("QuitUI");
    ASSERT_NE(quit, nullptr);
    QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((quit->frameGeometry().center() - screen.center()).manhattanLength(), 2);
    Click(*quit, "Quit_close_btn");
  });
  EXPECT_EQ(CQuitForm::Show(&main, CQuitForm::kLogOffText, QPoint(170, 265)), 2);
  Click(tip, "Set_close_btn");
  EXPECT_FALSE(tip.isVisible());
  EXPECT_FALSE(testsupport::Exists(At("Update.ran")));
}

// The windows opened from the settings and test screens keep their places on the opener.
TEST_F(SecondaryWindows, WindowsOpenAtTheirPlaces) {
  ui::CWindowWnd main;
  ASSERT_TRUE(main.Create("QuitForm.xml", "MainStandIn"));
  main.move(60, 40);
  main.show();
  struct Case {
    QString name;
    QPoint at;
    const char* button;
    int expected;
    std::function<int()> show;
  };
  const Case cases[] = {
      {"cUpdate", {100, 210}, "Update_OK_btn", 1, [&] { return CUpdateForm::Show(&main, "x"); }},
      {"About", {70, 180}, "About_close_btn", 1, [&] { return CAboutFrom::Show(&main); }},
      {"ExplanationForm",
       {120, 220},
       "Explanation_OK_btn",
       1,
       [&] { return CSpeedExplanationForm::Show(&main); }},
  };
  for (const Case& c : cases) {
    QPoint seen;
    QTimer::singleShot(0, [&] {
      ui::CWindowWnd* w = OpenWindow(c.name);
      ASSERT_NE(w, nullptr) << c.name.toStdString();
      seen = w->pos();
      Click(*w, c.button);
    });
    EXPECT_EQ(c.show(), c.expected) << c.name.toStdString();
    EXPECT_EQ(seen, main.frameGeometry().topLeft() + c.at) << c.name.toStdString();
  }
  // The greeting sits in the bottom right corner of the work area, on top.
  QTimer::singleShot(0, [&] {
    ui::CWindowWnd* w = OpenWindow("ScorePopupUI");
    ASSERT_NE(w, nullptr);
    QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(w->frameGeometry().bottomRight(), area.bottomRight());
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    Click(*w, "Bombox_close_btn");
  });
  EXPECT_EQ(CScorePopupForm::Show(&main), 1);
  // The audit window: centred and on top, on the page of its mode.
  int page = -1;
  bool topmost = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* w = qobject_cast<CAuditingForm*>(OpenWindow("AuditDlg"));
    if (!w || !w->WindowInitDone()) return;
    poll.stop();
    page = w->CurrentPage();
    topmost = w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    Click(*w, "Audit_ReviewOK_btn");
  });
  poll.start(10);
  EXPECT_EQ(CAuditingForm::Show(&main, 5), 1);
  EXPECT_EQ(page, CAuditingForm::kPageReview);
  EXPECT_TRUE(topmost);
}

// The generic questions answer on a click (or Enter/Space), never on the focus alone.
TEST_F(SecondaryWindows, WarningAndConfirmAnswerOnlyWhenPressed) {
  {
    CWarningDlg w("测速服务器繁忙");
    ASSERT_TRUE(w.Create("WarningDlg"));
    ShowAndInit(w);
    QApplication::setActiveWindow(&w);
    EXPECT_EQ(Text(w, "warning_text"), "测速服务器繁忙");
    w.FindControl("ok_btn")->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(w.FindControl("ok_btn")->hasFocus());
    EXPECT_TRUE(w.isVisible());
  }
  {
    CConfirmDlg w("是否继续测速？");
    ASSERT_TRUE(w.Create("ConfirmDlg"));
    ShowAndInit(w);
    QApplication::setActiveWindow(&w);
    w.FindControl("yes_btn")->setFocus();
    QTest::keyClick(w.FindControl("yes_btn"), Qt::Key_Tab);
    QApplication::processEvents();
    EXPECT_TRUE(w.FindControl("no_btn")->hasFocus());
    EXPECT_TRUE(w.isVisible());
  }
  struct Case {
    bool confirm;
    const char* button;
    int expected;
    bool enter;
  };
  const Case cases[] = {{false, "ok_btn", 1, false}, {false, "close_btn", 2, false},
                        {false, "ok_btn", 1, true},  {true, "yes_btn", 1, false},
                        {true, "no_btn", 2, false},  {true, "close_btn", 2, false},
                        {true, "yes_btn", 1, true},  {true, "no_btn", 2, true}};
  for (const Case& c : cases) {
    QString name = c.confirm ? "ConfirmDlg" : "WarningDlg";
    QTimer::singleShot(0, [&] {
      ui::CWindowWnd* w = OpenWindow(name);
      ASSERT_NE(w, nullptr);
      QWidget* button = w->FindControl(c.button);
      if (c.enter) {
        QApplication::setActiveWindow(w);
        button->setFocus();
        QTest::keyClick(button, Qt::Key_Return);
      } else {
        QTest::mouseClick(button, Qt::LeftButton);
      }
    });
    int result = c.confirm ? ShowConfirm(nullptr, name, "是否继续测速？")
                           : ShowWarning(nullptr, name, "测速服务器繁忙");
    EXPECT_EQ(result, c.expected) << c.button << (c.enter ? " enter" : "");
  }
  // The window manager's close button answers 2.
  QTimer::singleShot(0, [&] { OpenWindow("WarningDlg")->close(); });
  EXPECT_EQ(ShowWarning(nullptr, "WarningDlg", "x"), 2);

  // From a worker: the window thread asks, the worker waits.
  std::atomic<int> answer{0};
  QString asked;
  std::thread worker([&] { answer = ShowConfirm(nullptr, "ConfirmDlg", "是否继续测速？"); });
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (ui::CWindowWnd* w = OpenWindow("ConfirmDlg"); w && w->WindowInitDone()) {
      poll.stop();
      asked = Text(*w, "confirm_text");
      QTest::mouseClick(w->FindControl("yes_btn"), Qt::LeftButton);
    }
  });
  poll.start(10);
  ASSERT_TRUE(PumpUntil([&] { return answer != 0; }));
  worker.join();
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(asked, "是否继续测速？");
  // Every question window went away with its answer.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(PumpUntil([&] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<CConfirmDlg*>(w) || qobject_cast<CWarningDlg*>(w)) return false;
    return true;
  }));
}

TEST_F(SecondaryWindows, QuestionsWithoutTheirLayoutAnswerMinusOne) {
  std::filesystem::create_directories(At("bare"));
  Write("bare/style.qss", "* {}\n");
  ASSERT_EQ(testsupport::CommandOutput("cd '" + At("bare") + "' && zip -q -r ../bare.zip ."), "");
  ASSERT_TRUE(ui::SetResourceZip(QString::fromStdString(At("bare.zip"))));
  EXPECT_EQ(ShowWarning(nullptr, "WarningDlg", "x"), -1);
  EXPECT_EQ(ShowConfirm(nullptr, "ConfirmDlg", "x"), -1);
  EXPECT_EQ(CQuitForm::Show(nullptr, CQuitForm::kQuitText), -1);
  EXPECT_TRUE(m_exits.empty());
}

int Alpha(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)); }

TEST_F(SecondaryWindows, ShadowFollowsARoundedHost) {
  ASSERT_TRUE(CWndShadow::Initialize());
  auto* host = new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint);
  host->resize(120, 90);
  QPainterPath rounded;
  rounded.addRoundedRect(QRectF(0, 0, 120, 90), 10, 10);
  host->setMask(QRegion(rounded.toFillPolygon().toPolygon()));
  host->move(300, 200);
  CWndShadow shadow;
  ASSERT_TRUE(shadow.Create(host));
  EXPECT_FALSE(shadow.Create(host));  // once per host
  shadow.SetSize(3);
  EXPECT_EQ(shadow.Status() & CWndShadow::kVisible, 0);
  host->show();
  ASSERT_NE(shadow.ShadowWindow(), nullptr);
  EXPECT_TRUE(shadow.ShadowWindow()->isVisible());
  EXPECT_EQ(shadow.Status(),
            CWndShadow::kEnabled | CWndShadow::kVisible | CWndShadow::kHostVisible);
  EXPECT_TRUE(shadow.ShadowWindow()->windowFlags().testFlag(Qt::WindowTransparentForInput));

  const QImage& bitmap = shadow.Bitmap();
  ASSERT_EQ(bitmap.size(), QSize(126, 96));
  EXPECT_EQ(Alpha(bitmap, 3, 45), 150);   // the host's left outline
  EXPECT_EQ(Alpha(bitmap, 0, 45), 75);    // three pixels out
  EXPECT_EQ(Alpha(bitmap, 62, 0), 75);    // above the top edge
  EXPECT_EQ(Alpha(bitmap, 125, 45), 75);  // right of the right edge
  EXPECT_EQ(Alpha(bitmap, 1, 45), 100);   // (1 - 2/6) x 150
  EXPECT_EQ(Alpha(bitmap, 0, 0), 0);      // past the rounded corner
  EXPECT_EQ(Alpha(bitmap, 125, 95), 0);
  EXPECT_LT(Alpha(bitmap, 4, 4), 150);  // the corner is cut out of the shape
  // Premultiplied black.
  EXPECT_EQ(qRed(bitmap.pixel(0, 45)), 0);
  EXPECT_EQ(shadow.ShadowWindow()->pos(), QPoint(297, 197));

  host->move(420, 260);
  EXPECT_EQ(shadow.ShadowWindow()->pos(), QPoint(417, 257));
  // A larger host is redrawn at its next paint.
  host->resize(160, 100);
  ASSERT_TRUE(PumpUntil([&] { return shadow.Bitmap().size() == QSize(166, 106); }));
  host->resize(100, 80);
  EXPECT_EQ(shadow.Bitmap().size(), QSize(106, 86));

  host->hide();
  EXPECT_FALSE(shadow.ShadowWindow()->isVisible());
  EXPECT_EQ(shadow.Status() & (CWndShadow::kVisible | CWndShadow::kHostVisible), 0);
  host->show();
  EXPECT_TRUE(shadow.ShadowWindow()->isVisible());
  host->showMinimized();
  EXPECT_TRUE(PumpUntil([&] { return !shadow.ShadowWindow()->isVisible(); }, 2000));
  host->showNormal();
  EXPECT_TRUE(PumpUntil([&] { return shadow.ShadowWindow()->isVisible(); }, 2000));

  QPointer<QWidget> window = shadow.ShadowWindow();
  delete host;
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(shadow.ShadowWindow(), nullptr);
}

TEST_F(SecondaryWindows, ShadowOfAPlainRectangleAndItsLimits) {
  // Without a mask the whole rectangle is the shape; the size 0 shadow is the host's outline.
  QImage plain = CWndShadow::Draw(QSize(20, 10), QRegion(), 3, 5, 150, Qt::black);
  EXPECT_EQ(Alpha(plain, 0, 0), std::lround((1 - std::sqrt(18.0) / 6) * 150));
  EXPECT_EQ(Alpha(plain, 3, 3), 150);
  QImage none = CWndShadow::Draw(QSize(20, 10), QRegion(), 0, 5, 150, Qt::black);
  EXPECT_EQ(none.size(), QSize(20, 10));
  // A size beyond the sharpness keeps a solid core.
  QImage wide = CWndShadow::Draw(QSize(20, 10), QRegion(), 8, 3, 200, Qt::black);
  EXPECT_EQ(Alpha(wide, 3, 13), 200);  // 5 out = size - sharpness
  EXPECT_EQ(Alpha(wide, 0, 13), 50);   // 8 out: (1 - 3/4) x 200
  QImage empty = CWndShadow::Draw(QSize(0, 0), QRegion(), 0, 5, 150, Qt::black);
  EXPECT_FALSE(empty.isNull());
}

}  // namespace
