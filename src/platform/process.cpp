#include "platform/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/paths.h"

extern char** environ;

namespace platform {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

// State letter of /proc/<pid>/stat ('Z' zombie, 'X' dead), or 0 when the process is gone.
char ProcessState(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return 0;
  // The command name in parentheses may itself hold ")" or blanks; the state follows the last ")".
  auto close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return 0;
  return line[close + 2];
}

bool IsAlive(pid_t pid) {
  char state = ProcessState(pid);
  return state != 0 && state != 'Z' && state != 'X';
}

// The executable's file name: from the /proc/<pid>/exe link when it can be read; else (another
// user's process) from the first word of its command line when that agrees with "comm", which
// the kernel cuts to 15 characters; else "comm" itself.
std::string ExecutableName(const std::string& procDir) {
  char buf[PATH_MAX];
  ssize_t n = readlink((procDir + "/exe").c_str(), buf, sizeof buf - 1);
  if (n > 0) {
    std::string path(buf, static_cast<size_t>(n));
    // A program replaced while it runs shows as "<path> (deleted)".
    static constexpr std::string_view kDeleted = " (deleted)";
    if (path.size() > kDeleted.size() &&
        path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
      path.resize(path.size() - kDeleted.size());
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
  }
  std::string comm;
  {
    std::ifstream in(procDir + "/comm");
    std::getline(in, comm);
  }
  std::string first;
  {
    std::ifstream in(procDir + "/cmdline", std::ios::binary);
    std::getline(in, first, '\0');
  }
  auto slash = first.rfind('/');
  if (slash != std::string::npos) first.erase(0, slash + 1);
  if (!comm.empty() && first.size() > comm.size() && first.compare(0, comm.size(), comm) == 0)
    return first;
  return comm;
}

bool ReadProcessList(std::vector<ProcessEntry>& out) {
  DIR* dir = opendir("/proc");
  if (!dir) return false;
  while (dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (!std::isdigit(static_cast<unsigned char>(name[0]))) continue;
    char* end = nullptr;
    long pid = std::strtol(name, &end, 10);
    if (*end != '\0' || pid <= 0) continue;
    if (!IsAlive(static_cast<pid_t>(pid))) continue;
    std::string exe = ExecutableName(std::string("/proc/") + name);
    if (exe.empty()) continue;
    out.push_back({static_cast<pid_t>(pid), Lower(exe)});
  }
  closedir(dir);
  return true;
}

}  // namespace

pid_t SpawnProcess(const std::string& program, const std::vector<std::string>& args,
                   const SpawnOptions& options) {
  if (program.empty()) return -1;
  // The program and the working folder are paths ("\" allowed); the arguments are passed on
  // exactly as given.
  const std::string path = paths::Native(program);
  const std::string folder = paths::Native(options.workingFolder);
  std::vector<std::string> words;
  words.reserve(args.size() + 1);
  words.push_back(path);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());

  // The child starts with default signal handling and nothing blocked, whatever this process
  // (or the thread calling) has set up.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  int rc = posix_spawnp(&pid, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

WaitResult WaitProcess(pid_t pid, int timeoutMs) {
  WaitResult result;
  if (pid <= 0) return result;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, timeoutMs < 0 ? 0 : WNOHANG);
    if (r == pid) {
      if (WIFEXITED(status)) {
        result.status = WaitStatus::Exited;
        result.code = WEXITSTATUS(status);
      } else if (WIFSIGNALED(status)) {
        result.status = WaitStatus::Signalled;
        result.code = WTERMSIG(status);
      }
      return result;
    }
    if (r < 0) {
      if (errno == EINTR) continue;
      return result;  // not our child, or already reaped
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      result.status = WaitStatus::TimedOut;
      return result;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(10));
  }
}

int RunProcess(const std::string& program, const std::vector<std::string>& args, int timeoutMs,
               const SpawnOptions& options) {
  pid_t pid = SpawnProcess(program, args, options);
  if (pid < 0) return -1;
  WaitResult r = WaitProcess(pid, timeoutMs);
  if (r.status == WaitStatus::TimedOut) {
    kill(pid, SIGKILL);
    WaitProcess(pid, -1);
    return -1;
  }
  return r.status == WaitStatus::Exited ? r.code : -1;
}

std::vector<ProcessEntry> ListProcesses() {
  std::vector<ProcessEntry> out;
  ReadProcessList(out);
  return out;
}

std::string NormalizeProcessName(std::string_view name) {
  std::string lower = Lower(name);
  auto slash = lower.find_last_of("/\\");
  if (slash != std::string::npos) lower.erase(0, slash + 1);
  static constexpr std::string_view kExe = ".exe";
  if (lower.size() > kExe.size() &&
      lower.compare(lower.size() - kExe.size(), kExe.size(), kExe) == 0)
    lower.resize(lower.size() - kExe.size());
  return lower;
}

bool IsProcessRunning(std::string_view name) {
  std::string wanted = NormalizeProcessName(name);
  pid_t self = getpid();
  for (const auto& p : ListProcesses())
    if (p.pid != self && p.name == wanted) return true;
  return false;
}

int KillProcessByName(std::string_view name) {
  std::string wanted = NormalizeProcessName(name);
  std::vector<ProcessEntry> list;
  if (!ReadProcessList(list)) return 2;
  pid_t self = getpid();
  auto it = std::find_if(list.begin(), list.end(),
                         [&](const ProcessEntry& p) { return p.pid != self && p.name == wanted; });
  if (it == list.end()) return 0;
  pid_t pid = it->pid;
  if (kill(pid, SIGTERM) != 0) return errno == ESRCH ? 1 : 2;

  // A child of ours stays a zombie until reaped; reap it here so it counts as ended.
  auto ended = [pid] {
    int status = 0;
    waitpid(pid, &status, WNOHANG);
    return !IsAlive(pid);
  };
  auto waitEnd = [&](std::chrono::milliseconds bound) {
    auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline) {
      if (ended()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ended();
  };
  if (waitEnd(std::chrono::seconds(3))) return 1;
  if (kill(pid, SIGKILL) != 0 && errno != ESRCH) return 2;
  return waitEnd(std::chrono::seconds(2)) ? 1 : 2;
}

bool OpenPage(const std::string& address) {
  pid_t pid = SpawnProcess("xdg-open", {address});
  if (pid < 0) return false;
  // Reaped in the background so no zombie stays behind.
  std::thread([pid] { WaitProcess(pid, -1); }).detach();
  return true;
}

}  // namespace platform
