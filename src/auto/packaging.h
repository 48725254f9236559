#pragma once

#include <chrono>
#include <ctime>
#include <future>
#include <string>

// Result records leave the machine as zip packages of one record each, sent one at a time by
// the transfer program PSFTP over SFTP. Records of the tests lie in "Data", ping and trace
// records in "NetStatusData".

// Record kind codes.
namespace packaging {
inline constexpr int kBand = 1;
inline constexpr int kScreen = 2;
inline constexpr int kVideoSpeed = 3;
inline constexpr int kFileDown = 4;
inline constexpr int kPing = 5;
inline constexpr int kTrace = 6;

// "band", "screen", "videospeed", "filedown", "PING", "TRACE"; "error" for any other code.
const char* KindText(int kind);

// "%04d%02d%02d%02d%02d%02d_1024_PING_<user>.zip" for ping and trace,
// "..._1024_Pccollect_<kind>_<user>.zip" for the others. Path separators in the user id are
// replaced by "_" so the name always stays inside its folder.
std::string PackageName(int kind, const std::tm& localTime, const std::string& userId);

// The exchange files the transfer program and the upload thread share, in the local folder.
inline constexpr const char* kConfigureFile = "sftpconfigure.ini";
inline constexpr const char* kResultFile = "sftpresult.ini";
// The result file's first line is "Success" or a failure; a later line "package=<file name>"
// names the package the answer is for.
inline constexpr const char* kAnswerPackageKey = "package=";
// The transfer program, in the current (program) folder.
inline constexpr const char* kTransferProgram = "PSFTP";

// Waits of the upload thread; tests shorten them.
struct UploadTimings {
  std::chrono::milliseconds startDelay{55};     // after writing the put command
  std::chrono::milliseconds pollInterval{20};   // between checks for the result file
  int maxChecks = 30000;                        // 10 minutes of checks
  std::chrono::milliseconds afterSuccess{200};  // before deleting the sent package
  std::chrono::milliseconds settle{10};
};
UploadTimings GetUploadTimings();
void SetUploadTimings(const UploadTimings& timings);
}  // namespace packaging

// What one upload thread needs: the change-folder word ("\"cd .<dataDir>\""), the open word
// ("\"open  <host>\"") and the local folder. Each caller keeps one; it is overwritten at every
// upload start, and the thread works on its own copy.
struct UploadRequest {
  std::string changeFolder;
  std::string open;
  std::string folder;
};

// Packs a record into a package of its own in `folder` with "zip -m -j" (the record file is moved
// into the package, without its folder path) and waits for zip to end. Named from the local
// time, the kind and the login user id. Returns the package name; when zip is missing or fails
// the record stays where it was and no package exists.
std::string PackageRecord(int kind, const std::string& recordPath, const std::string& folder);

// Reads the upload account, fills `request` and starts an upload thread for the folder.
// Returns at once; the future gives the thread's result (0 done or stopped, -1 transfer
// program missing). Uploads of one folder run one after another; while one runs, at most one
// more waits, and further calls share that waiting one's result (it sends every package then
// in the folder).
std::shared_future<int> UploadFolder(UploadRequest& request, const std::string& folder);

// Starts an upload thread for a request that is already filled (serialised like UploadFolder).
std::shared_future<int> StartUpload(const UploadRequest& request);

// The upload thread's work, run in the calling thread: sends the folder's packages one by one
// until none is left (0), one fails or gets no answer (0), or the transfer program is missing
// (-1). Not serialised: callers use StartUpload.
int RunUpload(const UploadRequest& request);

namespace packaging {
// Waits until no upload thread runs, at most `bound`. Returns whether all have ended (a
// program that exits after a test calls this so its result leaves first).
bool WaitForUploads(std::chrono::milliseconds bound);
}  // namespace packaging
