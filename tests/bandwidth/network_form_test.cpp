// The bandwidth screen and its gauge: the numbers they show, the screen standing in a host
// window that builds it for the class "NetWork" (as the main window's tests page does), and
// whole tests run from its button against the lab.

#include "bandwidth/network_form.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTimer>
#include <QtMath>
#include <QtTest/QTest>
#include <atomic>
#include <clocale>
#include <cmath>
#include <limits>
#include <thread>

#include "auto/local_mac.h"
#include "band_test_env.h"
#include "bandwidth/dashboard_ui.h"
#include "bandwidth/network_speed.h"
#include "core/data_base.h"
#include "core/http_download_get.h"
#include "core/http_transport.h"
#include "core/properties_file.h"
#include "history/history_record.h"
#include "history/sqlite_db.h"
#include "lab_fixture.h"
#include "platform/codepage.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/skin.h"
#include "ui/window.h"

using bandresult::LastBarValue;
using bandresult::RatePosition;
using bandresult::SpacerWidth;
using bandresult::SpeedLevelName;

namespace {

bool PumpUntil(const std::function<bool()>& done, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

double Angle(double kbit) {
  double a = std::nan("");
  EXPECT_TRUE(gauge::AngleOfRate(kbit, &a)) << kbit;
  return a;
}

}  // namespace

TEST(BandResult, RatePositionFollowsTheScale) {
  EXPECT_EQ(RatePosition("无数据"), 0);
  EXPECT_EQ(RatePosition("0.1M"), 16);
  EXPECT_EQ(RatePosition("1.0M"), 163);
  EXPECT_EQ(RatePosition("1.5M"), 203);
  EXPECT_EQ(RatePosition("2.0M"), 245);
  EXPECT_EQ(RatePosition("3.0M"), 285);
  EXPECT_EQ(RatePosition("4.0M"), 324);
  EXPECT_EQ(RatePosition("6.2M"), 353);
  EXPECT_EQ(RatePosition("10.0M"), 405);
  EXPECT_EQ(RatePosition("20.0M"), 540);
  // Bad texts: no leading number, nothing, not a number, far too large.
  EXPECT_EQ(RatePosition("M"), 0);
  EXPECT_EQ(RatePosition(""), 0);
  EXPECT_EQ(RatePosition("abc"), 0);
  EXPECT_EQ(RatePosition(" 5M"), 0);
  EXPECT_EQ(RatePosition("nan"), 0);
  EXPECT_GT(RatePosition("inf"), 491);
  EXPECT_GT(RatePosition("1e30M"), 491);
  EXPECT_LE(RatePosition("1e30M"), std::numeric_limits<int>::max());
  EXPECT_LT(RatePosition("-3M"), 0);
  EXPECT_EQ(SpeedLevelName(RatePosition("-3M")), "");
  // The reading stops at the first character that is no part of the number.
  EXPECT_EQ(RatePosition("6.2Mbit"), 353);
  EXPECT_EQ(RatePosition("6,2M"), 324 + 2 * 81 / 6);
}

TEST(BandResult, LevelsBarAndSpacer) {
  const std::pair<int, const char*> levels[] = {
      {-5, ""},      {0, ""},       {1, "蜗牛"},   {25, "蜗牛"},  {26, "乌龟"},  {100, "乌龟"},
      {101, "兔子"}, {175, "兔子"}, {176, "斑马"}, {250, "斑马"}, {251, "老虎"}, {325, "老虎"},
      {326, "狮子"}, {400, "狮子"}, {401, "剑羚"}, {475, "剑羚"}, {476, "猎豹"}, {5000, "猎豹"}};
  for (const auto& [p, name] : levels) EXPECT_EQ(SpeedLevelName(p), QString::fromUtf8(name)) << p;
  EXPECT_EQ(SpeedLevelName(163), "兔子");
  EXPECT_EQ(SpeedLevelName(405), "剑羚");
  EXPECT_EQ(SpeedLevelName(353), "狮子");

  EXPECT_EQ(LastBarValue(0), -1);
  EXPECT_EQ(LastBarValue(1), 0);
  EXPECT_EQ(LastBarValue(16), 15);
  EXPECT_EQ(LastBarValue(18), 15);
  EXPECT_EQ(LastBarValue(19), 18);
  EXPECT_EQ(LastBarValue(491), 489);
  EXPECT_EQ(LastBarValue(540), 489);

  EXPECT_EQ(SpacerWidth(0), 0);
  EXPECT_EQ(SpacerWidth(5), 0);
  EXPECT_EQ(SpacerWidth(16), 4);
  EXPECT_EQ(SpacerWidth(491), 479);
  EXPECT_EQ(SpacerWidth(492), 484);
  EXPECT_EQ(SpacerWidth(540), 484);
}

TEST(Gauge, ScaleAngles) {
  const std::pair<double, double> points[] = {{0, -90},      {1024, -45},  {2048, -22.5},
                                              {4096, 0},     {8192, 22.5}, {20480, 45},
                                              {51200, 67.5}, {102400, 90}};
  for (const auto& [x, a] : points) EXPECT_DOUBLE_EQ(Angle(x), a) << x;
  EXPECT_DOUBLE_EQ(Angle(512), -67.5);
  EXPECT_DOUBLE_EQ(Angle(1536), -33.75);
  EXPECT_DOUBLE_EQ(Angle(3072), -11.25);
  EXPECT_DOUBLE_EQ(Angle(14336), 33.75);
  EXPECT_DOUBLE_EQ(Angle(76800), 78.75);
  // Just past a point belongs to the next segment.
  EXPECT_GT(Angle(1025), -45);
  EXPECT_LT(Angle(1025), -44.9);
  // Above full scale the needle pins; below zero or not finite nothing changes.
  EXPECT_DOUBLE_EQ(Angle(102401), 90);
  EXPECT_DOUBLE_EQ(Angle(300 * 1024), 90);
  double a = 12;
  EXPECT_FALSE(gauge::AngleOfRate(-1, &a));
  EXPECT_FALSE(gauge::AngleOfRate(std::nan(""), &a));
  EXPECT_FALSE(gauge::AngleOfRate(-INFINITY, &a));
  EXPECT_EQ(a, 12);

  EXPECT_EQ(gauge::ValueText(0), "0Mb/秒");
  EXPECT_EQ(gauge::ValueText(1.5), "1.50Mb/秒");
  EXPECT_EQ(gauge::ValueText(300), "300.00Mb/秒");
  EXPECT_EQ(gauge::ValueText(0.004), "0.00Mb/秒");
}

TEST(Gauge, NeedleFrames) {
  // Rising -90 -> -45: big steps while far, small ones near, and the target exactly.
  std::vector<double> frames;
  double a = -90;
  while (a != -45 && frames.size() < 1000) {
    const double next = gauge::NextAngle(a, -45);
    EXPECT_GT(next, a);
    EXPECT_LE(next, -45);
    a = next;
    frames.push_back(a);
  }
  ASSERT_EQ(a, -45);
  EXPECT_DOUBLE_EQ(frames[0], -88);  // distance 45 > 30: 2 degrees
  EXPECT_LT(frames.size(), 50u);
  // Falling to rest: 2 degrees a frame, never below -90.
  a = 45;
  int n = 0;
  while (a != -90 && n < 1000) {
    const double next = gauge::NextAngle(a, -90);
    EXPECT_LT(next, a);
    EXPECT_GE(next, -90);
    EXPECT_LE(a - next, 2 + 1e-9);
    a = next;
    ++n;
  }
  EXPECT_EQ(a, -90);
  EXPECT_GE(n, 60);
  // Near the target: snap within 1 (rising) or 2 (falling), else small steps, never past.
  EXPECT_EQ(gauge::NextAngle(-46, -45), -45);
  EXPECT_EQ(gauge::NextAngle(-46.9, -45), -45);
  EXPECT_DOUBLE_EQ(gauge::NextAngle(-48, -45), -47.2);
  EXPECT_EQ(gauge::NextAngle(-42.5, -45), -45);
  EXPECT_DOUBLE_EQ(gauge::NextAngle(-40, -45), -40.8);
  EXPECT_EQ(gauge::NextAngle(-88.5, -90), -90);
  EXPECT_EQ(gauge::NextAngle(10, 10), 10);
}

TEST(Gauge, Geometry) {
  const QSize dial(420, 300), needle(14, 186);
  EXPECT_EQ(gauge::Pivot(dial), QPointF(210, 248));
  EXPECT_EQ(gauge::NeedleRect(dial, needle), QRectF(203, 80, 14, 186));
  EXPECT_EQ(gauge::TextOrigin(dial), QPointF(170, 150));
  EXPECT_EQ(gauge::Pivot(QSize(101, 50)), QPointF(50.5, 123));
}

namespace {

constexpr const char* kServerAddress = "127.0.8.5";

// The host: a plain window whose layout holds one control of the class "NetWork".
const char kHostLayout[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0"><widget class="QWidget" name="Host">
 <property name="geometry"><rect><x>0</x><y>0</y><width>760</width><height>440</height></rect></property>
 <widget class="NetWork" name="Host_NetWork">
  <property name="geometry"><rect><x>0</x><y>0</y><width>760</width><height>440</height></rect></property>
 </widget>
</widget></ui>)";

ui::CWindowWnd* OpenWindow(const QString& name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == name && w->isVisible()) return qobject_cast<ui::CWindowWnd*>(w);
  return nullptr;
}

UpdateEvent Event(int code, double value = 0, const char* message = "") {
  UpdateEvent e;
  e.code = code;
  e.value = value;
  e.message = message;
  return e;
}

class BandwidthScreen : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CopyFromDist("Skin.zip");
    CopyFromDist("DB/Geo_CN.db");
    ASSERT_TRUE(ui::SetResourceZip(QString::fromStdString(At("Skin.zip"))));
    Write("Config\\addr_server.xml",
          "<s><province-array name=\"上海\" nas=\"\" near=\"\"><server>上海电信</server>"
          "</province-array><province-array name=\"北京\" nas=\"N\" near=\"\">"
          "<server>北京联通</server><server>北京电信</server></province-array></s>");
    Write("Config\\dest_config.xml",
          std::string("<d><destip name=\"北京电信\" value=\"") + kServerAddress + ":1101:1\"/>" +
              "<destip name=\"北京联通\" value=\"127.0.8.9:1102:1\"/>" +
              "<destip name=\"上海电信\" value=\"127.0.8.9:1103:1\"/></d>");
    Write("Config\\operator_config.xml",
          "<o><operator>电信</operator><operator>联通</operator></o>");
    Write("Config\\settings1234.xml",
          "<settings><contband><bandmap id=\"b2\">2M</bandmap><bandmap id=\"b20\">20M</bandmap>"
          "<bandmap id=\"b100\">100M</bandmap></contband></settings>");
    Write("conf\\config.properties",
          "url_down_file=50MB.rar\nupload_local_file_path=TestFile\\up.rar\n");
    Write("conf\\l_c_config_01.properties", "userid=1234\nupload_method=m1\n");
    Write("TestFile\\up.rar", std::string(1 << 20, 'u'));
    CDataBase::Instance().SetUserInfo(BeijingTelecomUser());
    CDataBase::Instance().testBusy = 0;
    CNetWorkForm::SetResultIntervalsForTest(2, 50);
    CNetWorkSpeed::SetTimings({std::chrono::milliseconds(200), std::chrono::milliseconds(100),
                               std::chrono::milliseconds(100)});
    CHttpDownloadGet::SetDurationsForTest(2500, 2500);
    transport::SetTextTimeoutsForTest(3000, 3000);
  }
  void TearDown() override {
    m_host.reset();
    CNetWorkForm::SetResultIntervalsForTest(0, 0);
    CNetWorkSpeed::SetTimings({});
    CHttpDownloadGet::SetDurationsForTest(0, 0);
    transport::SetTextTimeoutsForTest(0, 0);
    ProgramFolderTest::TearDown();
  }

  // Builds the host and the screen in it, and shows it.
  CNetWorkForm* Host() {
    m_host.reset(ui::CDialogBuilder::CreateFromText(
        kHostLayout,
        [this](const QString& cls, QWidget* parent) -> QWidget* {
          if (cls != "NetWork") return nullptr;
          m_form = new CNetWorkForm(parent);
          return m_form;
        },
        nullptr));
    EXPECT_NE(m_host, nullptr);
    m_host->show();
    return m_form;
  }

  QString Text(const char* name) const { return ui::Text(m_form->FindControl(name)); }
  bool Visible(const char* name) const {
    QWidget* w = m_form->FindControl(name);
    return w && w->isVisible();
  }
  QComboBox* Combo(const char* name) const { return m_form->Find<QComboBox>(name); }

  std::unique_ptr<QWidget> m_host;
  CNetWorkForm* m_form = nullptr;
};

}  // namespace

