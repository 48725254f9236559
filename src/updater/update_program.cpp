#include "updater/update_program.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "core/log_file.h"
#include "platform/program_folder.h"
#include "update_client/update_process.h"

namespace updater {
namespace {

// Waits in steps, so that a stop request is seen within a second.
void Wait(int ms, const bool* stop) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!(stop && *stop) && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::min(std::chrono::milliseconds(200),
                                         std::chrono::duration_cast<std::chrono::milliseconds>(
                                             until - std::chrono::steady_clock::now()) +
                                             std::chrono::milliseconds(1)));
}

// A test hook: the process kills itself after the n-th rename of an install, as a power cut
// or a kill -9 would stop it.
InstallHooks HooksFromEnvironment() {
  InstallHooks hooks;
  const char* text = std::getenv("KESTRANE_UPDATE_KILL_AFTER_RENAME");
  if (text && *text) {
    int n = std::atoi(text);
    hooks.afterRename = [n](int done) {
      if (done == n) raise(SIGKILL);
    };
  }
  return hooks;
}

}  // namespace

UpdateTiming UpdateTiming::FromEnvironment() {
  UpdateTiming t;
  const char* text = std::getenv("KESTRANE_UPDATE_TIME_DIVISOR");
  int divisor = text ? std::atoi(text) : 1;
  if (divisor < 1 || divisor > 1000) return t;
  for (int* wait :
       {&t.firstWaitMs, &t.currentWaitMs, &t.retryWaitMs, &t.killPauseMs, &t.countdownTickMs})
    *wait = std::max(1, *wait / divisor);
  const int net = std::min(divisor, 10);
  for (int* limit : {&t.receiveTimeoutMs, &t.transferBaseMs, &t.msPer64KiB})
    *limit = std::max(1, *limit / net);
  return t;
}

Mode ModeFor(const std::vector<std::string>& words) {
  if (words.empty()) return Mode::Interactive;
  const std::string& w = words[0];
  if (std::strncmp(w.c_str(), "logoff", 6) == 0) return Mode::Logoff;
  if (std::strncmp(w.c_str(), "update", 6) == 0) return Mode::Background;
  return Mode::Exit;
}

int RunUpdate(const std::vector<std::string>& words, UpdateUi& ui, const UpdateTiming& timing,
              const bool* stop) {
  platform::EnterProgramFolder();
  const Mode mode = ModeFor(words);
  if (mode == Mode::Exit) return 0;

  UpdateJob job;
  job.timing = timing;
  job.ui = &ui;
  job.hooks = HooksFromEnvironment();

  if (mode == Mode::Logoff) {
    {
      FileLock pass(kPassLock, std::chrono::milliseconds(0));
      if (pass.Held()) RecoverAtStart();
    }
    KillProcessByName(kMainProgram);
    StartHidden(std::string(kMainProgram) + " logoff");
    return 0;
  }
  if (mode == Mode::Interactive) {
    job.interactive = true;
    // A background pass in progress finishes first.
    FileLock pass(kPassLock, std::chrono::minutes(30));
    RecoverAtStart();
    CheckAndUpdate(job);
    return 0;
  }
  logs::Write(logs::kDebug, "Update: background checks start");
  {
    FileLock pass(kPassLock, std::chrono::milliseconds(0));
    if (pass.Held()) RecoverAtStart();
  }
  while (!(stop && *stop)) {
    Wait(timing.firstWaitMs, stop);
    if (stop && *stop) break;
    bool current = false;
    // Another pass (the interactive one) works in the staging folder: skip this turn.
    {
      FileLock pass(kPassLock, std::chrono::milliseconds(0));
      if (pass.Held()) {
        RecoverAtStart();
        current = CheckAndUpdate(job);
      } else {
        logs::Write(logs::kDebug, "Update: another pass runs; skipped");
      }
    }
    Wait(current ? timing.currentWaitMs : timing.retryWaitMs, stop);
  }
  return 0;
}

}  // namespace updater
