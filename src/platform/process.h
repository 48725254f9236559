#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

// Starting, waiting for, finding and stopping processes. Programs are always started from an
// argument vector, never through a shell, so no argument is ever interpreted.
namespace platform {

struct SpawnOptions {
  // Folder the child starts in ("\" or "/"); empty: the caller's current directory.
  std::string workingFolder;
};

// Starts `program` with `args` (not counting the program itself). A program name without "/"
// or "\" is looked up in PATH; a name with either is a path (".\PSFTP" works). The arguments
// reach the child exactly as given. The child's standard input,
// output and error go to /dev/null. Returns the child's pid, or -1 when it could not be
// started (missing program, not executable).
pid_t SpawnProcess(const std::string& program, const std::vector<std::string>& args,
                   const SpawnOptions& options = {});

enum class WaitStatus { Exited, Signalled, TimedOut, Failed };

struct WaitResult {
  WaitStatus status = WaitStatus::Failed;
  int code = -1;  // exit code, or signal number when Signalled
};

// Waits for a child of this process to end and reaps it. `timeoutMs` < 0 waits without limit.
// On TimedOut the child is left running and can be waited for again.
WaitResult WaitProcess(pid_t pid, int timeoutMs);

// Spawn and wait in one: the child's exit code, or -1 when it could not be started or did
// not end normally within `timeoutMs` (< 0: no limit; a child that overruns is killed).
int RunProcess(const std::string& program, const std::vector<std::string>& args, int timeoutMs = -1,
               const SpawnOptions& options = {});

struct ProcessEntry {
  pid_t pid = 0;
  std::string name;  // executable file name, lower-cased
};

// The running processes (zombies left out), read from /proc.
std::vector<ProcessEntry> ListProcesses();

// Lower-cases a process name as look-ups compare it; a trailing ".exe" is dropped, so
// "Update.exe" and "update" name the same program.
std::string NormalizeProcessName(std::string_view name);

// Whether a process other than this one runs the named executable.
bool IsProcessRunning(std::string_view name);

// Stops the first other process running the named executable (SIGTERM, then SIGKILL when it
// does not end within a few seconds). Returns 0 when no process matches, 1 when one was
// stopped, 2 when stopping failed or the process list cannot be read.
int KillProcessByName(std::string_view name);

// Opens a web address or a file with the desktop's handler (xdg-open), not waited for.
// Returns false when the handler could not be started.
bool OpenPage(const std::string& address);

}  // namespace platform
