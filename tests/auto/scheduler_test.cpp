// The scheduler with a headless host: the bandwidth engine against the lab's test server,
// doubles for the other kinds, every wait shortened.
#include "auto/scheduler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <regex>
#include <stdexcept>
#include <thread>

#include "../bandwidth/band_test_env.h"
#include "bandwidth/network_speed.h"
#include "core/data_base.h"
#include "core/http_download_get.h"
#include "core/http_transport.h"
#include "history/history_record.h"
#include "history/sqlite_db.h"
#include "lab_fixture.h"
#include "platform/codepage.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kServerAddress = "127.0.8.31";

struct Call {
  int module = 0;
  int first = 0, second = 0, checktype = 0;
  int invalidReason = 0;
  Clock::time_point at;
  std::thread::id thread;
};

// Every StartAuto of every engine, in order.
class CallLog {
 public:
  void Add(const Call& call) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_calls.push_back(call);
  }
  std::vector<Call> Calls() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_calls;
  }
  std::vector<int> Modules() const {
    std::vector<int> modules;
    for (const Call& c : Calls()) modules.push_back(c.module);
    return modules;
  }
  std::vector<Call> Of(int module) const {
    std::vector<Call> calls;
    for (const Call& c : Calls())
      if (c.module == module) calls.push_back(c);
    return calls;
  }

 private:
  mutable std::mutex m_lock;
  std::vector<Call> m_calls;
};

// An engine that answers as told and notes each call.
class DoubleEngine : public CSpeed {
 public:
  DoubleEngine(
      int module, CallLog& log, std::function<int()> answer = [] { return 2; })
      : m_module(module), m_log(log), m_answer(std::move(answer)) {}
  int StartAuto(int first, int second, int checktype) override {
    m_log.Add({m_module, first, second, checktype, InvalidReason.load(), Clock::now(),
               std::this_thread::get_id()});
    return m_answer();
  }
  bool StartManual() override { return false; }
  std::string WriteRecord() override { return {}; }
  void WriteAndUpload() override {}

 private:
  int m_module;
  CallLog& m_log;
  std::function<int()> m_answer;
};

// The bandwidth engine, its calls noted too.
class LoggedBandwidth : public CNetWorkSpeed {
 public:
  explicit LoggedBandwidth(CallLog& log) : m_log(log) {}
  int StartAuto(int first, int second, int checktype) override {
    m_log.Add({1, first, second, checktype, InvalidReason.load(), Clock::now(),
               std::this_thread::get_id()});
    const int result = CNetWorkSpeed::StartAuto(first, second, checktype);
    std::lock_guard<std::mutex> guard(m_lock);
    m_results.push_back(result);
    return result;
  }
  std::vector<int> Results() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_results;
  }

 private:
  CallLog& m_log;
  mutable std::mutex m_lock;
  std::vector<int> m_results;
};

// Ends the cycles before the test's engines are destroyed.
struct ShutdownAtEnd {
  explicit ShutdownAtEnd(CScheduler& scheduler) : scheduler(scheduler) {}
  ~ShutdownAtEnd() { scheduler.Shutdown(); }
  CScheduler& scheduler;
};

SchedulerTimings ShortTimings() {
  SchedulerTimings t;
  t.firstCycle = 50ms;
  t.betweenCycles = 1500ms;
  t.busyRetry = 50ms;
  t.step = 50ms;
  return t;
}

class SchedulerTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CDataBase::Instance().Reset();
    CopyFromDist("DB/Geo_CN.db");
    Write("Config\\addr_server.xml",
          "<s><province-array name=\"北京\" nas=\"N\" near=\"\"><server>北京电信</server>"
          "</province-array></s>");
    Write("Config\\dest_config.xml", std::string("<d><destip name=\"北京电信\" value=\"") +
                                         kServerAddress + ":1101:1\"/></d>");
    Write("Config\\operator_config.xml", "<o><operator>电信</operator></o>");
    Write("conf\\config.properties",
          "manual=1\nurl_down_file=50MB.rar\nupload_local_file_path=TestFile\\up.rar\n");
    Write("conf\\l_c_config_01.properties", "userid=1234\nupload_method=m1\n");
    Write("TestFile\\up.rar", std::string(1 << 20, 'u'));
    Thresholds("100");
    CDataBase::Instance().SetUserInfo(BeijingTelecomUser());
    CNetWorkSpeed::SetTimings({200ms, 100ms, 100ms});
    // 15 samples take 1.7 s; the rest is room for a loaded machine.
    CHttpDownloadGet::SetDurationsForTest(2500, 2500);
    transport::SetTextTimeoutsForTest(3000, 3000);
    CScheduler::SetTimings(ShortTimings());
    m_checkTimings = GetCheckTimings();
    CheckTimings fast = m_checkTimings;
    fast.trafficStep = 20ms;
    SetCheckTimings(fast);
    m_sources = GetCheckSources();
    CheckSources sources = m_sources;
    fs::create_directories(At("sys-class-net"));
    sources.sysClassNet = At("sys-class-net") + "/";
    SetCheckSources(sources);
  }
  void TearDown() override {
    // The host's thread calls into the scheduler: it goes first.
    if (m_host) m_host->Stop();
    m_scheduler.reset();
    m_host.reset();
    CScheduler::SetTimings({});
    SetCheckTimings(m_checkTimings);
    SetCheckSources(m_sources);
    CNetWorkSpeed::SetTimings({});
    CHttpDownloadGet::SetDurationsForTest(0, 0);
    transport::SetTextTimeoutsForTest(0, 0);
    CDataBase::Instance().Reset();
    ProgramFolderTest::TearDown();
  }

  // Thresholds that only the processor can break (traffic is the machine's own business).
  void Thresholds(const std::string& cpu) {
    Write("Config\\threshold_config.xml",
          "<t><CPUThreshold><value>" + cpu +
              "</value></CPUThreshold><MemoryThreshold><value>100</value></MemoryThreshold>"
              "<FlowThreshold><down_speed>100000000</down_speed><up_speed>100000000</up_speed>"
              "</FlowThreshold></t>");
  }

  // The user's settings with these modules, selected, in this order.
  void Select(const std::vector<int>& modules, const std::vector<int>& unselected = {}) {
    std::string xml = "<settings><tasks>";
    for (int m : modules)
      xml += "<module id=\"" + std::to_string(m) + "\" selected=\"true\"></module>";
    for (int m : unselected)
      xml += "<module id=\"" + std::to_string(m) + "\" selected=\"false\"></module>";
    xml += "</tasks></settings>";
    Write("Config\\settings1234.xml", xml);
  }

  std::unique_ptr<LabProcess> StartLab(std::vector<std::string> extra = {}) {
    std::vector<std::string> flags = {"--test", std::string("--test-addr=") + kServerAddress,
                                      "--test-port=8080"};
    flags.insert(flags.end(), extra.begin(), extra.end());
    auto lab = StartLabOnFixedPort(flags);
    EXPECT_TRUE(lab->Started()) << lab->Error();
    return lab;
  }

  CScheduler& MakeScheduler() {
    m_host = std::make_unique<CHeadlessSchedulerHost>();
    m_scheduler = std::make_unique<CScheduler>(m_host.get());
    m_host->Attach(m_scheduler.get());
    m_scheduler->SetCycleObserver([this](const CycleReport& report) {
      std::lock_guard<std::mutex> guard(m_lock);
      m_reports.push_back(report);
      m_reportTimes.push_back(Clock::now());
    });
    return *m_scheduler;
  }

  std::vector<CycleReport> Reports() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_reports;
  }

  int HistoryRows(HistoryRecordList* list = nullptr) {
    HistoryRecordList rows;
    CSqliteDb db(history::DatabasePath("1234"));
    const int n = db.ReadHistory("", rows);
    if (list) *list = rows;
    return n;
  }

  int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  std::string MainLog() {
    char name[64];
    time_t now = time(nullptr);
    strftime(name, sizeof name, "log/%Y-%m-%d.log", localtime(&now));
    return codepage::GbkToUtf8(Read(name));
  }

  std::vector<LabRequest> SlotRequests(LabProcess& lab) {
    std::vector<LabRequest> slots;
    for (const auto& r : lab.Requests("test"))
      if (r.method == "GET" && r.target.rfind("/speed/dovalid?", 0) == 0) slots.push_back(r);
    return slots;
  }

  CallLog m_log;
  std::unique_ptr<CHeadlessSchedulerHost> m_host;
  std::unique_ptr<CScheduler> m_scheduler;
  std::mutex m_lock;
  std::vector<CycleReport> m_reports;
  std::vector<Clock::time_point> m_reportTimes;
  CheckTimings m_checkTimings;
  CheckSources m_sources;
};

