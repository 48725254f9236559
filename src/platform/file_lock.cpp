#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"

namespace platform {

bool FileLock::Lock(const std::string& path, bool wait) {
  Unlock();
  int fd = ::open(paths::Native(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return false;
  }
  m_fd = fd;
  return true;
}

void FileLock::Unlock() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

std::string LockPathFor(const std::string& path) { return paths::Native(path) + ".lock"; }

}  // namespace platform
