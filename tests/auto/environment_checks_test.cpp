#include "auto/environment_checks.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "core/data_base.h"
#include "platform/adapters.h"
#include "platform/process.h"
#include "test_support.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const char* kStatBefore =
    "cpu  1000 20 300 8000 100 10 10 0 50 0\n"
    "cpu0 500 10 150 4000 50 5 5 0 25 0\n"
    "intr 12345\n";
// 400 more busy jiffies (user 300, system 100), 600 more idle (idle 500, iowait 100).
const char* kStatAfter =
    "cpu  1300 20 400 8500 200 10 10 0 80 0\n"
    "cpu0 650 10 200 4250 100 5 5 0 40 0\n";

const char* kMemInfo =
    "MemTotal:       16000000 kB\n"
    "MemFree:         1000000 kB\n"
    "MemAvailable:    4000000 kB\n"
    "Buffers:          100000 kB\n";

const char* kNetDev =
    "Inter-|   Receive                                                |  Transmit\n"
    " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs "
    "drop fifo colls carrier compressed\n"
    "    lo: 1234 10 0 0 0 0 0 0 1234 10 0 0 0 0 0 0\n"
    "  eth0: 9876543210123 700 0 0 0 0 0 3 5000000000 600 0 0 0 0 0 0\n"
    "veth-x:12 1 0 0 0 0 0 0 34 1 0 0 0 0 0 0\n"
    "  bad0: 1 2 3\n";

class EnvironmentChecksTest : public ProgramFolderTest {
 protected:
  void SetUp() override {
    ProgramFolderTest::SetUp();
    CDataBase::Instance().Reset();
    m_timings = GetCheckTimings();
    m_sources = GetCheckSources();
    CheckTimings fast = m_timings;
    fast.trafficStep = 100ms;
    SetCheckTimings(fast);
    // No real interface is wireless unless a test fakes one.
    fs::create_directories(At("sys-class-net"));
    CheckSources sources = m_sources;
    sources.sysClassNet = At("sys-class-net") + "/";
    SetCheckSources(sources);
  }
  void TearDown() override {
    SetCheckTimings(m_timings);
    SetCheckSources(m_sources);
    CDataBase::Instance().Reset();
    ProgramFolderTest::TearDown();
  }

  void Thresholds(const std::string& cpu, const std::string& memory,
                  const std::string& antivirus = "", const std::string& flow = "") {
    Write("Config\\threshold_config.xml",
          "<threshold><CPUThreshold><value>" + cpu + "</value></CPUThreshold>" +
              "<MemoryThreshold><value>" + memory + "</value></MemoryThreshold>" + flow +
              "<Anti-Virus-Software>" + antivirus + "</Anti-Virus-Software></threshold>");
  }

  // Resource checks without the traffic interval's verdict: a stop before its first step.
  int ResourcesWithoutTraffic(CPerformanceCollector& collector) {
    return CheckResources(collector, [] { return false; });
  }

  CheckTimings m_timings;
  CheckSources m_sources;
};

TEST_F(EnvironmentChecksTest, ParsesCapturedKernelTexts) {
  auto before = ParseCpuTotals(kStatBefore);
  auto after = ParseCpuTotals(kStatAfter);
  ASSERT_TRUE(before && after);
  // Busy = all but idle and iowait; guest time is inside user and not counted twice.
  EXPECT_EQ(before->total, 1000u + 20 + 300 + 8000 + 100 + 10 + 10);
  EXPECT_EQ(before->busy, 1000u + 20 + 300 + 10 + 10);
  EXPECT_EQ(CpuPercent(*before, *after), 40);
  EXPECT_EQ(CpuPercent(*after, *after), CPerformanceCollector::kNoValue);   // no time passed
  EXPECT_EQ(CpuPercent(*after, *before), CPerformanceCollector::kNoValue);  // went backwards

  auto memory = ParseMemory(kMemInfo);
  ASSERT_TRUE(memory);
  EXPECT_EQ(MemoryPercent(*memory), 75);
  EXPECT_FALSE(ParseMemory("MemTotal: 100 kB\n"));  // no MemAvailable
  EXPECT_FALSE(ParseMemory("MemTotal: 0 kB\nMemAvailable: 0 kB\n"));
  EXPECT_FALSE(ParseCpuTotals("intr 1 2 3\n"));
  EXPECT_FALSE(ParseCpuTotals("cpu 1 2\n"));

  auto rows = ParseNetDev(kNetDev);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].name, "lo");
  // 64-bit counters; a name glued to its colon.
  EXPECT_EQ(rows[1].name, "eth0");
  EXPECT_EQ(rows[1].received, 9876543210123u);
  EXPECT_EQ(rows[1].sent, 5000000000u);
  EXPECT_EQ(rows[2].name, "veth-x");
  EXPECT_EQ(rows[2].sent, 34u);
  EXPECT_TRUE(ParseNetDev("").empty());
}