TEST_F(SchedulerTest, BandwidthAndFileDownloadKeepTheirOrderCycleAfterCycle) {
  auto lab = StartLab();
  Select({1, 4}, {2, 3});
  LoggedBandwidth bandwidth(m_log);
  DoubleEngine fileDown(4, m_log);
  CScheduler& scheduler = MakeScheduler();
  ShutdownAtEnd end(scheduler);  // before the engines go
  scheduler.RegisterEngine(1, &bandwidth);
  scheduler.RegisterEngine(4, &fileDown);
  scheduler.SetChecks([] { return 0; }, [] { return 0; });
  ConfirmAutomaticMode();
  ASSERT_TRUE(scheduler.ArmScheduler());
  EXPECT_EQ(scheduler.TaskModules(), (std::vector<int>{1, 4}));

  ASSERT_TRUE(scheduler.WaitForCycles(2, 60s));
  EXPECT_EQ(m_log.Modules(), (std::vector<int>{1, 4, 1, 4}));
  EXPECT_EQ(scheduler.TaskModules(), (std::vector<int>{1, 4}));
  EXPECT_EQ(bandwidth.Results(), (std::vector<int>{2, 2}));
  for (const Call& call : m_log.Calls()) {
    EXPECT_EQ(call.first, 0);
    EXPECT_EQ(call.second, 1);
    EXPECT_EQ(call.checktype, 0);
  }
  CDataBase& data = CDataBase::Instance();
  EXPECT_EQ(data.autoScheduledCount.load(), 4);
  EXPECT_EQ(data.autoCompletedCount.load(), 2);  // the double completes nothing
  EXPECT_EQ(data.testBusy.load(), 0);
  EXPECT_EQ(data.autoCycleActive.load(), 0);
  EXPECT_NE(data.LastResult().find("最近一次带宽测速结果"), std::string::npos);
  EXPECT_EQ(HistoryRows(), 2);

  const std::string log = MainLog();
  EXPECT_EQ(Count(log, std::string(CScheduler::kHyphenLine) + "\n"), 2);
  EXPECT_EQ(Count(log, "检测网络性能 Begin"), 2);
  EXPECT_EQ(Count(log, "检测网络性能 End"), 2);
  // The next cycle waits the whole interval after the last one ended.
  const auto calls = m_log.Calls();
  std::lock_guard<std::mutex> guard(m_lock);
  ASSERT_EQ(m_reportTimes.size(), 2u);
  EXPECT_GE(calls[2].at - m_reportTimes[0], ShortTimings().betweenCycles);
  EXPECT_TRUE(m_host->TimerSet());
}

TEST_F(SchedulerTest, QueuedRequestIsRetriedWithItsKeyUntilItRuns) {
  auto lab = StartLab({"--test-dovalid=queued", "--test-queue=2"});
  Select({1});
  LoggedBandwidth bandwidth(m_log);
  CScheduler& scheduler = MakeScheduler();
  ShutdownAtEnd end(scheduler);  // before the engines go
  scheduler.RegisterEngine(1, &bandwidth);
  int rechecks = 0;
  scheduler.SetChecks([] { return 0; }, [&rechecks] { return ++rechecks, 0; });
  ConfirmAutomaticMode();
  ASSERT_TRUE(scheduler.ArmScheduler());
  ASSERT_TRUE(scheduler.WaitForCycles(1, 60s));

  EXPECT_EQ(bandwidth.Results(), (std::vector<int>{1, 1, 2}));
  const auto calls = m_log.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].first, 0);
  EXPECT_EQ(calls[1].first, 1);
  EXPECT_EQ(calls[2].first, 1);
  // 19 steps between the tries, then the resources again.
  for (int i = 1; i < 3; ++i)
    EXPECT_GE(calls[i].at - calls[i - 1].at, ShortTimings().step * ShortTimings().bandRetry);
  EXPECT_EQ(rechecks, 2);
  const auto slots = SlotRequests(*lab);
  ASSERT_EQ(slots.size(), 3u);
  const std::string key = bandwidth.StoredKey();
  for (const auto& slot : slots)
    EXPECT_EQ(slot.target, "/speed/dovalid?key=" + key + "&flag=false");
  EXPECT_EQ(HistoryRows(), 1);
  EXPECT_EQ(CDataBase::Instance().autoCompletedCount.load(), 1);
}

