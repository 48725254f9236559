#include "auto/scheduler.h"

#include <algorithm>
#include <ctime>
#include <exception>

#include "auto/check_reason.h"
#include "auto/settings_files.h"
#include "core/data_base.h"
#include "core/log_file.h"
#include "core/properties_file.h"
#include "history/history_record.h"
#include "markup/markup_document.h"

namespace {

std::mutex g_timingsLock;
SchedulerTimings g_timings;

int Milliseconds(std::chrono::milliseconds d) { return static_cast<int>(d.count()); }

std::string LocalTimeText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

// Module ids of the user's settings whose `selected` is "true", in file order.
std::vector<int> SelectedModules(const std::string& file) {
  std::vector<int> modules;
  MarkupDocument doc;
  if (file.empty() || !doc.LoadFile(file)) return modules;
  if (!doc.FindChild("tasks") || !doc.EnterChild()) return modules;
  while (doc.FindChild("module")) {
    if (doc.ChildAttribute("selected") != "true") continue;
    int id = 0;
    try {
      id = std::stoi(doc.ChildAttribute("id"));
    } catch (...) {
      id = 0;
    }
    // Any id other than 1, 2 or 3 stands for the file download test.
    if (id != speedmodule::kBandwidth && id != speedmodule::kWebPage && id != speedmodule::kVideo)
      id = speedmodule::kFileDownload;
    modules.push_back(id);
  }
  return modules;
}

}  // namespace

SchedulerTimings CScheduler::Timings() {
  std::lock_guard<std::mutex> guard(g_timingsLock);
  return g_timings;
}

void CScheduler::SetTimings(const SchedulerTimings& timings) {
  std::lock_guard<std::mutex> guard(g_timingsLock);
  g_timings = timings;
}

CScheduler::CScheduler(ISchedulerHost* host) : m_host(host) {}

CScheduler::~CScheduler() { Shutdown(); }

void CScheduler::SetHost(ISchedulerHost* host) { m_host.store(host); }

void CScheduler::RegisterEngine(int moduleId, CSpeed* engine) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (engine) {
    m_engines[moduleId] = engine;
  } else {
    m_engines.erase(moduleId);
  }
}

void CScheduler::SetWebStep(WebStep step) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_webStep = std::move(step);
}

void CScheduler::SetChecks(std::function<int()> cycleVerdict,
                           std::function<int()> resourceRecheck) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_cycleVerdict = std::move(cycleVerdict);
  m_resourceRecheck = std::move(resourceRecheck);
}

void CScheduler::SetCycleObserver(std::function<void(const CycleReport&)> observer) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_observer = std::move(observer);
}

size_t CScheduler::BuildTaskList() {
  const std::vector<int> modules = SelectedModules(settings::UserSettingsFile());
  std::lock_guard<std::mutex> guard(m_lock);
  m_list.clear();
  for (int module : modules) {
    auto engine = m_engines.find(module);
    if (engine == m_engines.end() || engine->second == nullptr) {
      logs::Write(logs::kMain, "自动测速：模块 %d 不在本程序中，跳过", module);
      continue;
    }
    m_list.push_back({module, engine->second});
  }
  return m_list.size();
}

std::vector<int> CScheduler::TaskModules() const {
  std::lock_guard<std::mutex> guard(m_lock);
  std::vector<int> modules;
  for (const Entry& entry : m_list) modules.push_back(entry.module);
  return modules;
}

bool CScheduler::ArmScheduler(bool checkManual) {
  if (checkManual && conf::Read(conf::kConfig, "manual") != "1") return false;
  // A cycle of an earlier arming ends at its next check and leaves timer and list alone.
  {
    std::lock_guard<std::mutex> guard(m_threadLock);
    ++m_generation;
    m_shutdown = false;
  }
  m_cycleEnded.notify_all();
  // The processor load of the first check is measured from here.
  m_collector.Collect();
  BuildTaskList();
  if (ISchedulerHost* host = m_host.load()) {
    host->KillCycleTimer();
    host->SetCycleTimer(Milliseconds(Timings().firstCycle));
  }
  return true;
}

