#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "auto/environment_checks.h"
#include "core/speed.h"

// Waits of automatic testing. Every wait is made of steps, and the run flag is checked before
// each step. Tests shorten them.
struct SchedulerTimings {
  std::chrono::milliseconds firstCycle{10000};      // after arming
  std::chrono::milliseconds betweenCycles{360000};  // after a cycle
  std::chrono::milliseconds busyRetry{10000};       // the timer ran out while a worker still runs
  std::chrono::milliseconds step{1000};
  int webPause = 9;      // steps after posting the web page step
  int webEndBound = 15;  // further steps waiting for the web page test to end
  int bandRetry = 19;    // steps before a queued bandwidth request is tried again
  int otherRetry = 3;    // steps before another kind is tried again
  int attempts = 3;      // of the kinds other than bandwidth
  int afterTest = 2;     // steps after each kind
};

// What the scheduler needs of the window that hosts it: the cycle timer and the window step of
// the web page test (message 1176). Called from any thread.
class ISchedulerHost {
 public:
  virtual ~ISchedulerHost() = default;
  // Kills the cycle timer and sets it again with `ms`; its expiry calls CycleTimerExpired.
  virtual void SetCycleTimer(int ms) = 0;
  virtual void KillCycleTimer() = 0;
  // Has RunWebTestStep(verdict) run on the window thread, later.
  virtual void PostWebStep(int verdict) = 0;
};

// One StartAuto call of a cycle, as the command-line client reports it.
struct AutoCall {
  int module = 0;
  int first = 0;
  int second = 0;
  int checktype = 0;
  int result = 0;
  bool threw = false;
};

// One finished cycle.
struct CycleReport {
  int verdict = 0;
  std::string reason;
  bool invalidBandRow = false;  // the bandwidth test was recorded as invalid
  bool completed = false;       // walked the whole list (not stopped or superseded)
  std::vector<AutoCall> calls;
};

// The automatic test scheduler: the list of selected test kinds, the cycle timer's procedure
// and the worker that walks the list once per cycle. Engines are registered per module id and
// stay owned by their screens; the list only refers to them.
class CScheduler {
 public:
  explicit CScheduler(ISchedulerHost* host = nullptr);
  ~CScheduler();
  CScheduler(const CScheduler&) = delete;
  CScheduler& operator=(const CScheduler&) = delete;

  void SetHost(ISchedulerHost* host);

  // The engine of a module id (1 bandwidth, 2 web page, 3 video, 4 file download); null
  // removes it. A selected module without an engine is left out of the list.
  void RegisterEngine(int moduleId, CSpeed* engine);

  // What the window step runs for the web page engine (message 1176, window thread), given
  // first, second and checktype. Without one, the engine's StartAuto is called.
  using WebStep = std::function<int(CSpeed& engine, int first, int second, int checktype)>;
  void SetWebStep(WebStep step);

  // After an allowed login and when automatic mode is confirmed: when "manual" is "1" (or
  // without `checkManual`), rebuilds the list and sets the cycle timer to the first-cycle delay.
  // Returns whether it armed. An older cycle still under way ends at its next check, leaving
  // timer and list alone.
  bool ArmScheduler(bool checkManual = true);

  // Rebuilds the list from the user's settings; returns its length.
  size_t BuildTaskList();

  // The cycle timer's procedure.
  void CycleTimerExpired();

  // Message 1176, on the window thread: rotates the web page engine to the tail and starts it.
  void RunWebTestStep(int verdict);

  // Ends every worker (no new cycle starts until armed again) and waits for them.
  void Shutdown();

  // State (tests, the command-line client).
  std::vector<int> TaskModules() const;
  bool CycleRunning() const { return m_workers.load() > 0; }
  int MaxConcurrentWorkers() const { return m_maxWorkers.load(); }
  uint64_t CyclesEnded() const { return m_cyclesEnded.load(); }
  // Waits until `count` cycles have ended, at most `timeout`.
  bool WaitForCycles(uint64_t count, std::chrono::milliseconds timeout) const;
  // Called on the worker at the end of each cycle (not for a worker an arming superseded).
  void SetCycleObserver(std::function<void(const CycleReport&)> observer);