TEST_F(BandwidthScreen, ControlsAndSetUp) {
  std::string mac;
  const bool haveMac = EnsureAdapterKey() && GetLocalMac(mac);
  if (haveMac) {
    PropertiesFile ip(conf::kIpConfig);
    ip.Load();
    ip.Set(mac, "b20");
    ip.Save(false);
  }
  CNetWorkForm* form = Host();
  ASSERT_NE(form, nullptr);
  for (const char* name :
       {"NetWork_Province_CB", "NetWork_Operators_CB", "NetWork_Broadband_CB", "NetWork_Handle_btn",
        "NetWork_LookSpeed_btn", "NetWork_DownSpeed_text", "NetWork_DownBandwidth_text",
        "NetWork_UPSpeed_text", "NetWork_UPBandwidth_text", "NetWork_Handle_Progress",
        "NetWrok_tip_lab", "NetWrok_tipwidth_lab"})
    EXPECT_NE(form->FindControl(name), nullptr) << name;
  ASSERT_NE(form->Gauge(), nullptr);
  auto* bar = form->Find<QProgressBar>("NetWork_Handle_Progress");
  ASSERT_NE(bar, nullptr);
  EXPECT_LE(bar->minimum(), 0);
  EXPECT_GE(bar->maximum(), 491);
  EXPECT_FALSE(Visible("NetWrok_tip_lab"));

  const std::string before = Read("conf\\ipconfig.properties");
  form->OnLogin();
  ASSERT_NE(form->Engine(), nullptr);
  EXPECT_EQ(form->Listener(), form->Engine()->Listener());
  // The located province (北京), the proposed operator, the stored bandwidth.
  EXPECT_EQ(Combo("NetWork_Province_CB")->count(), 2);
  EXPECT_EQ(Combo("NetWork_Province_CB")->currentText(), "北京");
  EXPECT_EQ(form->Engine()->Province(), "北京");
  EXPECT_EQ(Combo("NetWork_Operators_CB")->count(), 2);
  EXPECT_EQ(Combo("NetWork_Operators_CB")->currentText(), "电信");
  EXPECT_EQ(form->Engine()->Operator(), "电信");
  EXPECT_EQ(form->Engine()->CurrentServer(), "北京电信");
  EXPECT_EQ(Combo("NetWork_Broadband_CB")->count(), 3);
  if (haveMac) EXPECT_EQ(Combo("NetWork_Broadband_CB")->currentText(), "20M");
  // Filling the lists wrote nothing.
  EXPECT_EQ(Read("conf\\ipconfig.properties"), before);

  // Picking another operator moves the server there; back again restores the automatic one.
  Combo("NetWork_Operators_CB")->setCurrentIndex(1);
  EXPECT_EQ(form->Engine()->Operator(), "联通");
  EXPECT_EQ(form->Engine()->CurrentServer(), "北京联通");
  Combo("NetWork_Operators_CB")->setCurrentIndex(0);
  EXPECT_EQ(form->Engine()->CurrentServer(), "北京电信");
  // Another province: its operators, and its first server.
  Combo("NetWork_Province_CB")->setCurrentIndex(0);
  EXPECT_EQ(form->Engine()->Province(), "上海");
  EXPECT_EQ(Combo("NetWork_Operators_CB")->count(), 1);
  EXPECT_EQ(form->Engine()->CurrentServer(), "上海电信");

  // A pick of the contracted bandwidth: the id under the adapter's key, GBK, no stamp.
  if (!haveMac) GTEST_SKIP() << "no adapter with a physical address";
  Write("conf\\ipconfig.properties",
        mac + "=b20\npre_date=2026-01-01\nnote=" + codepage::Utf8ToGbk("中文") + "\n");
  Combo("NetWork_Broadband_CB")->setCurrentIndex(2);
  const std::string file = Read("conf\\ipconfig.properties");
  EXPECT_NE(file.find(mac + "=b100"), std::string::npos) << file;
  EXPECT_NE(file.find("pre_date=2026-01-01"), std::string::npos);
  EXPECT_NE(file.find("note=" + codepage::Utf8ToGbk("中文")), std::string::npos);
  Combo("NetWork_Broadband_CB")->setCurrentIndex(-1);
  EXPECT_EQ(Read("conf\\ipconfig.properties"), file);
}

