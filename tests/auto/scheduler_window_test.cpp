// The scheduler hosted by a window: its timer paces the cycles and the web page step runs on
// the window thread through a posted message.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "auto/scheduler.h"
#include "auto/scheduler_window_host.h"
#include "core/data_base.h"
#include "test_support.h"
#include "ui/thread.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kCycleTimer = 1000;
constexpr int kWebMessage = 1176;

bool PumpUntil(const std::function<bool()>& done, int ms = 15000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

class HostWindow : public ui::CLayoutWidget {
 public:
  CScheduler* scheduler = nullptr;

 protected:
  void OnTimer(int id) override {
    if (id != kCycleTimer) return;
    KillTimer(kCycleTimer);
    scheduler->CycleTimerExpired();
  }
  bool HandleMessage(int message, qintptr wParam, qintptr lParam) override {
    if (message != kWebMessage) return ui::CLayoutWidget::HandleMessage(message, wParam, lParam);
    scheduler->RunWebTestStep(static_cast<int>(lParam));
    return true;
  }
};

// A page test that goes on for a while after its start returned.
class LongPageTest : public CSpeed {
 public:
  ~LongPageTest() override {
    if (m_page.joinable()) m_page.join();
  }
  int StartAuto(int first, int second, int checktype) override {
    std::lock_guard<std::mutex> guard(m_lock);
    onWindowThread = ui::IsWindowThread();
    args = {first, second, checktype, InvalidReason.load()};
    ++calls;
    m_ended = false;
    if (m_page.joinable()) m_page.join();
    m_page = std::thread([this] {
      std::this_thread::sleep_for(1s);
      endedAt = Clock::now();
      m_ended = true;
    });
    return 2;
  }
  bool StartManual() override { return false; }
  std::string WriteRecord() override { return {}; }
  void WriteAndUpload() override {}
  bool TestEnded() const override { return m_ended.load(); }

  std::mutex m_lock;
  bool onWindowThread = false;
  std::vector<int> args;
  int calls = 0;
  Clock::time_point endedAt;

 private:
  std::atomic<bool> m_ended{true};
  std::thread m_page;
};

class NextKind : public CSpeed {
 public:
  int StartAuto(int, int, int) override {
    startedAt = Clock::now();
    ++calls;
    return 2;
  }
  bool StartManual() override { return false; }
  std::string WriteRecord() override { return {}; }
  void WriteAndUpload() override {}
  std::atomic<int> calls{0};
  Clock::time_point startedAt;
};

class SchedulerWindowTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CDataBase::Instance().Reset();
    Write("conf\\config.properties", "manual=1\n");
    Write("conf\\l_c_config_01.properties", "userid=1234\n");
    UserInfo user;
    user.userId = "1234";
    CDataBase::Instance().SetUserInfo(user);
    Write("Config\\settings1234.xml",
          "<s><tasks><module id=\"2\" selected=\"true\"/><module id=\"4\" selected=\"true\"/>"
          "</tasks></s>");
    SchedulerTimings t;
    t.firstCycle = 50ms;
    t.betweenCycles = 60s;
    t.step = 50ms;
    t.webPause = 3;
    t.webEndBound = 60;
    CScheduler::SetTimings(t);
  }
  void TearDown() override {
    CScheduler::SetTimings({});
    CDataBase::Instance().Reset();
    ProgramFolderTest::TearDown();
  }
};

