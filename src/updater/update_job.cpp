#include "updater/update_job.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <thread>

#include "core/log_file.h"
#include "core/properties_file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "platform/registry.h"
#include "update_client/update_manifest.h"
#include "update_client/update_process.h"
#include "updater/http_get_to_file.h"

extern char** environ;

namespace updater {
namespace {

constexpr const char* kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// A setting of config.properties; nullopt when the file cannot be read or lacks the key.
bool ReadConfig(const std::string& key, std::string* value) {
  if (!platform::IsFile(conf::kConfig)) return false;
  PropertiesFile file(conf::kConfig);
  file.Load();
  *value = file.Get(key);
  return *value != "null";
}

// Server paths keep the "\" of their Windows origin; in a URL it is "/".
std::string UrlPath(const std::string& path) { return paths::Native(path); }

// Whether the file's bytes carry the signature of the configured key.
bool SignatureVerifies(const std::string& file, const std::string& sigFile,
                       const std::string& key) {
  auto bytes = platform::ReadWholeFile(file);
  auto sig = platform::ReadWholeFile(sigFile);
  return bytes && sig && VerifyEd25519Signature(key, *bytes, *sig);
}

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void RestartKestrane(UpdateJob& job) {
  if (StartHidden(std::string(kMainProgram) + " update") == 0) {
    logs::Write(logs::kDebug, "Update: %s", kRestartFailedText);
    if (job.ui) job.ui->ShowRestartFailed();
  }
}

}  // namespace

std::string ProgramFolderPath() {
  char buf[PATH_MAX];
  return getcwd(buf, sizeof buf) ? std::string(buf) : platform::ProgramFolder();
}

bool FileFetcher::Prepare() { return ReadConfig("update_server_path", &m_base); }

bool FileFetcher::Fetch(const UpdateFileEntry& entry) {
  const std::string url = m_base + UrlPath(entry.serverPath);
  const std::string target = StagedPath(entry.localPath);
  for (int attempt = 1; attempt <= 5; ++attempt) {
    HttpGetToFile(url, target, kMaxFileBytes, m_timing);
    const std::string digest = FileMd5Hex(target);
    if (!digest.empty() && strcasecmp(digest.c_str(), entry.digest.c_str()) == 0) {
      logs::Write(logs::kDebug, "Update: fetched %s", url.c_str());
      return true;
    }
    logs::Write(logs::kDebug, "Update: %s attempt %d: digest [%s], expected [%s]", url.c_str(),
                attempt, digest.c_str(), entry.digest.c_str());
  }
  return false;
}

void DownloadManifest(UpdateJob& job) {
  job.serverVersion.clear();
  std::string base, name;
  if (!ReadConfig("update_server_path", &base) || !ReadConfig("update_ver_file_name", &name)) {
    logs::Write(logs::kDebug, "Update: no update server in %s", conf::kConfig);
    return;
  }
  const std::string url = base + UrlPath(name);
  if (!HttpGetToFile(url, kManifestPath, kMaxManifestBytes, job.timing)) return;
  // With a public key configured, only a manifest signed by its owner counts.
  const std::string key = UpdatePublicKey();
  if (!key.empty()) {
    const std::string suffix(kSignatureSuffix);
    const std::string sig = kManifestPath + suffix;
    if (!HttpGetToFile(url + suffix, sig, static_cast<int64_t>(::kMaxSignatureBytes), job.timing) ||
        !SignatureVerifies(kManifestPath, sig, key)) {
      logs::Write(logs::kDebug, "Update: %s: signature does not verify", url.c_str());
      platform::RemoveFile(kManifestPath);
      platform::RemoveFile(sig);
      return;
    }
  }
  UpdateManifest manifest;
  if (manifest.Load(kManifestPath)) job.serverVersion = manifest.Version();
}

bool CheckAndUpdate(UpdateJob& job) {
  DownloadManifest(job);
  if (job.serverVersion.empty()) return false;
  job.installedVersion = conf::Read(conf::kUpdateProcess, "new_app_ver");
  if (job.installedVersion.empty()) return false;
  if (job.serverVersion == job.installedVersion) return true;
  logs::Write(logs::kDebug, "Update: installed [%s], server [%s]", job.installedVersion.c_str(),
              job.serverVersion.c_str());
  return CollectChangedFiles(job) && InstallFiles(job);
}

bool CollectChangedFiles(UpdateJob& job) {
  UpdateManifest manifest;
  if (!manifest.Load(kManifestPath)) {
    logs::Write(logs::kDebug, "Update: the manifest does not parse");
    return false;
  }
  std::string display;
  CollectManifestFiles(manifest, job.installedVersion, job.files, &display);
  if (!display.empty()) job.displayVersion = display;
  std::string base;
  const bool haveBase = ReadConfig("update_server_path", &base);
  // Nothing is fetched unless every entry names a file inside this folder and a clean address.
  for (const auto& e : job.files) {
    if (!IsSafeLocalPath(e.localPath) || (haveBase && !IsCleanUrl(base + UrlPath(e.serverPath)))) {
      logs::Write(logs::kDebug, "Update: refused entry [%s] [%s]", e.localPath.c_str(),
                  e.serverPath.c_str());
      return false;
    }
  }
  DeleteFolderTree(kStagingFolder);
  FileFetcher fetcher(job.timing);
  if (job.interactive && job.ui) return job.ui->FetchWithProgress(job.files, fetcher) == 0;
  if (!fetcher.Prepare()) return false;
  for (const auto& e : job.files)
    if (!fetcher.Fetch(e)) return false;
  return true;
}

bool InstallFiles(UpdateJob& job) {
  if (IsProcessRunning(kMainProgram) && job.ui) job.ui->ShowRestartCountdown();
  const int stop = KillProcessByName(kMainProgram);
  logs::Write(logs::kDebug, "Update: stopping %s: %d", kMainProgram, stop);
  if (stop == 2) {
    logs::Write(logs::kDebug, "Update: %s could not be stopped", kMainProgram);
    DeleteFolderTree(kStagingFolder);
    return false;
  }
  Sleep(job.timing.killPauseMs);
  std::vector<std::string> paths;
  bool mainReplaced = false;
  for (const auto& e : job.files) {
    paths.push_back(e.localPath);
    if (e.localPath == kMainProgram) mainReplaced = true;
  }
  const bool placed = PlaceFiles(paths, stop == 1, job.hooks);
  DeleteFolderTree(kStagingFolder);
  // The Kestrane this pass stopped runs again whatever happens to the install.
  if (!placed || (mainReplaced && !UpdateDisplayVersion(job))) {
    if (stop == 1) RestartKestrane(job);
    return false;
  }
  StoreInstalledVersion(job.serverVersion);
  logs::Write(logs::kDebug, "Update: version [%s] installed, %zu files", job.serverVersion.c_str(),
              job.files.size());
  if (stop == 1) RestartKestrane(job);
  return true;
}

bool UpdateDisplayVersion(const UpdateJob& job) {
  if (job.displayVersion.empty()) return false;
  std::string name;
  if (!ReadConfig("reg_name", &name)) return false;
  platform::registry::Key key;
  if (!key.Open(platform::registry::Hive::LocalMachine, kUninstallKey + name)) return false;
  return key.SetString("DisplayVersion", job.displayVersion);
}

bool StoreInstalledVersion(const std::string& version) {
  FileLock lock(kUpdateStateLockFile);
  PropertiesFile file(conf::kUpdateProcess);
  file.Load();
  if (!file.Set("new_app_ver", version) && !file.Add("new_app_ver", version)) return false;
  file.Save(true);
  return conf::Read(conf::kUpdateProcess, "new_app_ver") == version;
}

pid_t StartHidden(const std::string& commandLine) {
  std::istringstream in(commandLine);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  if (words.empty()) return 0;
  const std::string program = words.front();
  words.erase(words.begin());
  return StartDetached(program, words);
}

void RecoverAtStart() {
  bool restart = false;
  Recovery r = RecoverInterruptedInstall(&restart);
  if (r == Recovery::None) return;
  DeleteFolderTree(kStagingFolder);
  if (restart && !IsProcessRunning(kMainProgram))
    StartHidden(std::string(kMainProgram) + " update");
}

}  // namespace updater