  // Test hooks: the environment verdict of a cycle and the resource re-check of a bandwidth
  // retry; empty functions run the real checks.
  void SetChecks(std::function<int()> cycleVerdict, std::function<int()> resourceRecheck);

  static SchedulerTimings Timings();
  static void SetTimings(const SchedulerTimings& timings);

  static constexpr const char* kHyphenLine = "-------------------------------------------";

 private:
  struct Entry {
    int module = 0;
    CSpeed* engine = nullptr;
  };

  void CycleWorker(uint64_t generation);
  bool Current(uint64_t generation) const;
  // Waits `steps` steps while automatic mode is on and the arming is current.
  bool Wait(uint64_t generation, int steps);
  int TakeVerdict(uint64_t generation);
  int RecheckResources(uint64_t generation);
  void RecordInvalidBandwidth(CSpeed& engine);
  void KillTimer(uint64_t generation);
  void SetTimer(uint64_t generation, std::chrono::milliseconds delay);
  bool HeadEntry(Entry& entry) const;
  void RotateHeadTo(const Entry& tested);
  size_t ListLength() const;

  mutable std::mutex m_lock;  // the list, the engines and the hooks
  std::map<int, CSpeed*> m_engines;
  std::deque<Entry> m_list;
  WebStep m_webStep;
  std::function<int()> m_cycleVerdict;
  std::function<int()> m_resourceRecheck;
  std::function<void(const CycleReport&)> m_observer;

  std::atomic<ISchedulerHost*> m_host{nullptr};
  std::atomic<uint64_t> m_generation{0};
  std::atomic<bool> m_shutdown{false};
  std::atomic<int> m_workers{0};
  std::atomic<int> m_maxWorkers{0};
  std::atomic<uint64_t> m_cyclesEnded{0};
  mutable std::mutex m_cycleLock;
  mutable std::condition_variable m_cycleEnded;

  // The web page step of the running cycle: posted, returned.
  std::atomic<bool> m_webStepReturned{true};

  CPerformanceCollector m_collector;

  std::mutex m_threadLock;  // the workers, and the shutdown and arming against starting one
  std::vector<std::thread> m_threads;
};

// The confirmation of automatic mode, as the confirmation window does it: start time now, no
// last result, both counts 0, automatic mode on, busy until the first cycle ends.
void ConfirmAutomaticMode();

// A host without a window (the command-line client, tests): one thread runs the cycle timer
// and the posted window steps in order, as a window thread would.
class CHeadlessSchedulerHost : public ISchedulerHost {
 public:
  CHeadlessSchedulerHost();
  ~CHeadlessSchedulerHost() override;
  CHeadlessSchedulerHost(const CHeadlessSchedulerHost&) = delete;
  CHeadlessSchedulerHost& operator=(const CHeadlessSchedulerHost&) = delete;

  // The scheduler the timer and the window steps call. Stop the host before that scheduler
  // goes; the scheduler's own shutdown still uses the host.
  void Attach(CScheduler* scheduler);

  void SetCycleTimer(int ms) override;
  void KillCycleTimer() override;
  void PostWebStep(int verdict) override;

  // Runs a task on the host's thread, later.
  void Post(std::function<void()> task);
  bool TimerSet() const;
  bool OnHostThread() const;
  // Ends the thread; pending tasks are dropped.
  void Stop();

 private:
  void Run();

  CScheduler* m_scheduler = nullptr;
  mutable std::mutex m_lock;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_tasks;
  bool m_timerSet = false;
  std::chrono::steady_clock::time_point m_deadline;
  bool m_stop = false;
  std::thread m_thread;
};
