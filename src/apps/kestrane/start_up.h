#pragma once

#include <chrono>
#include <string>
#include <vector>

// The program's start: one instance per user, the program folder, the skin.
namespace startup {

inline constexpr const char* kAlreadyRunning = "已有一个程序在运行！";
inline constexpr const char* kNoticeCaption = "提示";

// "$XDG_RUNTIME_DIR/RunOnlyOneInstance.lock", else "/tmp/RunOnlyOneInstance-<uid>.lock".
std::string InstanceLockPath();

enum class LockResult { Acquired, HeldElsewhere, Unavailable };

// Takes the instance lock (flock on a close-on-exec descriptor, so programs started from here
// never hold it), waiting up to `wait` for a previous instance to let go. The descriptor stays
// open for the life of the process.
LockResult AcquireInstanceLock(const std::string& path, std::chrono::milliseconds wait);

// "update" and "logoff" are handed over by a program that may still be ending.
std::chrono::milliseconds LockWait(const std::vector<std::string>& args);

}  // namespace startup