TEST_F(EnvironmentChecksTest, CollectorReadsByKeyKeepsTwentySamplesAndSaysMinus999) {
  Write("stat", kStatBefore);
  Write("meminfo", kMemInfo);
  CheckSources sources = GetCheckSources();
  sources.procStat = At("stat");
  sources.memInfo = At("meminfo");
  SetCheckSources(sources);

  CPerformanceCollector collector;
  EXPECT_EQ(collector.Read(77), CPerformanceCollector::kNoValue);
  collector.Collect();
  // The processor needs a previous sample.
  EXPECT_EQ(collector.Read(CPerformanceCollector::kProcessorKey), CPerformanceCollector::kNoValue);
  EXPECT_EQ(collector.Read(CPerformanceCollector::kMemoryKey), 75);
  Write("stat", kStatAfter);
  collector.Collect();
  EXPECT_EQ(collector.Read(CPerformanceCollector::kProcessorKey), 40);

  for (int i = 0; i < 24; ++i) collector.Read(CPerformanceCollector::kMemoryKey);
  auto memory = collector.CounterState(CPerformanceCollector::kMemoryKey);
  ASSERT_TRUE(memory);
  EXPECT_EQ(memory->count, 20);
  EXPECT_EQ(memory->next, 25 % 20);
  EXPECT_EQ(memory->first, memory->next);  // once full, the oldest follows the write index
  EXPECT_EQ(memory->value, 75);

  // Unreadable counters.
  sources.procStat = At("missing");
  sources.memInfo = At("missing");
  SetCheckSources(sources);
  collector.Collect();
  EXPECT_EQ(collector.Read(CPerformanceCollector::kProcessorKey), CPerformanceCollector::kNoValue);
  EXPECT_EQ(collector.Read(CPerformanceCollector::kMemoryKey), CPerformanceCollector::kNoValue);
  // -999 never fires, not even against a negative threshold.
  Thresholds("-1", "-1");
  EXPECT_EQ(ResourcesWithoutTraffic(collector), 0);
}

TEST_F(EnvironmentChecksTest, BusyProcessorsAndFullMemoryFireInOrder) {
  std::atomic<bool> spin{true};
  std::vector<std::thread> spinners;
  for (unsigned i = 0; i < std::max(2u, std::thread::hardware_concurrency()); ++i) {
    spinners.emplace_back([&] {
      volatile uint64_t n = 0;
      while (spin.load(std::memory_order_relaxed)) n = n + 1;
    });
  }
  CPerformanceCollector collector;
  collector.Collect();
  // The measure is the share over an interval: let it pass.
  std::this_thread::sleep_for(500ms);
  Thresholds("50", "0");
  EXPECT_EQ(ResourcesWithoutTraffic(collector), verdict::kCpuBusy);
  spin = false;
  for (auto& t : spinners) t.join();
  EXPECT_EQ(ReasonText(verdict::kCpuBusy), "CPU使用率 > 50%");

  // Memory is always in use somewhat.
  Thresholds("100", "0");
  EXPECT_EQ(ResourcesWithoutTraffic(collector), verdict::kMemoryBusy);
  EXPECT_EQ(ReasonText(verdict::kMemoryBusy), "内存使用率 > 0%");
  Thresholds("100", "100");
  EXPECT_EQ(ResourcesWithoutTraffic(collector), verdict::kSuitable);
}

TEST_F(EnvironmentChecksTest, AntivirusNamesMatchInAnyLetterCase) {
  // Renamed copies of sleep stand in for an antivirus program.
  for (const char* name : {"clamd", "AvGuard"}) fs::copy_file("/bin/sleep", At(name));
  const pid_t lower = platform::SpawnProcess(At("clamd"), {"30"});
  const pid_t mixed = platform::SpawnProcess(At("AvGuard"), {"30"});
  ASSERT_GT(lower, 0);
  ASSERT_GT(mixed, 0);
  auto running = [](const char* name) {
    for (const auto& p : platform::ListProcesses())
      if (p.name == name) return true;
    return false;
  };
  ASSERT_TRUE(testsupport::WaitFor([&] { return running("clamd") && running("avguard"); }));

  CPerformanceCollector collector;
  Thresholds("100", "100", "<item name=\"ClamD\"/>");
  EXPECT_EQ(ResourcesWithoutTraffic(collector), verdict::kAntivirus);
  EXPECT_EQ(RunningAntivirus({"ClamD"}), std::vector<std::string>{"clamd"});
  Thresholds("100", "100", "<item name=\"nothing.exe\"/><item name=\"avguard.exe\"/>");
  EXPECT_EQ(ResourcesWithoutTraffic(collector), verdict::kAntivirus);
  EXPECT_EQ(ReasonText(verdict::kAntivirus), "开启了杀毒软件");
  Thresholds("100", "100", "<item name=\"clam\"/><item name=\"\"/>");  // whole names only
  EXPECT_EQ(ResourcesWithoutTraffic(collector), verdict::kSuitable);

  for (pid_t pid : {lower, mixed}) {
    kill(pid, SIGKILL);
    platform::WaitProcess(pid, 5000);
  }
}

