#include "auto/environment_checks.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "auto/network_status_binding.h"
#include "auto/settings_files.h"
#include "core/data_base.h"
#include "platform/adapters.h"
#include "platform/process.h"

namespace {

std::mutex g_configLock;
CheckTimings g_timings;
CheckSources g_sources;

using Clock = std::chrono::steady_clock;

std::optional<std::string> ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Sleeps one step; false when the run was stopped before it.
bool Step(const std::function<bool()>& running, std::chrono::milliseconds step) {
  if (running && !running()) return false;
  std::this_thread::sleep_for(step);
  return true;
}

std::optional<uint32_t> ParseIpv4(const std::string& text) {
  in_addr address{};
  if (inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
  return ntohl(address.s_addr);
}

std::string FormatIpv4(uint32_t value) {
  in_addr address{};
  address.s_addr = htonl(value);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

std::vector<std::string> ResolveHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &list) != 0 || list == nullptr) return {};
  std::vector<std::string> addresses;
  for (addrinfo* a = list; a; a = a->ai_next) {
    auto* in = reinterpret_cast<sockaddr_in*>(a->ai_addr);
    addresses.push_back(FormatIpv4(ntohl(in->sin_addr.s_addr)));
  }
  freeaddrinfo(list);
  return addresses;
}

// The counters of the interfaces that have a hardware address, one interface per address.
std::optional<std::map<std::string, InterfaceCounters>> ReadTrafficCounters(
    const std::string& netDev, const std::set<std::string>* only) {
  std::optional<std::string> text = ReadText(netDev);
  if (!text) return std::nullopt;
  std::vector<InterfaceCounters> rows = ParseNetDev(*text);
  std::map<std::string, InterfaceCounters> kept;
  if (only) {
    for (const auto& row : rows) {
      if (only->count(row.name)) kept[row.name] = row;
    }
    return kept;
  }
  auto adapters = platform::ListAdapters();
  if (!adapters) return std::nullopt;
  std::set<std::string> seen;
  for (const auto& row : rows) {
    auto adapter = std::find_if(adapters->begin(), adapters->end(),
                                [&](const platform::Adapter& a) { return a.name == row.name; });
    if (adapter == adapters->end() || !adapter->HasMac()) continue;
    // An adapter listed several times is counted once.
    if (!seen.insert(platform::FormatMac(adapter->mac)).second) continue;
    kept[row.name] = row;
  }
  return kept;
}

int ReadCounter(CPerformanceCollector& collector, int key) { return collector.Read(key); }

}  // namespace

CheckTimings GetCheckTimings() {
  std::lock_guard<std::mutex> guard(g_configLock);
  return g_timings;
}

void SetCheckTimings(const CheckTimings& timings) {
  std::lock_guard<std::mutex> guard(g_configLock);
  g_timings = timings;
}

CheckSources GetCheckSources() {
  std::lock_guard<std::mutex> guard(g_configLock);
  return g_sources;
}

void SetCheckSources(const CheckSources& sources) {
  std::lock_guard<std::mutex> guard(g_configLock);
  g_sources = sources;
}

// ---- Parsers ----

std::optional<CPerformanceCollector::RawSample> ParseCpuTotals(const std::string& procStat) {
  std::istringstream in(procStat);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string label;
    words >> label;
    if (label != "cpu") continue;
    // user nice system idle iowait irq softirq steal; guest time is already inside user.
    uint64_t values[8] = {};
    int read = 0;
    for (; read < 8 && (words >> values[read]); ++read) {
    }
    if (read < 4) return std::nullopt;
    uint64_t total = 0;
    for (int i = 0; i < read; ++i) total += values[i];
    const uint64_t idle = values[3] + (read > 4 ? values[4] : 0);
    return CPerformanceCollector::RawSample{total - idle, total};
  }
  return std::nullopt;
}

std::optional<CPerformanceCollector::RawSample> ParseMemory(const std::string& memInfo) {
  std::istringstream in(memInfo);
  std::string line;
  std::optional<uint64_t> total, available;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string label;
    uint64_t value = 0;
    if (!(words >> label >> value)) continue;
    if (label == "MemTotal:") total = value;
    if (label == "MemAvailable:") available = value;
  }
  if (!total || !available || *total == 0 || *available > *total) return std::nullopt;
  return CPerformanceCollector::RawSample{(*total - *available) * 1024, *total * 1024};
}