void CScheduler::CycleTimerExpired() {
  ISchedulerHost* host = m_host.load();
  CDataBase& data = CDataBase::Instance();
  const size_t length = ListLength();
  if (m_shutdown.load() || length == 0 || data.testRunEnabled.load() == 0) {
    if (host) host->KillCycleTimer();
    return;
  }
  if (m_workers.load() > 0) {
    // The cycle of an earlier arming has not ended yet: never two at once, look again later.
    if (host) host->SetCycleTimer(Milliseconds(Timings().busyRetry));
    return;
  }
  // Killed before the worker starts, so that the worker's own setting is never undone.
  if (host) host->KillCycleTimer();
  std::vector<std::thread> ended;
  {
    std::lock_guard<std::mutex> guard(m_threadLock);
    if (m_shutdown.load()) return;
    ended.swap(m_threads);  // every earlier worker has ended
    data.autoScheduledCount += static_cast<int>(length);
    data.autoCycleActive = 1;
    const int now = ++m_workers;
    int seen = m_maxWorkers.load();
    while (now > seen && !m_maxWorkers.compare_exchange_weak(seen, now)) {
    }
    const uint64_t generation = m_generation.load();
    m_threads.emplace_back([this, generation] { CycleWorker(generation); });
  }
  for (auto& thread : ended) thread.join();
}

bool CScheduler::Current(uint64_t generation) const {
  return !m_shutdown.load() && m_generation.load() == generation;
}

bool CScheduler::Wait(uint64_t generation, int steps) {
  const auto step = Timings().step;
  for (int i = 0; i < steps; ++i) {
    if (CDataBase::Instance().testRunEnabled.load() == 0 || !Current(generation)) return false;
    std::unique_lock<std::mutex> guard(m_cycleLock);
    m_cycleEnded.wait_for(guard, step, [&] { return !Current(generation); });
  }
  return CDataBase::Instance().testRunEnabled.load() != 0 && Current(generation);
}

void CScheduler::KillTimer(uint64_t generation) {
  if (!Current(generation)) return;
  if (ISchedulerHost* host = m_host.load()) host->KillCycleTimer();
}

void CScheduler::SetTimer(uint64_t generation, std::chrono::milliseconds delay) {
  if (!Current(generation)) return;
  if (ISchedulerHost* host = m_host.load()) {
    host->KillCycleTimer();
    host->SetCycleTimer(Milliseconds(delay));
  }
}

size_t CScheduler::ListLength() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_list.size();
}

bool CScheduler::HeadEntry(Entry& entry) const {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_list.empty()) return false;
  entry = m_list.front();
  return true;
}

void CScheduler::RotateHeadTo(const Entry& tested) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_list.empty()) return;
  m_list.pop_front();
  m_list.push_back(tested);
}

int CScheduler::TakeVerdict(uint64_t generation) {
  std::function<int()> hook;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    hook = m_cycleVerdict;
  }
  if (hook) return hook();
  return EnvironmentVerdict(m_collector, [this, generation] {
    return CDataBase::Instance().testRunEnabled.load() != 0 && Current(generation);
  });
}

int CScheduler::RecheckResources(uint64_t generation) {
  std::function<int()> hook;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    hook = m_resourceRecheck;
  }
  if (hook) return hook();
  return CheckResources(m_collector, [this, generation] {
    return CDataBase::Instance().testRunEnabled.load() != 0 && Current(generation);
  });
}

void CScheduler::RecordInvalidBandwidth(CSpeed& engine) {
  const std::string time = LocalTimeText();
  const int reason = engine.InvalidReason.load();
  CDataBase::Instance().SetLastResult(
      "最近一次自动测速结果：\n数据无效\n(原因:" + ReasonText(reason) + ")\n测速时间:" + time);
  AddHistoryRecord(time, "", "", "", "", true, reason);
}

