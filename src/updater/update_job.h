#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "update_client/update_manifest.h"
#include "updater/install.h"
#include "updater/timing.h"

namespace updater {

using ::UpdateFileEntry;

// Fetches the staged copies of the files to install.
class FileFetcher {
 public:
  explicit FileFetcher(const UpdateTiming& timing) : m_timing(timing) {}
  virtual ~FileFetcher() = default;
  // Reads the server's base address; false when the settings cannot be read.
  virtual bool Prepare();
  // Up to 5 downloads of the entry into the staging folder, until its digest matches.
  virtual bool Fetch(const UpdateFileEntry& entry);

 private:
  UpdateTiming m_timing;
  std::string m_base;
};

// What the updater shows. The windowed program draws its windows; tests record the calls.
class UpdateUi {
 public:
  virtual ~UpdateUi() = default;
  // Runs `fetcher` over `files` with the progress window: 0 when every entry matched, else 1.
  virtual int FetchWithProgress(const std::vector<UpdateFileEntry>& files,
                                FileFetcher& fetcher) = 0;
  // Shows the restart countdown and returns once it has closed.
  virtual void ShowRestartCountdown() = 0;
  // "软件重启失败，请手动重启！"
  virtual void ShowRestartFailed() = 0;
};

inline constexpr const char* kManifestPath = "tmp/update.xml";
// The main program, as Update starts and stops it.
inline constexpr const char* kMainProgram = "Kestrane";
inline constexpr const char* kRestartFailedText = "软件重启失败，请手动重启！";

// One per process; the file list is kept across passes.
struct UpdateJob {
  std::string serverVersion;
  std::string installedVersion;
  std::vector<UpdateFileEntry> files;
  bool interactive = false;
  std::string displayVersion;

  UpdateTiming timing;
  UpdateUi* ui = nullptr;
  InstallHooks hooks;
};

// One pass: true when the application is current afterwards.
bool CheckAndUpdate(UpdateJob& job);
void DownloadManifest(UpdateJob& job);
bool CollectChangedFiles(UpdateJob& job);
bool InstallFiles(UpdateJob& job);
bool UpdateDisplayVersion(const UpdateJob& job);

// Starts a program of the program folder from a command line ("Kestrane update") in a new
// session, reaped in the background. The process id, or 0.
pid_t StartHidden(const std::string& commandLine);

// The program folder (the current directory once Update has started).
std::string ProgramFolderPath();

// Writes `new_app_ver`, adding the key when the file lacks it, under the file's lock.
bool StoreInstalledVersion(const std::string& version);

// Finishes or undoes an install that was cut off, restarting the Kestrane it had stopped.
void RecoverAtStart();

}  // namespace updater
