#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

// Process and folder functions shared by Kestrane's update client and the Update program.
//
// Process look-ups count only programs whose executable lies in the program folder (the
// current directory): "update" is a common name, and another installation's Update, or any
// unrelated program of that name, is none of ours. Names compare lower-cased, with a trailing
// ".exe" dropped ("Update.exe" finds ./Update). This process itself never counts.

// Process id of the first of our processes running the named executable, or 0.
pid_t FindProcessByName(std::string_view name);
bool IsProcessRunning(std::string_view name);
// Stops the first of our processes running the named executable: 0 none runs, 1 stopped,
// 2 stopping failed or the process list cannot be read.
int KillProcessByName(std::string_view name);
// Whether `pid` is a live process running the named executable of the program folder.
bool IsOurProcess(pid_t pid, std::string_view name);

// Starts a program of the program folder ("Update", "Kestrane"; a ".exe" is dropped) with the
// given words, in a session of its own so that it outlives this one's terminal, and reaps it
// in the background when it ends, so no zombie stays behind. Returns the pid, or 0 when it
// could not be started.
pid_t StartDetached(const std::string& program, const std::vector<std::string>& words);

// Creates each leading folder of `path` in turn, split at "/" (a "\" counts as "/"); the last
// segment is the file name and is not created. An existing folder is no error; any other
// failure (a file in the way, no permission) stops it and returns false.
bool MakeDirsForPath(const std::string& path);

// Deletes a folder with everything in it. A symbolic link is removed as a link and never
// followed, so nothing outside the folder is touched; a link given as `path` is removed
// itself. A folder that does not exist is left alone (true). False when something stayed.
bool DeleteFolderTree(const std::string& path);

// An advisory lock between processes (flock on a lock file of its own, created when missing):
// Kestrane and Update each hold it around a read-change-save of conf/update_process.properties,
// whose saves replace the file and so cannot carry a lock themselves. Hold it briefly.
inline constexpr const char* kUpdateStateLockFile = "conf/update_process.lock";

class FileLock {
 public:
  // Tries to take the lock for up to `wait` (zero: one try).
  explicit FileLock(const std::string& path,
                    std::chrono::milliseconds wait = std::chrono::seconds(10));
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool Held() const { return m_fd >= 0; }

 private:
  int m_fd = -1;
};