void CScheduler::CycleWorker(uint64_t generation) {
  CDataBase& data = CDataBase::Instance();
  CycleReport report;
  bool superseded = false;
  auto finish = [&] {
    superseded = superseded || !Current(generation);
    if (!superseded) {
      // Nothing else clears them when no engine ran (an unfit machine with only bandwidth).
      data.testBusy = 0;
      data.autoCycleActive = 0;
      std::function<void(const CycleReport&)> observer;
      {
        std::lock_guard<std::mutex> guard(m_lock);
        observer = m_observer;
      }
      if (observer) observer(report);
    }
    {
      std::lock_guard<std::mutex> guard(m_cycleLock);
      --m_workers;
      ++m_cyclesEnded;
    }
    m_cycleEnded.notify_all();
  };

  if (data.testRunEnabled.load() == 0 || !Current(generation)) {
    finish();
    return;
  }
  logs::Write(logs::kMain, "检测网络性能 Begin");
  const int verdict = TakeVerdict(generation);
  logs::Write(logs::kMain, "检测网络性能 End");
  report.verdict = verdict;
  report.reason = ReasonText(verdict);
  const SchedulerTimings timings = Timings();
  const int checktype = verdict != 0 ? 1 : 0;

  for (size_t i = 0; i < ListLength(); ++i) {
    if (!Current(generation)) {
      superseded = true;
      finish();
      return;
    }
    Entry head;
    if (!HeadEntry(head)) {
      KillTimer(generation);
      logs::Write(logs::kMain, "获取自动测速任务列表失败");
      finish();
      return;
    }

    if (head.module == speedmodule::kWebPage) {
      // The browser lives on the window thread; the window step rotates the list itself.
      m_webStepReturned = false;
      if (ISchedulerHost* host = m_host.load()) {
        host->PostWebStep(verdict);
      } else {
        RunWebTestStep(verdict);
      }
      if (!Wait(generation, timings.webPause)) {
        // Stopped: the next kind's check would end the cycle; a list of web page tests alone
        // would post the step again for nothing.
        KillTimer(generation);
        finish();
        return;
      }
      // A page test may outlast the pause: the next kind must not start beside it.
      for (int waited = 0; waited < timings.webEndBound; ++waited) {
        if (m_webStepReturned.load() && head.engine->TestEnded()) break;
        if (!Wait(generation, 1)) break;
      }
      continue;
    }

    int retry = 0;
    int attempts = 0;
    bool endCycle = false;
    while (true) {
      if (data.testRunEnabled.load() == 0 || !Current(generation)) {
        KillTimer(generation);
        endCycle = true;
        break;
      }
      head.engine->InvalidReason = verdict;
      if (verdict != 0 && head.module == speedmodule::kBandwidth) {
        RecordInvalidBandwidth(*head.engine);
        report.invalidBandRow = true;
        break;
      }
      AutoCall call{head.module, retry, 1, checktype, 0, false};
      head.engine->quiet = true;
      try {
        call.result = head.engine->StartAuto(retry, 1, checktype);
      } catch (const std::exception& e) {
        call.threw = true;
        logs::Write(logs::kMain, "自动测速模块 %d 异常：%s", head.module, e.what());
      } catch (...) {
        call.threw = true;
        logs::Write(logs::kMain, "自动测速模块 %d 异常", head.module);
      }
      report.calls.push_back(call);
      if (call.threw || call.result != 1) break;

      if (head.module == speedmodule::kBandwidth) {
        // Held in the server's queue: retried for as long as the queue holds it and the
        // machine stays fit; the retries do not count as attempts.
        if (!Wait(generation, timings.bandRetry)) {
          // A stop must not leave the request queued on the server.
          head.engine->AbandonTest();
          KillTimer(generation);
          endCycle = true;
          break;
        }
        if (RecheckResources(generation) != 0) {
          SetTimer(generation, timings.betweenCycles);
          head.engine->AbandonTest();
          endCycle = true;
          break;
        }
        retry = 1;
        continue;
      }
      if (++attempts >= timings.attempts) break;
      if (!Wait(generation, timings.otherRetry)) continue;  // the check above ends the cycle
      retry = 1;
    }
    if (endCycle) {
      finish();
      return;
    }

    RotateHeadTo(head);
    if (!Wait(generation, timings.afterTest)) {
      KillTimer(generation);
      finish();
      return;
    }
  }

  if (!Current(generation)) {
    superseded = true;
    finish();
    return;
  }
  logs::WriteText(logs::kMain, kHyphenLine);
  report.completed = true;
  SetTimer(generation, timings.betweenCycles);
  finish();
}

