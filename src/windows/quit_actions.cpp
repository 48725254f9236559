#include "windows/quit_actions.h"

#include <unistd.h>

#include <mutex>

#include "core/log_file.h"
#include "history/history_record.h"
#include "platform/process.h"

namespace quit {

namespace {
std::mutex g_lock;
std::function<void(int)> g_exit;

void Exit(int code) {
  std::function<void(int)> exit;
  {
    std::lock_guard lock(g_lock);
    exit = g_exit;
  }
  if (exit) {
    exit(code);
    return;
  }
  ::_exit(code);
}
}  // namespace

void SetExitHandler(std::function<void(int)> exit) {
  std::lock_guard lock(g_lock);
  g_exit = std::move(exit);
}

void QuitProgram() {
  ClearHistoryOnExit();
  Exit(0);
}

bool LogOff() {
  if (platform::SpawnProcess("./Update", {"logoff"}) > 0) return true;
  logs::Write(logs::kMain, "log off: the updater could not be started, restarting directly");
  if (platform::SpawnProcess("./Kestrane", {"logoff"}) <= 0) {
    logs::Write(logs::kMain, "log off: the program could not be restarted");
    return false;
  }
  Exit(0);
  return true;
}

}  // namespace quit
