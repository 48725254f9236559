#pragma once

#include <string>

namespace platform {

// An advisory lock on a lock file (flock), held until the object goes away. Programs started
// while it is held do not inherit it, and the kernel drops it when the process dies.
// Cooperating processes use the same lock file beside what they guard, never the guarded
// file itself: files replaced by rename would leave the lock on the old one.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Unlock(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock, creating the file when needed. `wait` false: gives up at once when another
  // process holds it. Returns whether the lock is held.
  bool Lock(const std::string& path, bool wait);
  void Unlock();
  bool Held() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};

// The lock file that guards writers of a shared file: "<path>.lock".
std::string LockPathFor(const std::string& path);

}  // namespace platform