TEST_F(BandwidthScreen, EventsFromAWorker) {
  CNetWorkForm* form = Host();
  ASSERT_NE(form, nullptr);
  form->OnLogin();
  CDashboardUI* gauge = form->Gauge();
  IUpdateUI* listener = form->Listener();
  std::thread worker([listener] {
    listener->Notify(Event(speedcode::kLiveRate, 20480));
    listener->Notify(Event(speedcode::kLiveRate, 4096));
    UpdateEvent down = Event(speedcode::kDownloadResult);
    down.downAverage = "0.78";
    down.downRate = "6.2M";
    listener->Notify(down);
    listener->Notify(Event(1010));  // not for this screen
  });
  worker.join();
  ASSERT_TRUE(PumpUntil([&] { return Text("NetWork_DownBandwidth_text") == "6.2M"; }));
  EXPECT_EQ(Text("NetWork_DownSpeed_text"), "0.78");
  EXPECT_TRUE(gauge->Animating());
  EXPECT_EQ(gauge->findChildren<QTimer*>().size(), 1);
  EXPECT_EQ(gauge->TargetAngle(), 0);
  EXPECT_EQ(gauge->ShownText(), "4.00Mb/秒");
  ASSERT_TRUE(PumpUntil([&] { return gauge->CurrentAngle() == 0; }));

  // Above full scale the number changes and the needle pins.
  form->OnEngineEvent(Event(speedcode::kLiveRate, 300 * 1024));
  EXPECT_EQ(gauge->ShownText(), "300.00Mb/秒");
  EXPECT_EQ(gauge->TargetAngle(), 90);
  form->OnEngineEvent(Event(speedcode::kLiveRate, -5));
  EXPECT_EQ(gauge->TargetAngle(), 90);
  form->OnEngineEvent(Event(speedcode::kLiveRate, 0));
  EXPECT_EQ(gauge->ShownText(), "0Mb/秒");
  EXPECT_EQ(gauge->TargetAngle(), -90);

  UpdateEvent up = Event(speedcode::kUploadResult);
  up.upAverage = "0.25";
  up.upRate = "2.0M";
  form->OnEngineEvent(up);
  EXPECT_FALSE(gauge->Animating());
  EXPECT_EQ(Text("NetWork_UPBandwidth_text"), "2.0M");
  EXPECT_EQ(Text("NetWork_UPSpeed_text"), "0.25");
  // The needle still settles at rest after the animation stopped.
  ASSERT_TRUE(PumpUntil([&] { return gauge->CurrentAngle() == -90; }));

  // The end: the bar climbs to 351 (position 353), then the level and the spacer.
  ui::SetVisible(form->FindControl("NetWork_Handle_btn"), false);
  form->OnEngineEvent(Event(speedcode::kFinished));
  EXPECT_EQ(form->Position(), 353);
  ASSERT_TRUE(PumpUntil([&] { return Visible("NetWrok_tip_lab"); }));
  EXPECT_EQ(form->Find<QProgressBar>("NetWork_Handle_Progress")->value(), 351);
  EXPECT_EQ(Text("NetWrok_tip_lab"), "狮子");
  EXPECT_EQ(form->FindControl("NetWrok_tipwidth_lab")->width(), 341);
  EXPECT_TRUE(Visible("NetWork_Handle_btn"));
}

