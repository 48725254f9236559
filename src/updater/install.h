#pragma once

#include <functional>
#include <string>
#include <vector>

// Putting a downloaded set of files in place all together. Each file is first written beside
// its target; with the whole set there, a journal is written and the targets are renamed over,
// the old files kept (as hard links) until the last rename. A failure, or a journal found at
// the next start, puts the old set back, so a stop at any point leaves the old set or the new
// one whole.
namespace updater {

inline constexpr const char* kStagingFolder = "tmpUpdate";
inline constexpr const char* kJournal = "update.journal";
inline constexpr const char* kNewSuffix = ".update-new";
inline constexpr const char* kOldSuffix = ".update-old";

// Whether a local path from the manifest names a file inside the program folder (the current
// directory): not empty, not absolute, no drive letter, no "." or ".." segment ("\" counts as
// "/"), not one of the updater's own work files, and no existing part of it a symbolic link
// that leads out of the folder.
bool IsSafeLocalPath(const std::string& localPath);

// The staged copy of a local path: "tmpUpdate/" + path.
std::string StagedPath(const std::string& localPath);

struct InstallHooks {
  // Called after the n-th target has been renamed into place (1-based).
  std::function<void(int)> afterRename;
};

// Moves the staged files of `localPaths` into place. `restartKestrane` is kept in the journal,
// so that a cut-off install restores the old set and starts the Kestrane it had stopped.
// On failure the old set is back in place and false is returned.
bool PlaceFiles(const std::vector<std::string>& localPaths, bool restartKestrane,
                const InstallHooks& hooks = {});

enum class Recovery { None, Restored, Finished, Failed };

// Undoes (or finishes, when it had committed) an install that was cut off. *restartKestrane
// tells whether that install had stopped a running Kestrane.
Recovery RecoverInterruptedInstall(bool* restartKestrane);

// The mode a new file gets: 0755 for programs (ELF or "#!"), else 0644.
unsigned ModeForNewFile(const std::string& firstBytes);

}  // namespace updater