TEST_F(EnvironmentChecksTest, AnUpWirelessCardFires) {
  CPerformanceCollector collector;
  Thresholds("100", "100");
  EXPECT_TRUE(WirelessAdapters().empty());
  // The loopback interface is always up; give it the wireless marker.
  fs::create_directories(At("sys-class-net/lo/wireless"));
  EXPECT_EQ(WirelessAdapters(), std::vector<std::string>{"lo"});
  EXPECT_EQ(ResourcesWithoutTraffic(collector), verdict::kWireless);
  EXPECT_EQ(ReasonText(verdict::kWireless), "无线上网");
  // A marker for an interface that does not exist is nobody's.
  fs::remove_all(At("sys-class-net/lo"));
  fs::create_directories(At("sys-class-net/wlan9/wireless"));
  EXPECT_EQ(ResourcesWithoutTraffic(collector), verdict::kSuitable);
}

TEST_F(EnvironmentChecksTest, StopDuringTheTrafficIntervalEndsItWithinAStep) {
  CheckTimings slow = GetCheckTimings();
  slow.trafficStep = 400ms;
  SetCheckTimings(slow);
  Thresholds("100", "100");
  CPerformanceCollector collector;
  std::thread stopper([] {
    std::this_thread::sleep_for(500ms);
    CDataBase::Instance().testRunEnabled = 0;
  });
  const auto start = std::chrono::steady_clock::now();
  const int verdict = CheckResources(collector);
  const auto took = std::chrono::steady_clock::now() - start;
  stopper.join();
  EXPECT_EQ(verdict, verdict::kSuitable);
  EXPECT_LT(took, 500ms + 2 * slow.trafficStep);

  // An unreadable counter table reports no traffic.
  CheckSources sources = GetCheckSources();
  sources.netDev = At("missing");
  SetCheckSources(sources);
  const TrafficMeasure none = MeasureTraffic([] { return true; });
  EXPECT_FALSE(none.read);
  EXPECT_EQ(none.received + none.sent, 0u);
}

TEST_F(EnvironmentChecksTest, TrafficIsDividedByTheTimeMeasuredAndAResetCounterAddsNothing) {
  // Counters of the machine's own interfaces with a hardware address, faked.
  std::vector<std::string> names;
  if (auto adapters = platform::ListAdapters()) {
    for (const auto& a : *adapters)
      if (a.HasMac()) names.push_back(a.name);
  }
  if (names.empty()) GTEST_SKIP() << "no interface with a hardware address";
  auto table = [&](uint64_t in, uint64_t out, uint64_t others) {
    std::string text = "Inter-| Receive | Transmit\n face |bytes ... |bytes ...\n";
    for (size_t i = 0; i < names.size(); ++i) {
      const uint64_t rx = i == 0 ? in : others, tx = i == 0 ? out : others;
      text += names[i] + ": " + std::to_string(rx) + " 0 0 0 0 0 0 0 " + std::to_string(tx) +
              " 0 0 0 0 0 0 0\n";
    }
    // No hardware address: never counted.
    text += "lo: 1 0 0 0 0 0 0 0 1 0 0 0 0 0 0 0\n";
    return text;
  };
  Write("dev", table(5000000000ull, 1000, 900000));
  CheckSources sources = GetCheckSources();
  sources.netDev = At("dev");
  SetCheckSources(sources);

  int calls = 0;
  // 2 MiB more received on the first interface; the others were reset (their counters fell).
  const TrafficMeasure m = MeasureTraffic([&] {
    if (++calls == 2) Write("dev", table(5000000000ull + (2 << 20), 1000 + 1024, 10));
    return true;
  });
  ASSERT_TRUE(m.read);
  EXPECT_EQ(m.received, uint64_t{2} << 20);
  EXPECT_EQ(m.sent, 1024u);
  EXPECT_GE(m.seconds, 0.4);
  EXPECT_NEAR(m.inKBps, 2048 / m.seconds, 0.01);
  EXPECT_NEAR(m.outKBps, 1 / m.seconds, 0.01);
}

}  // namespace