TEST_F(BandwidthScreen, WarningsAndQuestions) {
  CNetWorkForm* form = Host();
  ASSERT_NE(form, nullptr);
  form->OnLogin();
  IUpdateUI* listener = form->Listener();
  auto ask = [&](int code, const char* window, const char* button) {
    ui::SetVisible(form->FindControl("NetWork_Handle_btn"), false);
    std::atomic<int> answer{-100};
    // The window runs its own modal loop: a timer inside it answers as the user would.
    QString shownText;
    QPoint shownAt;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
      ui::CWindowWnd* w = OpenWindow(window);
      if (!w) return;
      user.stop();
      shownText = ui::Text(w->FindControl(code == 1003 ? "confirm_text" : "warning_text"));
      shownAt = w->frameGeometry().topLeft() - m_host->frameGeometry().topLeft();
      if (auto* b = w->Find<QAbstractButton>(button)) QTest::mouseClick(b, Qt::LeftButton);
    });
    user.start(20);
    std::thread worker([&] { answer = listener->Ask(Event(code, 0, "服务器忙，请稍后再试！")); });
    EXPECT_TRUE(PumpUntil([&] { return answer != -100; }));
    worker.join();
    EXPECT_EQ(shownText, "服务器忙，请稍后再试！") << code;
    EXPECT_EQ(shownAt, QPoint(180, 300)) << code;
    return answer.load();
  };
  for (int code : {1001, 1002, 1004, 1005, 1007, 1008}) {
    SCOPED_TRACE(code);
    form->Gauge()->NeedleTargetAngle(4096);
    EXPECT_EQ(ask(code, "Warning Dialog", "ok_btn"), 1);
    EXPECT_TRUE(Visible("NetWork_Handle_btn"));
    EXPECT_EQ(form->Gauge()->TargetAngle(), -90);
  }
  EXPECT_EQ(ask(1004, "Warning Dialog", "close_btn"), 2);
  EXPECT_EQ(ask(1003, "Confirm Dialog", "yes_btn"), 1);
  EXPECT_FALSE(Visible("NetWork_Handle_btn"));  // the test goes on
  EXPECT_EQ(ask(1003, "Confirm Dialog", "no_btn"), 2);
  EXPECT_TRUE(Visible("NetWork_Handle_btn"));
  // Other codes show nothing.
  EXPECT_EQ(listener->Ask(Event(2002)), -1);
}

