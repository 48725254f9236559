#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/paths.h"

namespace platform {

bool MayWriteExisting(const std::string& path) {
  const std::string native = paths::Native(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return false;
  if (::geteuid() == 0) return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  return ::faccessat(AT_FDCWD, native.c_str(), W_OK, AT_EACCESS) == 0;
}

bool WriteFileAtomically(const std::string& target, std::string_view bytes) {
  static std::atomic<unsigned> counter{0};
  const std::string path = paths::Native(target);
  mode_t mode = 0644;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (!MayWriteExisting(path)) return false;
    mode = st.st_mode & 07777;
  }
  const std::string temp =
      path + ".tmp" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  const char* p = bytes.data();
  size_t left = bytes.size();
  bool ok = true;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace platform