TEST_F(SchedulerTest, QueueThatNeverDrainsIsGivenUpWhenTheMachineTurnsBusy) {
  auto lab = StartLab({"--test-dovalid=queued", "--test-queue=100000"});
  Select({1, 4});
  LoggedBandwidth bandwidth(m_log);
  DoubleEngine fileDown(4, m_log);
  CScheduler& scheduler = MakeScheduler();
  ShutdownAtEnd end(scheduler);  // before the engines go
  scheduler.RegisterEngine(1, &bandwidth);
  scheduler.RegisterEngine(4, &fileDown);
  // The cycle starts fit; the retries check the real resources.
  scheduler.SetChecks([] { return 0; }, nullptr);
  ConfirmAutomaticMode();
  ASSERT_TRUE(scheduler.ArmScheduler());
  ASSERT_TRUE(testsupport::WaitFor([&] { return bandwidth.Results().size() >= 2; }, 30s));
  Thresholds("-1");
  ASSERT_TRUE(scheduler.WaitForCycles(1, 30s));
  const auto ended = Clock::now();

  EXPECT_TRUE(m_log.Of(4).empty());
  EXPECT_FALSE(Reports()[0].completed);
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  // The held key was given back.
  const std::string key = bandwidth.StoredKey();
  EXPECT_NE(lab->Stats("test").all["released"].find(key), std::string::npos);
  // The next cycle comes after the whole interval.
  EXPECT_TRUE(m_host->TimerSet());
  Thresholds("100");
  ASSERT_TRUE(
      testsupport::WaitFor([&] { return m_log.Calls().size() > bandwidth.Results().size(); }, 30s));
  const auto calls = m_log.Calls();
  EXPECT_GE(calls.back().at - ended, ShortTimings().betweenCycles - 100ms);
  CDataBase::Instance().testRunEnabled = 0;
}

TEST_F(SchedulerTest, OtherKindsGetThreeAttemptsAndAFailureMovesOn) {
  Select({3, 4});
  DoubleEngine video(3, m_log, []() -> int { throw std::runtime_error("player gone"); });
  DoubleEngine fileDown(4, m_log, [] { return 1; });
  CScheduler& scheduler = MakeScheduler();
  ShutdownAtEnd end(scheduler);  // before the engines go
  scheduler.RegisterEngine(3, &video);
  scheduler.RegisterEngine(4, &fileDown);
  scheduler.SetChecks([] { return 0; }, [] { return 0; });
  ConfirmAutomaticMode();
  ASSERT_TRUE(scheduler.ArmScheduler());
  ASSERT_TRUE(scheduler.WaitForCycles(1, 30s));

  EXPECT_EQ(m_log.Modules(), (std::vector<int>{3, 4, 4, 4}));
  const auto files = m_log.Of(4);
  EXPECT_EQ(files[0].first, 0);
  EXPECT_EQ(files[1].first, 1);
  EXPECT_EQ(files[2].first, 1);
  EXPECT_GE(files[1].at - files[0].at, ShortTimings().step * ShortTimings().otherRetry);
  const CycleReport report = Reports()[0];
  EXPECT_TRUE(report.completed);
  ASSERT_EQ(report.calls.size(), 4u);
  EXPECT_TRUE(report.calls[0].threw);
  EXPECT_EQ(scheduler.TaskModules(), (std::vector<int>{3, 4}));
  EXPECT_NE(MainLog().find("player gone"), std::string::npos);
}