void CScheduler::RunWebTestStep(int verdict) {
  CDataBase& data = CDataBase::Instance();
  struct Returned {
    std::atomic<bool>& flag;
    ~Returned() { flag = true; }
  } returned{m_webStepReturned};
  if (data.testRunEnabled.load() == 0) {
    if (ISchedulerHost* host = m_host.load()) host->KillCycleTimer();
    return;
  }
  Entry head;
  WebStep step;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    // A step posted before the list was rebuilt finds something else at the head.
    if (m_list.empty() || m_list.front().module != speedmodule::kWebPage) return;
    head = m_list.front();
    m_list.pop_front();
    m_list.push_back(head);
    step = m_webStep;
  }
  const int checktype = verdict != 0 ? 1 : 0;
  head.engine->InvalidReason = verdict;
  head.engine->quiet = true;
  try {
    if (step) {
      step(*head.engine, 0, 1, checktype);
    } else {
      head.engine->StartAuto(0, 1, checktype);
    }
  } catch (...) {
    logs::Write(logs::kMain, "自动网页测速异常");
  }
}

bool CScheduler::WaitForCycles(uint64_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> guard(m_cycleLock);
  return m_cycleEnded.wait_for(guard, timeout, [&] { return m_cyclesEnded.load() >= count; });
}

void CScheduler::Shutdown() {
  std::vector<std::thread> threads;
  {
    // Under the lock: the timer procedure starts no worker after this.
    std::lock_guard<std::mutex> guard(m_threadLock);
    m_shutdown = true;
    ++m_generation;
    threads.swap(m_threads);
  }
  m_cycleEnded.notify_all();
  if (ISchedulerHost* host = m_host.load()) host->KillCycleTimer();
  for (auto& thread : threads) {
    if (thread.joinable()) thread.join();
  }
}

void ConfirmAutomaticMode() {
  CDataBase& data = CDataBase::Instance();
  data.autoStartTime = static_cast<int64_t>(std::time(nullptr));
  data.SetLastResult("");
  data.autoScheduledCount = 0;
  data.autoCompletedCount = 0;
  data.testRunEnabled = 1;
  data.testBusy = 1;
}

// ---- Headless host ----

CHeadlessSchedulerHost::CHeadlessSchedulerHost() : m_thread([this] { Run(); }) {}

CHeadlessSchedulerHost::~CHeadlessSchedulerHost() { Stop(); }

void CHeadlessSchedulerHost::Attach(CScheduler* scheduler) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_scheduler = scheduler;
}

void CHeadlessSchedulerHost::SetCycleTimer(int ms) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_timerSet = true;
  m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  m_wake.notify_all();
}

void CHeadlessSchedulerHost::KillCycleTimer() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_timerSet = false;
  m_wake.notify_all();
}

bool CHeadlessSchedulerHost::TimerSet() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_timerSet;
}

bool CHeadlessSchedulerHost::OnHostThread() const {
  return std::this_thread::get_id() == m_thread.get_id();
}

void CHeadlessSchedulerHost::PostWebStep(int verdict) {
  Post([this, verdict] {
    CScheduler* scheduler = nullptr;
    {
      std::lock_guard<std::mutex> guard(m_lock);
      scheduler = m_scheduler;
    }
    if (scheduler) scheduler->RunWebTestStep(verdict);
  });
}

void CHeadlessSchedulerHost::Post(std::function<void()> task) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_stop) return;
  m_tasks.push_back(std::move(task));
  m_wake.notify_all();
}

void CHeadlessSchedulerHost::Stop() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_stop = true;
    m_tasks.clear();
    m_wake.notify_all();
  }
  if (m_thread.joinable() && !OnHostThread()) m_thread.join();
}

void CHeadlessSchedulerHost::Run() {
  std::unique_lock<std::mutex> guard(m_lock);
  while (!m_stop) {
    if (!m_tasks.empty()) {
      std::function<void()> task = std::move(m_tasks.front());
      m_tasks.pop_front();
      guard.unlock();
      task();
      guard.lock();
      continue;
    }
    if (m_timerSet && std::chrono::steady_clock::now() >= m_deadline) {
      m_timerSet = false;  // one-shot until set again
      CScheduler* scheduler = m_scheduler;
      guard.unlock();
      if (scheduler) scheduler->CycleTimerExpired();
      guard.lock();
      continue;
    }
    if (m_timerSet) {
      m_wake.wait_until(guard, m_deadline);
    } else {
      m_wake.wait(guard);
    }
  }
}
