#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <string>

#include "update_client/update_process.h"

// Kestrane's side of updating: keeping the Update program current and running in the
// background (UpdateThreadProc), and the manual check of the settings screen. No widgets; every
// operation may block on the network and runs on a worker.
//
// Names of the program folder: the updater in use is "Update"; a new one is downloaded to
// "Update.d/Update" (a folder "Update" cannot sit beside the program "Update").
inline constexpr const char* kUpdaterProgram = "Update";
inline constexpr const char* kNewUpdaterPath = "Update.d/Update";
inline constexpr const char* kVersionFilePath = "updater.ini";
inline constexpr const char* kManifestFolder = "tmp";
inline constexpr const char* kManifestCopy = "tmp/update.xml";

// Bounds of a fetch through libcurl (the manifest, signature files): a body larger than
// `maxBytes` fails, and so does a fetch that takes longer than `base` plus `per64KiB` for every
// 64 KiB of the body. Tests shorten them.
struct FetchBounds {
  size_t maxBytes = 4 * 1024 * 1024;
  std::chrono::milliseconds base{30000};
  std::chrono::milliseconds per64KiB{1000};
};
FetchBounds ManifestFetchBounds();
void SetManifestFetchBounds(const FetchBounds& bounds);

class CUpdater {
 public:
  virtual ~CUpdater() = default;

  // Downloads the version file to "updater.ini" and reads the updater's version ("ver number"/
  // "version") and MD5 ("md5 value"/"md5"). With a signing key configured the file counts only
  // when its signature verifies. On failure `error` gets the reason.
  bool FetchVersionFile(std::string& version, std::string& md5, std::string& error);
  // "update_app_ver" of conf\update_process.properties ("null" when absent).
  bool GetUpdaterVersion(std::string& version);
  // Downloads the new updater; refused without an MD5 to check it against.
  bool DownloadUpdater(const std::string& localPath, const std::string& url, const std::string& md5,
                       std::string& error);
  // Stops a running Update of this folder; true when none runs any more.
  bool KillUpdater();
  // Puts "Update.d/Update" in place of "Update": written beside it, renamed over it (a running
  // Update keeps its old file), mode 0755.
  bool ReplaceUpdater();

  // Fetches the manifest ("update_server_path" + "update_ver_file_name") into "tmp/" and gives
  // its "Version". False, with an empty version and no manifest copy left, when it cannot be
  // fetched, does not parse, or has no or an empty "Version".
  bool FetchManifestVersion(std::string& version);
  // Whether the installed version ("new_app_ver") equals the manifest's. `checkFailed` (when
  // given) is set when the manifest could not be had: then the answer is false and means
  // nothing.
  bool IsAppUpToDate(bool* checkFailed = nullptr);
  // The "note" texts of "tmp/update.xml", each followed by "\n"; on failure `error` is
  // "加载文件update.xml异常".
  bool ReadManifestNotes(std::string& notes, std::string& error);
};

// Starts "./Update" with the word ("update" for the background updater, "" for the interactive
// one) in a session of its own, reaped when it ends. Returns its pid, or 0.
pid_t StartUpdater(const std::string& word);

// The start-up pass: keeps the Update program current and a background Update running. Writes
// "log/<date>UpdateThread.log"; returns 0.
int UpdateThreadProc();

// Runs UpdateThreadProc once on a thread of its own (at start-up; it ends by itself).
void StartUpdateThread();