TEST_F(SchedulerWindowTest, WebStepRunsOnTheWindowThreadAndTheNextKindWaitsForIt) {
  LongPageTest web;
  NextKind fileDown;
  HostWindow window;
  CWindowSchedulerHost host(&window, kCycleTimer, kWebMessage);
  CScheduler scheduler(&host);
  window.scheduler = &scheduler;
  scheduler.RegisterEngine(2, &web);
  scheduler.RegisterEngine(4, &fileDown);
  std::atomic<int> stepped{0};
  scheduler.SetWebStep([&](CSpeed& engine, int first, int second, int checktype) {
    ++stepped;
    return engine.StartAuto(first, second, checktype);
  });
  scheduler.SetChecks([] { return 4; }, [] { return 4; });
  ConfirmAutomaticMode();
  ASSERT_TRUE(scheduler.ArmScheduler());
  EXPECT_TRUE(PumpUntil([&] { return window.HasTimer(kCycleTimer); }));

  ASSERT_TRUE(PumpUntil([&] { return scheduler.CyclesEnded() >= 1; }));
  {
    std::lock_guard<std::mutex> guard(web.m_lock);
    EXPECT_EQ(web.calls, 1);
    EXPECT_TRUE(web.onWindowThread);
    EXPECT_EQ(web.args, (std::vector<int>{0, 1, 1, 4}));
  }
  EXPECT_EQ(stepped.load(), 1);
  ASSERT_EQ(fileDown.calls.load(), 1);
  // The page test outlasted the pause; the next kind started only once it had ended.
  EXPECT_GE(fileDown.startedAt, web.endedAt);
  // Each kind moved to the tail once: the order is the same for the next cycle.
  EXPECT_EQ(scheduler.TaskModules(), (std::vector<int>{2, 4}));
  // The next cycle is set on the window's timer.
  EXPECT_TRUE(PumpUntil([&] { return window.HasTimer(kCycleTimer); }));
  scheduler.Shutdown();
  PumpUntil([&] { return !window.HasTimer(kCycleTimer); }, 1000);
  EXPECT_FALSE(window.HasTimer(kCycleTimer));
}

TEST_F(SchedulerWindowTest, StopDuringThePauseAfterTheWebStepEndsTheCycle) {
  Write("Config\\settings1234.xml", "<s><tasks><module id=\"2\" selected=\"true\"/></tasks></s>");
  SchedulerTimings t = CScheduler::Timings();
  t.webPause = 40;  // 2 s
  CScheduler::SetTimings(t);
  LongPageTest web;
  HostWindow window;
  CWindowSchedulerHost host(&window, kCycleTimer, kWebMessage);
  CScheduler scheduler(&host);
  window.scheduler = &scheduler;
  scheduler.RegisterEngine(2, &web);
  scheduler.SetChecks([] { return 0; }, [] { return 0; });
  ConfirmAutomaticMode();
  ASSERT_TRUE(scheduler.ArmScheduler());
  ASSERT_TRUE(PumpUntil([&] {
    std::lock_guard<std::mutex> guard(web.m_lock);
    return web.calls == 1;
  }));
  // The stop window.
  CDataBase::Instance().testBusy = 0;
  CDataBase::Instance().testRunEnabled = 0;
  ASSERT_TRUE(PumpUntil([&] { return scheduler.CyclesEnded() >= 1; }, 1000));
  PumpUntil([] { return false; }, 200);
  EXPECT_FALSE(window.HasTimer(kCycleTimer)) << "no next cycle after a stop";
  std::lock_guard<std::mutex> guard(web.m_lock);
  EXPECT_EQ(web.calls, 1);
}

TEST_F(SchedulerWindowTest, StoppedBeforeTheWebStepRanKillsTheTimerInstead) {
  LongPageTest web;
  HostWindow window;
  CWindowSchedulerHost host(&window, kCycleTimer, kWebMessage);
  CScheduler scheduler(&host);
  window.scheduler = &scheduler;
  scheduler.RegisterEngine(2, &web);
  window.SetTimer(kCycleTimer, 60000);
  CDataBase::Instance().testRunEnabled = 0;
  scheduler.BuildTaskList();
  host.PostWebStep(0);
  PumpUntil([&] { return !window.HasTimer(kCycleTimer); }, 2000);
  EXPECT_FALSE(window.HasTimer(kCycleTimer));
  std::lock_guard<std::mutex> guard(web.m_lock);
  EXPECT_EQ(web.calls, 0);
}

}  // namespace
