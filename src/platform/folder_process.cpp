#include "platform/folder_process.h"

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <fstream>
#include <thread>

#include "platform/process.h"

namespace platform {
namespace {

std::string RealFolder(const std::string& folder) {
  char buf[PATH_MAX];
  if (!realpath(folder.empty() ? "." : folder.c_str(), buf)) return {};
  return buf;
}

bool Alive(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return false;
  auto close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return false;
  char state = line[close + 2];
  return state != 'Z' && state != 'X';
}

// The executable's full path, without the " (deleted)" the kernel adds once it is replaced.
std::string ExecutablePath(pid_t pid) {
  char buf[PATH_MAX];
  ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), buf, sizeof buf - 1);
  if (n <= 0) return {};
  std::string path(buf, static_cast<size_t>(n));
  static constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() &&
      path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
    path.resize(path.size() - kDeleted.size());
  return path;
}

bool Matches(pid_t pid, const std::string& realFolder, const std::string& wanted) {
  if (realFolder.empty()) return false;
  std::string exe = ExecutablePath(pid);
  auto slash = exe.rfind('/');
  if (slash == std::string::npos) return false;
  std::string dir = slash == 0 ? "/" : exe.substr(0, slash);
  return dir == realFolder && NormalizeProcessName(exe.substr(slash + 1)) == wanted && Alive(pid);
}

// Pids of /proc in ascending order; false when /proc cannot be read.
bool Pids(std::vector<pid_t>& out) {
  DIR* dir = opendir("/proc");
  if (!dir) return false;
  while (dirent* e = readdir(dir)) {
    char* end = nullptr;
    long pid = std::strtol(e->d_name, &end, 10);
    if (std::isdigit(static_cast<unsigned char>(e->d_name[0])) && *end == '\0' && pid > 0)
      out.push_back(static_cast<pid_t>(pid));
  }
  closedir(dir);
  return true;
}

}  // namespace

bool IsProcessOf(pid_t pid, const std::string& folder, std::string_view name) {
  return pid > 0 && Matches(pid, RealFolder(folder), NormalizeProcessName(name));
}

pid_t FindProcessIn(const std::string& folder, std::string_view name) {
  const std::string real = RealFolder(folder);
  const std::string wanted = NormalizeProcessName(name);
  std::vector<pid_t> pids;
  Pids(pids);
  const pid_t self = getpid();
  for (pid_t pid : pids)
    if (pid != self && Matches(pid, real, wanted)) return pid;
  return 0;
}

bool IsProcessRunningIn(const std::string& folder, std::string_view name) {
  return FindProcessIn(folder, name) != 0;
}

int KillProcessIn(const std::string& folder, std::string_view name) {
  std::vector<pid_t> pids;
  if (!Pids(pids)) return 2;
  pid_t pid = FindProcessIn(folder, name);
  if (pid == 0) return 0;
  if (kill(pid, SIGTERM) != 0) return errno == ESRCH ? 1 : 2;
  // A child of ours stays a zombie until reaped; reap it here so it counts as ended.
  auto ended = [pid] {
    int status = 0;
    waitpid(pid, &status, WNOHANG);
    return !Alive(pid);
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

}  // namespace platform
