#include "platform/folder_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"

namespace platform {
namespace {

// Empties the folder open as `fd` and closes it; entries are reached relative to it, so no
// path is ever resolved again through a link.
bool EmptyFolder(int fd) {
  DIR* dir = fdopendir(fd);
  if (!dir) {
    ::close(fd);
    return false;
  }
  bool ok = true;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      ok = false;
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      int sub = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub < 0 || !EmptyFolder(sub)) ok = false;
      if (unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0) ok = false;
    } else if (unlinkat(fd, name.c_str(), 0) != 0) {
      ok = false;
    }
  }
  closedir(dir);
  return ok;
}

}  // namespace

bool MakeDirsForPath(const std::string& path) {
  std::string p = paths::Native(path);
  for (size_t pos = p.find('/', 1); pos != std::string::npos; pos = p.find('/', pos + 1)) {
    std::string prefix = p.substr(0, pos);
    if (prefix.empty() || prefix.back() == '/') continue;
    if (::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool DeleteFolderTree(const std::string& path) {
  std::string p = paths::Native(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  struct stat st {};
  if (p.empty() || lstat(p.c_str(), &st) != 0) return true;
  if (!S_ISDIR(st.st_mode)) return false;  // a link or a file: not a folder of ours
  int fd = ::open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = EmptyFolder(fd);
  return ::rmdir(p.c_str()) == 0 && ok;
}

}  // namespace platform
