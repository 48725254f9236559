#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

// Process look-ups limited to the programs of one folder. Names such as "update" are common,
// so the main program and the updater only count processes whose executable lies in their
// own program folder; names compare lower-cased, ".exe" dropped ("Kestrane.exe" = kestrane).
namespace platform {

// Whether `pid` runs the executable `name` of `folder` (also when that file has been replaced
// or removed since it started).
bool IsProcessOf(pid_t pid, const std::string& folder, std::string_view name);

// The first other process running `name` of `folder`, or 0.
pid_t FindProcessIn(const std::string& folder, std::string_view name);

bool IsProcessRunningIn(const std::string& folder, std::string_view name);

// Stops the first other process running `name` of `folder` (SIGTERM, then SIGKILL when it does
// not end within a few seconds). 0: none runs; 1: one was stopped; 2: stopping failed or the
// process list cannot be read.
int KillProcessIn(const std::string& folder, std::string_view name);

}  // namespace platform
