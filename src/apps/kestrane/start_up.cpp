#include "apps/kestrane/start_up.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

namespace startup {

std::string InstanceLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime && ::access(runtime, W_OK | X_OK) == 0)
    return std::string(runtime) + "/RunOnlyOneInstance.lock";
  return "/tmp/RunOnlyOneInstance-" + std::to_string(::getuid()) + ".lock";
}

LockResult AcquireInstanceLock(const std::string& path, std::chrono::milliseconds wait) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return LockResult::Unavailable;
  const auto until = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return LockResult::Acquired;  // fd kept open
    if (errno != EWOULDBLOCK && errno != EINTR) {
      ::close(fd);
      return LockResult::Unavailable;
    }
    if (std::chrono::steady_clock::now() >= until) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::close(fd);
  return LockResult::HeldElsewhere;
}

std::chrono::milliseconds LockWait(const std::vector<std::string>& args) {
  bool handedOver = std::any_of(args.begin(), args.end(), [](const std::string& a) {
    return a == "update" || a == "logoff";
  });
  return handedOver ? std::chrono::milliseconds(5000) : std::chrono::milliseconds(0);
}

}  // namespace startup