TEST_F(BandwidthScreen, QuestionWithoutItsLayoutOrItsScreen) {
  CNetWorkForm* form = Host();
  ASSERT_NE(form, nullptr);
  std::shared_ptr<IUpdateUI> listener = form->ListenerHandle();
  // A question whose screen is gone before the window thread gets to it answers -1.
  std::atomic<int> answer{-100};
  std::thread worker([&] { answer = listener->Ask(Event(1004, 0, "x")); });
  QElapsedTimer t;
  t.start();
  m_host.reset();
  ASSERT_TRUE(PumpUntil([&] { return answer != -100; }, 5000));
  worker.join();
  EXPECT_EQ(answer, -1);
  EXPECT_LT(t.elapsed(), 5000);
}

TEST_F(BandwidthScreen, GaugeDrawsTheNeedleAtItsAngle) {
  CNetWorkForm* form = Host();
  ASSERT_NE(form, nullptr);
  CDashboardUI* gauge = form->Gauge();
  ASSERT_EQ(gauge->size(), QSize(420, 300));
  const QPointF pivot = gauge::Pivot(QSize(420, 300));
  // A point on the needle's axis 40 pixels in from its tip (168 from the pivot).
  auto needleColoured = [&](double angle) {
    const double r = qDegreesToRadians(angle);
    const QPoint at((pivot + QPointF(128 * std::sin(r), -128 * std::cos(r))).toPoint());
    const QColor c = gauge->grab().toImage().pixelColor(at);
    return c.red() > 200 && c.green() < 150 && c.blue() < 120;
  };
  for (double kbit : {0.0, 4096.0, 102400.0}) {
    gauge->NeedleTargetAngle(kbit);
    ASSERT_TRUE(PumpUntil([&] { return !gauge->Moving(); })) << kbit;
    const double angle = gauge->CurrentAngle();
    EXPECT_TRUE(needleColoured(angle)) << angle;
    EXPECT_FALSE(needleColoured(angle > 0 ? angle - 30 : angle + 30)) << angle;
  }
  // The alternate face changes the dial, not the needle.
  const QImage standard = gauge->grab().toImage();
  form->SetAlternateLook(true);
  const QImage alternate = gauge->grab().toImage();
  EXPECT_NE(standard, alternate);
  EXPECT_TRUE(needleColoured(90));
}