TEST_F(SchedulerTest, UnfitMachineRecordsInvalidBandwidthAndPassesTheVerdictOn) {
  auto lab = StartLab();
  Thresholds("80");
  Select({1, 4});
  LoggedBandwidth bandwidth(m_log);
  DoubleEngine fileDown(4, m_log);
  CScheduler& scheduler = MakeScheduler();
  ShutdownAtEnd end(scheduler);  // before the engines go
  scheduler.RegisterEngine(1, &bandwidth);
  scheduler.RegisterEngine(4, &fileDown);
  scheduler.SetChecks([] { return 1; }, [] { return 1; });
  ConfirmAutomaticMode();
  ASSERT_TRUE(scheduler.ArmScheduler());
  ASSERT_TRUE(scheduler.WaitForCycles(1, 30s));

  EXPECT_TRUE(SlotRequests(*lab).empty());
  EXPECT_TRUE(bandwidth.Results().empty());
  EXPECT_EQ(bandwidth.InvalidReason.load(), 1);
  HistoryRecordList rows;
  ASSERT_EQ(HistoryRows(&rows), 1);
  EXPECT_EQ(rows.sName[0], "无效数据");
  EXPECT_EQ(rows.sType[0], "自动");
  EXPECT_EQ(rows.SpeedType[0], "自动测速");
  EXPECT_EQ(rows.sQuota[0], "CPU使用率 > 80%");
  std::smatch m;
  const std::string last = CDataBase::Instance().LastResult();
  ASSERT_TRUE(std::regex_match(
      last, m,
      std::regex("最近一次自动测速结果：\n数据无效\n\\(原因:CPU使用率 > 80%\\)\n测速时间:"
                 "(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)")))
      << last;
  EXPECT_EQ(rows.SpeedTime[0], m[1].str());

  const auto files = m_log.Of(4);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].checktype, 1);
  EXPECT_EQ(files[0].invalidReason, 1);
  const CycleReport report = Reports()[0];
  EXPECT_EQ(report.verdict, 1);
  EXPECT_EQ(report.reason, "CPU使用率 > 80%");
  EXPECT_TRUE(report.invalidBandRow);
}

TEST_F(SchedulerTest, UnfitMachineWithOnlyBandwidthStillLetsGoOfTheBusyFlag) {
  Select({1});
  LoggedBandwidth bandwidth(m_log);
  CScheduler& scheduler = MakeScheduler();
  ShutdownAtEnd end(scheduler);  // before the engines go
  scheduler.RegisterEngine(1, &bandwidth);
  scheduler.SetChecks([] { return 3; }, [] { return 3; });
  ConfirmAutomaticMode();
  ASSERT_EQ(CDataBase::Instance().testBusy.load(), 1);
  ASSERT_TRUE(scheduler.ArmScheduler());
  ASSERT_TRUE(scheduler.WaitForCycles(1, 30s));
  EXPECT_EQ(CDataBase::Instance().testBusy.load(), 0);
  EXPECT_EQ(CDataBase::Instance().autoCycleActive.load(), 0);
  EXPECT_EQ(HistoryRows(), 1);
}

TEST_F(SchedulerTest, StopDuringTheRetryWaitEndsWithinAStepAndGivesTheKeyBack) {
  auto lab = StartLab({"--test-dovalid=queued", "--test-queue=100000"});
  SchedulerTimings timings = ShortTimings();
  timings.bandRetry = 100;  // 5 s
  CScheduler::SetTimings(timings);
  Select({1, 4});
  LoggedBandwidth bandwidth(m_log);
  DoubleEngine fileDown(4, m_log);
  CScheduler& scheduler = MakeScheduler();
  ShutdownAtEnd end(scheduler);  // before the engines go
  scheduler.RegisterEngine(1, &bandwidth);
  scheduler.RegisterEngine(4, &fileDown);
  scheduler.SetChecks([] { return 0; }, [] { return 0; });
  ConfirmAutomaticMode();
  ASSERT_TRUE(scheduler.ArmScheduler());
  ASSERT_TRUE(testsupport::WaitFor([&] { return bandwidth.Results().size() == 1; }, 30s));
  std::this_thread::sleep_for(300ms);  // well inside the wait
  const auto stop = Clock::now();
  // The stop window.
  CDataBase::Instance().testBusy = 0;
  CDataBase::Instance().testRunEnabled = 0;
  ASSERT_TRUE(scheduler.WaitForCycles(1, 10s));
  EXPECT_LT(Clock::now() - stop, 2 * timings.step + 200ms);

  EXPECT_TRUE(m_log.Of(4).empty());
  EXPECT_EQ(bandwidth.Results().size(), 1u);
  EXPECT_NE(lab->Stats("test").all["released"].find(bandwidth.StoredKey()), std::string::npos);
  EXPECT_FALSE(m_host->TimerSet());
  // The timer procedure starts nothing while automatic mode is off.
  scheduler.CycleTimerExpired();
  EXPECT_FALSE(scheduler.CycleRunning());
  EXPECT_EQ(scheduler.CyclesEnded(), 1u);
}

