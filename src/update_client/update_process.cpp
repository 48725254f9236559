#include "update_client/update_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/paths.h"
#include "platform/process.h"

extern char** environ;

namespace {

struct OurProcess {
  pid_t pid;
  std::string name;  // lower-cased executable name
};

std::string CurrentFolder() {
  char buf[PATH_MAX];
  if (!getcwd(buf, sizeof buf)) return "";
  char real[PATH_MAX];
  return realpath(buf, real) ? real : buf;
}

bool IsAlive(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return false;
  auto close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return false;
  char state = line[close + 2];
  return state != 'Z' && state != 'X';
}

// The executable of a process when it lies in `folder`: its lower-cased name, else "".
std::string NameInFolder(pid_t pid, const std::string& folder) {
  char buf[PATH_MAX];
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string path(buf, static_cast<size_t>(n));
  // A program replaced while it runs (Update.d/Update renamed over Update) shows as deleted.
  static constexpr std::string_view kDeleted = " (deleted)";
  if (path.size() > kDeleted.size() &&
      path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
    path.resize(path.size() - kDeleted.size());
  auto slash = path.rfind('/');
  if (slash == std::string::npos || path.compare(0, slash, folder) != 0 || slash != folder.size())
    return "";
  return platform::NormalizeProcessName(path.substr(slash + 1));
}

bool ListOurProcesses(std::vector<OurProcess>& out) {
  const std::string folder = CurrentFolder();
  if (folder.empty()) return false;
  DIR* dir = opendir("/proc");
  if (!dir) return false;
  const pid_t self = getpid();
  while (dirent* entry = readdir(dir)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (!std::isdigit(static_cast<unsigned char>(entry->d_name[0])) || *end != '\0' || pid <= 0 ||
        pid == self)
      continue;
    std::string name = NameInFolder(static_cast<pid_t>(pid), folder);
    if (name.empty() || !IsAlive(static_cast<pid_t>(pid))) continue;
    out.push_back({static_cast<pid_t>(pid), std::move(name)});
  }
  closedir(dir);
  return true;
}

pid_t FindOurs(std::string_view name, bool* listed = nullptr) {
  std::vector<OurProcess> list;
  bool ok = ListOurProcesses(list);
  if (listed) *listed = ok;
  const std::string wanted = platform::NormalizeProcessName(name);
  for (const auto& p : list)
    if (p.name == wanted) return p.pid;
  return 0;
}

bool WaitEnded(pid_t pid, std::chrono::milliseconds bound) {
  auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    // A child of ours stays a zombie until reaped; reap it here so it counts as ended.
    int status = 0;
    waitpid(pid, &status, WNOHANG);
    if (!IsAlive(pid)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool RemoveTreeAt(int parent, const char* name, int depth) {
  // Deeper than any folder we make: refuse rather than run out of descriptors.
  if (depth > 128) return false;
  int fd = openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return false;
  }
  // The entries are listed whole before any is removed.
  std::vector<std::string> names;
  while (dirent* e = readdir(dir))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
      names.emplace_back(e->d_name);
  bool ok = true;
  for (const std::string& entry : names) {
    struct stat st {};
    if (fstatat(fd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      ok = false;
    } else if (S_ISDIR(st.st_mode)) {
      ok = RemoveTreeAt(fd, entry.c_str(), depth + 1) && ok;
    } else if (unlinkat(fd, entry.c_str(), 0) != 0) {
      ok = false;
    }
  }
  closedir(dir);  // closes fd
  return unlinkat(parent, name, AT_REMOVEDIR) == 0 && ok;
}

}  // namespace

pid_t FindProcessByName(std::string_view name) { return FindOurs(name); }

bool IsProcessRunning(std::string_view name) { return FindOurs(name) != 0; }

bool IsOurProcess(pid_t pid, std::string_view name) {
  if (pid <= 0 || pid == getpid()) return false;
  std::string folder = CurrentFolder();
  return !folder.empty() && NameInFolder(pid, folder) == platform::NormalizeProcessName(name) &&
         IsAlive(pid);
}

int KillProcessByName(std::string_view name) {
  bool listed = false;
  pid_t pid = FindOurs(name, &listed);
  if (!listed) return 2;
  if (pid == 0) return 0;
  if (kill(pid, SIGTERM) != 0) return errno == ESRCH ? 1 : 2;
  if (WaitEnded(pid, std::chrono::seconds(3))) return 1;
  if (kill(pid, SIGKILL) != 0 && errno != ESRCH) return 2;
  return WaitEnded(pid, std::chrono::seconds(2)) ? 1 : 2;
}

pid_t StartDetached(const std::string& program, const std::vector<std::string>& words) {
  std::string name = paths::FileName(program);
  static constexpr std::string_view kExe = ".exe";
  if (name.size() > kExe.size()) {
    std::string tail = name.substr(name.size() - kExe.size());
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail == kExe) name.resize(name.size() - kExe.size());
  }
  const std::string folder = CurrentFolder();
  if (name.empty() || folder.empty()) return 0;
  std::string path = folder + "/" + name;

  std::vector<std::string> argv0 = {path};
  argv0.insert(argv0.end(), words.begin(), words.end());
  std::vector<char*> argv;
  for (auto& w : argv0) argv.push_back(w.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0 || pid <= 0) return 0;
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return pid;
}

bool MakeDirsForPath(const std::string& path) {
  std::string p = paths::Native(path);
  for (size_t at = p.find('/', 1); at != std::string::npos; at = p.find('/', at + 1)) {
    std::string prefix = p.substr(0, at);
    if (prefix.empty() || prefix.back() == '/') continue;  // "a//b": the same folder again
    if (mkdir(prefix.c_str(), 0755) == 0) continue;
    if (errno != EEXIST) return false;
    struct stat st {};
    if (stat(prefix.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  }
  return true;
}

bool DeleteFolderTree(const std::string& path) {
  std::string p = paths::Native(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  if (p.empty()) return false;
  struct stat st {};
  if (lstat(p.c_str(), &st) != 0) return errno == ENOENT;
  if (S_ISLNK(st.st_mode)) return unlink(p.c_str()) == 0;
  if (!S_ISDIR(st.st_mode)) return false;
  return RemoveTreeAt(AT_FDCWD, p.c_str(), 0);
}

FileLock::FileLock(const std::string& path, std::chrono::milliseconds wait) {
  std::string p = paths::Native(path);
  MakeDirsForPath(p);
  int fd = open(p.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      m_fd = fd;
      return;
    }
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  close(fd);
}

FileLock::~FileLock() {
  if (m_fd >= 0) close(m_fd);
}