namespace {

class BandwidthScreenLab : public BandwidthScreen {
 protected:
  std::unique_ptr<LabProcess> StartLab() {
    auto lab = StartLabOnFixedPort(
        {"--test", std::string("--test-addr=") + kServerAddress, "--test-port=8080"});
    EXPECT_TRUE(lab->Started()) << lab->Error();
    return lab;
  }
  void Click() {
    auto* button = m_form->Find<QAbstractButton>("NetWork_Handle_btn");
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
  }
  int HistoryRows() {
    HistoryRecordList rows;
    CSqliteDb db(history::DatabasePath("1234"));
    return db.ReadHistory("", rows);
  }
};

}  // namespace

TEST_F(BandwidthScreenLab, AClickRunsAWholeTest) {
  auto lab = StartLab();
  // Under a comma locale the engine's texts keep their decimal point once the toolkit is up.
  const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
  const bool comma = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  ASSERT_TRUE(ui::InitToolkit(QString::fromStdString(At("Skin.zip"))));
  CNetWorkForm* form = Host();
  ASSERT_NE(form, nullptr);
  form->OnLogin();
  CDataBase::Instance().autoCycleActive = 1;
  form->Engine()->mode = 1;
  form->Engine()->quiet = true;
  const int rowsBefore = HistoryRows();

  Click();
  EXPECT_FALSE(Visible("NetWork_Handle_btn"));
  EXPECT_EQ(Text("NetWork_DownBandwidth_text"), "无数据");
  EXPECT_EQ(CDataBase::Instance().autoCycleActive.load(), 0);
  bool sawLive = false;
  ASSERT_TRUE(PumpUntil(
      [&] {
        sawLive = sawLive || form->Gauge()->Animating();
        return Visible("NetWork_Handle_btn");
      },
      60000));
  form->Engine()->WaitUntilIdle();
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_TRUE(sawLive);
  const QString down = Text("NetWork_DownBandwidth_text");
  EXPECT_TRUE(QRegularExpression("^\\d+\\.\\dM$").match(down).hasMatch()) << down.toStdString();
  EXPECT_TRUE(
      QRegularExpression("^\\d+\\.\\d\\d$").match(Text("NetWork_DownSpeed_text")).hasMatch());
  EXPECT_TRUE(
      QRegularExpression("^\\d+\\.\\dM$").match(Text("NetWork_UPBandwidth_text")).hasMatch());
  EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d\\d$").match(Text("NetWork_UPSpeed_text")).hasMatch());
  const int position = RatePosition(down.toStdString());
  EXPECT_EQ(form->Position(), position);
  EXPECT_EQ(form->Find<QProgressBar>("NetWork_Handle_Progress")->value(),
            std::max(0, LastBarValue(position)));
  EXPECT_TRUE(Visible("NetWrok_tip_lab"));
  EXPECT_EQ(Text("NetWrok_tip_lab"), SpeedLevelName(position));
  EXPECT_EQ(HistoryRows(), rowsBefore + 1);
  if (!comma) GTEST_SKIP() << "no comma locale on this machine (scripts/setup makes one)";
}