TEST_F(SchedulerTest, StopAndArmAgainNeverRunsTwoCycles) {
  Select({4, 3});
  std::atomic<int> inside{0}, most{0};
  auto slow = [&] {
    const int now = ++inside;
    int seen = most.load();
    while (now > seen && !most.compare_exchange_weak(seen, now)) {
    }
    std::this_thread::sleep_for(30ms);
    --inside;
    return 2;
  };
  DoubleEngine fileDown(4, m_log, slow);
  DoubleEngine video(3, m_log, slow);
  SchedulerTimings timings = ShortTimings();
  timings.firstCycle = 5ms;
  timings.busyRetry = 5ms;
  timings.step = 10ms;
  timings.betweenCycles = 20ms;
  CScheduler::SetTimings(timings);
  CScheduler& scheduler = MakeScheduler();
  ShutdownAtEnd end(scheduler);  // before the engines go
  scheduler.RegisterEngine(4, &fileDown);
  scheduler.RegisterEngine(3, &video);
  scheduler.SetChecks([] { return 0; }, [] { return 0; });

  for (int i = 0; i < 50; ++i) {
    ConfirmAutomaticMode();
    ASSERT_TRUE(scheduler.ArmScheduler());
    std::this_thread::sleep_for(std::chrono::milliseconds(i % 7 * 6));
    CDataBase::Instance().testRunEnabled = i % 3 == 0 ? 0 : 1;  // now and then the stop window
  }
  ConfirmAutomaticMode();
  ASSERT_TRUE(scheduler.ArmScheduler());
  const uint64_t before = scheduler.CyclesEnded();
  ASSERT_TRUE(testsupport::WaitFor(
      [&] {
        const auto reports = Reports();
        return scheduler.CyclesEnded() > before && !reports.empty() && reports.back().completed;
      },
      20s));
  CDataBase::Instance().testRunEnabled = 0;
  ASSERT_TRUE(testsupport::WaitFor([&] { return !scheduler.CycleRunning(); }, 10s));
  EXPECT_EQ(scheduler.MaxConcurrentWorkers(), 1);
  EXPECT_EQ(most.load(), 1);
  // The list was never rotated twice over or emptied by an old cycle.
  const auto modules = scheduler.TaskModules();
  EXPECT_EQ(modules.size(), 2u);
}

TEST_F(SchedulerTest, ArmingNeedsManualAndSkipsKindsWithoutAnEngine) {
  Select({2, 1, 9});
  LoggedBandwidth bandwidth(m_log);
  DoubleEngine fileDown(4, m_log);
  CScheduler& scheduler = MakeScheduler();
  ShutdownAtEnd end(scheduler);  // before the engines go
  scheduler.RegisterEngine(1, &bandwidth);
  scheduler.RegisterEngine(4, &fileDown);
  // Module 9 is taken for the file download; no web page engine in this build.
  EXPECT_EQ(scheduler.BuildTaskList(), 2u);
  EXPECT_EQ(scheduler.TaskModules(), (std::vector<int>{1, 4}));
  EXPECT_NE(MainLog().find("模块 2 不在本程序中"), std::string::npos);

  Write("conf\\config.properties", "manual=0\n");
  Select({4});
  EXPECT_FALSE(scheduler.ArmScheduler());
  EXPECT_FALSE(m_host->TimerSet());
  EXPECT_EQ(scheduler.TaskModules(), (std::vector<int>{1, 4}));  // not rebuilt either
  // An unreadable settings file leaves the list empty: the timer only dies.
  Write("conf\\config.properties", "manual=1\n");
  fs::remove(At("Config/settings1234.xml"));
  ASSERT_TRUE(scheduler.ArmScheduler());
  EXPECT_TRUE(scheduler.TaskModules().empty());
  scheduler.CycleTimerExpired();
  EXPECT_FALSE(m_host->TimerSet());
  EXPECT_FALSE(scheduler.CycleRunning());
  EXPECT_TRUE(m_log.Calls().empty());
}

}  // namespace