int CpuPercent(const CPerformanceCollector::RawSample& before,
               const CPerformanceCollector::RawSample& after) {
  if (after.total <= before.total || after.busy < before.busy)
    return CPerformanceCollector::kNoValue;
  const double share = static_cast<double>(after.busy - before.busy) /
                       static_cast<double>(after.total - before.total);
  return static_cast<int>(std::lround(std::min(1.0, share) * 100));
}

int MemoryPercent(const CPerformanceCollector::RawSample& memory) {
  if (memory.total == 0) return CPerformanceCollector::kNoValue;
  return static_cast<int>(
      std::lround(static_cast<double>(memory.busy) * 100 / static_cast<double>(memory.total)));
}

std::vector<InterfaceCounters> ParseNetDev(const std::string& text) {
  std::vector<InterfaceCounters> rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;  // the two heading lines
    std::string name = line.substr(0, colon);
    name.erase(0, name.find_first_not_of(' '));
    if (name.empty() || name.find('|') != std::string::npos) continue;
    std::istringstream fields(line.substr(colon + 1));
    uint64_t values[9] = {};
    int read = 0;
    for (; read < 9 && (fields >> values[read]); ++read) {
    }
    if (read < 9) continue;
    // Receive: bytes packets errs drop fifo frame compressed multicast; then transmit bytes.
    rows.push_back({name, values[0], values[8]});
  }
  return rows;
}

// ---- Performance collector ----

CPerformanceCollector::CPerformanceCollector() {
  m_counters.push_back(Counter{kProcessorKey});
  m_counters.push_back(Counter{kMemoryKey});
}

void CPerformanceCollector::Collect() {
  const CheckSources sources = GetCheckSources();
  std::optional<RawSample> cpu, memory;
  if (auto text = ReadText(sources.procStat)) cpu = ParseCpuTotals(*text);
  if (auto text = ReadText(sources.memInfo)) memory = ParseMemory(*text);
  std::lock_guard<std::mutex> guard(m_lock);
  m_previousCpu = m_latestCpu;
  m_latestCpu = cpu;
  m_latestMemory = memory;
}

CPerformanceCollector::Counter* CPerformanceCollector::Find(int key) {
  for (auto& counter : m_counters) {
    if (counter.key == key) return &counter;
  }
  return nullptr;
}

void CPerformanceCollector::Append(Counter& counter, const RawSample& sample) {
  counter.ring[counter.next] = sample;
  counter.next = (counter.next + 1) % kRingSize;
  if (counter.count < kRingSize) {
    ++counter.count;
  } else {
    counter.first = counter.next;
  }
}

int CPerformanceCollector::Read(int key) {
  std::lock_guard<std::mutex> guard(m_lock);
  Counter* counter = Find(key);
  if (!counter) return kNoValue;
  int value = kNoValue;
  std::optional<RawSample> raw;
  if (key == kProcessorKey && m_previousCpu && m_latestCpu) {
    value = CpuPercent(*m_previousCpu, *m_latestCpu);
    raw = m_latestCpu;
  } else if (key == kMemoryKey && m_latestMemory) {
    value = MemoryPercent(*m_latestMemory);
    raw = m_latestMemory;
  }
  if (value == kNoValue || !raw) return kNoValue;
  counter->value = value;
  Append(*counter, *raw);
  return value;
}

std::optional<CPerformanceCollector::Counter> CPerformanceCollector::CounterState(int key) const {
  std::lock_guard<std::mutex> guard(m_lock);
  for (const auto& counter : m_counters) {
    if (counter.key == key) return counter;
  }
  return std::nullopt;
}

// ---- The checks ----

bool AutomaticModeOn() { return CDataBase::Instance().testRunEnabled.load() != 0; }

std::vector<std::string> RunningAntivirus(const std::vector<std::string>& names) {
  std::set<std::string> wanted;
  for (const auto& name : names) {
    if (!name.empty()) wanted.insert(platform::NormalizeProcessName(name));
  }
  std::vector<std::string> found;
  if (wanted.empty()) return found;
  for (const auto& process : platform::ListProcesses()) {
    const std::string name = platform::NormalizeProcessName(process.name);
    if (wanted.count(name) && std::find(found.begin(), found.end(), name) == found.end())
      found.push_back(name);
  }
  return found;
}