TEST_F(BandwidthScreenLab, BusyServerAndNoServer) {
  auto lab = StartLab();
  CNetWorkForm* form = Host();
  ASSERT_NE(form, nullptr);
  form->OnLogin();
  ASSERT_TRUE(lab->Set("test", "dovalid", "busy"));
  QString shown;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    if (ui::CWindowWnd* w = OpenWindow("Warning Dialog")) {
      shown = ui::Text(w->FindControl("warning_text"));
      if (auto* b = w->Find<QAbstractButton>("ok_btn")) QTest::mouseClick(b, Qt::LeftButton);
    }
  });
  user.start(20);
  Click();
  ASSERT_TRUE(PumpUntil([&] { return !shown.isEmpty() && Visible("NetWork_Handle_btn"); }, 30000));
  EXPECT_EQ(shown, "服务器忙，请稍后再试！");
  form->Engine()->WaitUntilIdle();

  // No server for the picked place: the warning, and the button again.
  shown.clear();
  Write("Config\\addr_server.xml", "<s/>");
  form->Engine()->Reload();
  form->OnLogin();
  EXPECT_EQ(Combo("NetWork_Province_CB")->count(), 0);
  Click();
  ASSERT_TRUE(PumpUntil([&] { return !shown.isEmpty() && Visible("NetWork_Handle_btn"); }, 30000));
  EXPECT_EQ(shown, "未匹配到测速服务器，请手动选择！");
  form->Engine()->WaitUntilIdle();
}

TEST_F(BandwidthScreenLab, DestroyedWithAQuestionOpen) {
  auto lab = StartLab();
  CNetWorkForm* form = Host();
  ASSERT_NE(form, nullptr);
  form->OnLogin();
  // A server the automatic choice did not make: the engine asks, and the screen goes.
  Combo("NetWork_Operators_CB")->setCurrentIndex(1);
  bool asked = false;
  QTimer user;
  QObject::connect(&user, &QTimer::timeout, [&] {
    if (QPointer<ui::CWindowWnd> w = OpenWindow("Confirm Dialog")) {
      asked = true;
      user.stop();
      QElapsedTimer t;
      t.start();
      m_host.reset();  // inside the question's own loop
      EXPECT_LT(t.elapsed(), 2000);
      // The question may have gone with its owner; else the user answers it.
      if (w)
        if (auto* b = w->Find<QAbstractButton>("no_btn")) QTest::mouseClick(b, Qt::LeftButton);
    }
  });
  user.start(20);
  Click();
  ASSERT_TRUE(PumpUntil([&] { return asked && !OpenWindow("Confirm Dialog"); }, 30000));
  EXPECT_EQ(m_host, nullptr);
}
