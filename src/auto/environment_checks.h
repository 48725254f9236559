#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "auto/check_reason.h"

// Whether the machine is fit to measure: processor and memory load, antivirus, wireless line,
// interface traffic, and other hosts on the line. Everything is read anew at each check.

// Durations and sizes of the checks; tests shorten them.
struct CheckTimings {
  std::chrono::milliseconds sampleWait{55};  // before the counters are sampled
  int trafficSteps = 4;                      // the traffic interval, in steps
  std::chrono::milliseconds trafficStep{1000};
  size_t probeBatch = 20;                      // shared-line probes running at once
  std::chrono::milliseconds probeStagger{55};  // between two probe starts
  std::chrono::milliseconds batchBound{60000};
  int pingCount = 4;
};
CheckTimings GetCheckTimings();
void SetCheckTimings(const CheckTimings& timings);

// Where the checks read the machine; tests point them at captured or faked files.
struct CheckSources {
  std::string procStat = "/proc/stat";
  std::string memInfo = "/proc/meminfo";
  // The calling thread's own network namespace.
  std::string netDev = "/proc/thread-self/net/dev";
  std::string sysClassNet = "/sys/class/net/";
  // The host name's addresses; empty function: gethostname and getaddrinfo.
  std::function<std::vector<std::string>()> hostAddresses;
};
CheckSources GetCheckSources();
void SetCheckSources(const CheckSources& sources);

// Processor and memory load as two counters read by key. A counter that cannot be read gives
// -999. Each read keeps its raw sample in a ring of the last 20.
class CPerformanceCollector {
 public:
  static constexpr int kProcessorKey = 1;
  static constexpr int kMemoryKey = 2;
  static constexpr int kNoValue = -999;
  static constexpr int kRingSize = 20;

  CPerformanceCollector();

  // Takes one sample of the machine: the processor counter measures from the previous one.
  void Collect();
  // The latest value of the counter, or -999 (unknown key, no sample yet, unreadable).
  int Read(int key);

  struct RawSample {
    uint64_t busy = 0;   // processor: busy jiffies; memory: bytes in use
    uint64_t total = 0;  // processor: all jiffies; memory: total bytes
  };
  struct Counter {
    int key = 0;
    int value = kNoValue;
    std::array<RawSample, kRingSize> ring{};
    int next = 0;   // next write index
    int first = 0;  // oldest valid sample
    int count = 0;  // samples held, at most 20
  };
  // A copy of the counter's state (tests).
  std::optional<Counter> CounterState(int key) const;

 private:
  void Append(Counter& counter, const RawSample& sample);
  Counter* Find(int key);

  mutable std::mutex m_lock;
  std::vector<Counter> m_counters;
  std::optional<RawSample> m_previousCpu;  // the sample before the latest Collect
  std::optional<RawSample> m_latestCpu;
  std::optional<RawSample> m_latestMemory;
};

// Parsers of the kernel's texts (exposed for tests). nullopt when the text is not usable.
std::optional<CPerformanceCollector::RawSample> ParseCpuTotals(const std::string& procStat);
std::optional<CPerformanceCollector::RawSample> ParseMemory(const std::string& memInfo);
// Busy share between two processor samples, whole percent; -999 when no time passed.
int CpuPercent(const CPerformanceCollector::RawSample& before,
               const CPerformanceCollector::RawSample& after);
// In-use share, whole percent.
int MemoryPercent(const CPerformanceCollector::RawSample& memory);

struct InterfaceCounters {
  std::string name;
  uint64_t received = 0;
  uint64_t sent = 0;
};
std::vector<InterfaceCounters> ParseNetDev(const std::string& text);

// Running processes whose name is on the antivirus list (both compared as process look-ups
// compare names). Every process is looked at.
std::vector<std::string> RunningAntivirus(const std::vector<std::string>& names);

// Interfaces that are up and wireless.
std::vector<std::string> WirelessAdapters();

// Bytes through the interfaces that have a hardware address (each address counted once) over
// the traffic interval. `stopped` when the run was stopped during the interval: no traffic.
struct TrafficMeasure {
  bool read = false;  // the counters could be read
  bool stopped = false;
  uint64_t received = 0;
  uint64_t sent = 0;
  double seconds = 0;  // the time measured
  double inKBps = 0;
  double outKBps = 0;
};
TrafficMeasure MeasureTraffic(const std::function<bool()>& running);

// Other hosts answering on the line.
struct SharedLineMeasure {
  int verdict = 0;
  bool pointToPoint = false;
  std::string ownAddress;
  std::string mask;
  size_t candidates = 0;
  size_t batches = 0;
  bool stopped = false;
  std::vector<std::string> responders;  // sorted, without duplicates
};
SharedLineMeasure MeasureSharedLine(const std::function<bool()>& running);

// The run goes on while automatic mode is on.
bool AutomaticModeOn();

// Resource checks in order, the first that fires wins: 1 processor, 2 memory, 3 antivirus,
// 4 wireless, 5 traffic; 0 when none fires. `running` ends the traffic interval early.
int CheckResources(CPerformanceCollector& collector,
                   const std::function<bool()>& running = AutomaticModeOn);
// 6 when more than two hosts answer on the line (this one and its gateway are expected).
int CheckSharedLine(const std::function<bool()>& running = AutomaticModeOn);
// The verdict of an automatic cycle: the resource checks, then the shared line when they pass.
int EnvironmentVerdict(CPerformanceCollector& collector,
                       const std::function<bool()>& running = AutomaticModeOn);

// Every measure at once (no early stop), and the verdict a cycle would take from them.
struct EnvironmentReport {
  int cpuPercent = CPerformanceCollector::kNoValue;
  int memoryPercent = CPerformanceCollector::kNoValue;
  std::vector<std::string> antivirus;
  std::vector<std::string> wireless;
  TrafficMeasure traffic;
  SharedLineMeasure sharedLine;
  int verdict = 0;
  std::string reason;
};
EnvironmentReport MeasureEnvironment(CPerformanceCollector& collector,
                                     const std::function<bool()>& running = AutomaticModeOn);