std::vector<std::string> WirelessAdapters() {
  const std::string root = GetCheckSources().sysClassNet;
  std::vector<std::string> found;
  auto adapters = platform::ListAdapters();
  if (!adapters) return found;  // an unreadable list counts as not wireless
  for (const auto& adapter : *adapters) {
    if (adapter.up && Exists(root + adapter.name + "/wireless")) found.push_back(adapter.name);
  }
  return found;
}

TrafficMeasure MeasureTraffic(const std::function<bool()>& running) {
  const CheckTimings timings = GetCheckTimings();
  const std::string netDev = GetCheckSources().netDev;
  TrafficMeasure measure;
  auto first = ReadTrafficCounters(netDev, nullptr);
  if (!first) return measure;
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < timings.trafficSteps; ++i) {
    if (!Step(running, timings.trafficStep)) {
      measure.stopped = true;
      return measure;
    }
  }
  std::set<std::string> names;
  for (const auto& [name, row] : *first) names.insert(name);
  auto second = ReadTrafficCounters(netDev, &names);
  if (!second) return measure;
  measure.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  measure.read = true;
  for (const auto& [name, after] : *second) {
    const InterfaceCounters& before = first->at(name);
    // A counter that went down (the interface was reset) adds nothing.
    if (after.received > before.received) measure.received += after.received - before.received;
    if (after.sent > before.sent) measure.sent += after.sent - before.sent;
  }
  if (measure.seconds > 0) {
    measure.inKBps = static_cast<double>(measure.received) / 1024 / measure.seconds;
    measure.outKBps = static_cast<double>(measure.sent) / 1024 / measure.seconds;
  }
  return measure;
}

SharedLineMeasure MeasureSharedLine(const std::function<bool()>& running) {
  const CheckTimings timings = GetCheckTimings();
  const CheckSources sources = GetCheckSources();
  SharedLineMeasure measure;
  std::optional<platform::Adapter> adapter = platform::FirstAdapter();
  if (!adapter) return measure;
  measure.mask = adapter->mask;
  if (adapter->mask == "255.255.255.255") {
    measure.pointToPoint = true;  // a dial-up link has nobody beside it
    return measure;
  }

  // The host name may resolve to a loopback address (127.0.1.1 on Debian): that is no
  // address on the line.
  std::vector<std::string> named =
      sources.hostAddresses ? sources.hostAddresses() : ResolveHostName();
  for (const auto& address : named) {
    auto value = ParseIpv4(address);
    if (value && (*value >> 24) != 127 && *value != 0) {
      measure.ownAddress = address;
      break;
    }
  }
  if (measure.ownAddress.empty()) measure.ownAddress = adapter->ipv4;
  auto own = ParseIpv4(measure.ownAddress);
  if (!own) return measure;

  // The /24 around the own address, but only what lies inside the adapter's subnet: past a
  // small subnet's edge live other customers.
  uint32_t mask = 0xFFFFFF00u;
  if (auto adapterMask = ParseIpv4(adapter->mask)) mask = *adapterMask;
  const uint32_t network = *own & mask;
  const uint32_t broadcast = network | ~mask;
  const bool edgesReserved = mask != 0xFFFFFFFEu;  // a /31 has no network or broadcast address
  std::vector<std::string> candidates;
  for (uint32_t host = 1; host <= 254; ++host) {
    const uint32_t candidate = (*own & 0xFFFFFF00u) | host;
    if ((candidate & mask) != network) continue;
    if (edgesReserved && (candidate == network || candidate == broadcast)) continue;
    candidates.push_back(FormatIpv4(candidate));
  }
  measure.candidates = candidates.size();

  std::mutex lock;
  std::condition_variable ended;
  std::vector<std::string> responders;
  const size_t batchSize = std::max<size_t>(1, timings.probeBatch);
  for (size_t from = 0; from < candidates.size() && !measure.stopped; from += batchSize) {
    ++measure.batches;
    size_t running_ = 0;
    std::vector<std::thread> probes;
    for (size_t i = from; i < std::min(candidates.size(), from + batchSize); ++i) {
      if (running && !running()) {
        measure.stopped = true;
        break;
      }
      {
        std::lock_guard<std::mutex> guard(lock);
        ++running_;
      }
      probes.emplace_back([&, candidate = candidates[i]] {
        const bool answered = netstatus::Ping(candidate, timings.pingCount).success != 0;
        std::lock_guard<std::mutex> guard(lock);
        if (answered) responders.push_back(candidate);
        --running_;
        ended.notify_all();
      });
      if (i + 1 < std::min(candidates.size(), from + batchSize))
        std::this_thread::sleep_for(timings.probeStagger);
    }
    {
      std::unique_lock<std::mutex> guard(lock);
      ended.wait_for(guard, timings.batchBound, [&] { return running_ == 0; });
    }
    // A ping ends by itself within its count of time-outs; none outlives the check.
    for (auto& probe : probes) probe.join();
  }
  std::sort(responders.begin(), responders.end(), [](const std::string& a, const std::string& b) {
    return ParseIpv4(a).value_or(0) < ParseIpv4(b).value_or(0);
  });
  responders.erase(std::unique(responders.begin(), responders.end()), responders.end());
  measure.responders = responders;
  measure.verdict = responders.size() > 2 ? verdict::kSharedLine : verdict::kSuitable;
  return measure;
}

