#include "platform/program_folder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <mutex>

#include "platform/paths.h"

namespace platform {
namespace {

std::mutex g_folderMutex;
std::string g_programFolder;  // empty: the executable's folder

}  // namespace

std::string ExecutableFolder() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string ProgramFolder() {
  std::lock_guard lock(g_folderMutex);
  return g_programFolder.empty() ? ExecutableFolder() : g_programFolder;
}

void SetProgramFolder(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  std::lock_guard lock(g_folderMutex);
  g_programFolder = std::move(folder);
}

bool EnterProgramFolder() {
  bool entered = chdir(ProgramFolder().c_str()) == 0;
  if (!IsFolder("log")) mkdir("log", 0755);
  if (!IsFolder("DB")) mkdir("DB", 0755);
  return entered;
}

bool CreateNestedFolder(std::string_view path) {
  std::string p = paths::Native(path);
  if (p.empty()) return false;
  for (size_t pos = p.find('/', 1); pos != std::string::npos; pos = p.find('/', pos + 1)) {
    std::string prefix = p.substr(0, pos);
    if (!prefix.empty() && !IsFolder(prefix)) mkdir(prefix.c_str(), 0755);
  }
  if (!IsFolder(p)) mkdir(p.c_str(), 0755);
  return IsFolder(p);
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(paths::Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return stat(paths::Native(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFile(const std::string& path) { return ::unlink(paths::Native(path).c_str()) == 0; }

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::FILE* f = std::fopen(paths::Native(path).c_str(), "rb");
  if (!f) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, got);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) return std::nullopt;
  return bytes;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  const std::string native = paths::Native(folder);
  DIR* dir = opendir(native.empty() ? "." : native.c_str());
  if (!dir) return names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (IsFile(paths::Join(native, name))) names.push_back(std::move(name));
  }
  closedir(dir);
  return names;
}

}  // namespace platform