int CheckResources(CPerformanceCollector& collector, const std::function<bool()>& running) {
  const CheckTimings timings = GetCheckTimings();
  std::this_thread::sleep_for(timings.sampleWait);
  collector.Collect();
  const settings::Thresholds thresholds = settings::ReadThresholds();
  // -999 (no value) is below every sensible threshold and never fires.
  const int cpu = ReadCounter(collector, CPerformanceCollector::kProcessorKey);
  if (cpu != CPerformanceCollector::kNoValue && cpu > thresholds.cpuPercent)
    return verdict::kCpuBusy;
  const int memory = ReadCounter(collector, CPerformanceCollector::kMemoryKey);
  if (memory != CPerformanceCollector::kNoValue && memory > thresholds.memoryPercent)
    return verdict::kMemoryBusy;
  if (!RunningAntivirus(thresholds.antivirus).empty()) return verdict::kAntivirus;
  if (!WirelessAdapters().empty()) return verdict::kWireless;
  const TrafficMeasure traffic = MeasureTraffic(running);
  if (traffic.read && !traffic.stopped &&
      (thresholds.flowDown < traffic.inKBps || thresholds.flowUp < traffic.outKBps))
    return verdict::kTraffic;
  return verdict::kSuitable;
}

int CheckSharedLine(const std::function<bool()>& running) {
  return MeasureSharedLine(running).verdict;
}

int EnvironmentVerdict(CPerformanceCollector& collector, const std::function<bool()>& running) {
  const int resources = CheckResources(collector, running);
  if (resources != verdict::kSuitable) return resources;
  if (running && !running()) return verdict::kSuitable;
  return CheckSharedLine(running);
}

EnvironmentReport MeasureEnvironment(CPerformanceCollector& collector,
                                     const std::function<bool()>& running) {
  EnvironmentReport report;
  std::this_thread::sleep_for(GetCheckTimings().sampleWait);
  collector.Collect();
  const settings::Thresholds thresholds = settings::ReadThresholds();
  report.cpuPercent = collector.Read(CPerformanceCollector::kProcessorKey);
  report.memoryPercent = collector.Read(CPerformanceCollector::kMemoryKey);
  report.antivirus = RunningAntivirus(thresholds.antivirus);
  report.wireless = WirelessAdapters();
  report.traffic = MeasureTraffic(running);
  report.sharedLine = MeasureSharedLine(running);

  if (report.cpuPercent != CPerformanceCollector::kNoValue &&
      report.cpuPercent > thresholds.cpuPercent)
    report.verdict = verdict::kCpuBusy;
  else if (report.memoryPercent != CPerformanceCollector::kNoValue &&
           report.memoryPercent > thresholds.memoryPercent)
    report.verdict = verdict::kMemoryBusy;
  else if (!report.antivirus.empty())
    report.verdict = verdict::kAntivirus;
  else if (!report.wireless.empty())
    report.verdict = verdict::kWireless;
  else if (report.traffic.read && !report.traffic.stopped &&
           (thresholds.flowDown < report.traffic.inKBps ||
            thresholds.flowUp < report.traffic.outKBps))
    report.verdict = verdict::kTraffic;
  else
    report.verdict = report.sharedLine.verdict;
  report.reason = ReasonText(report.verdict);
  return report;
}
