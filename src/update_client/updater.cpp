#include "update_client/updater.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/log_file.h"
#include "core/properties_file.h"
#include "platform/atomic_file.h"
#include "platform/codepage.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/program_folder.h"
#include "update_client/download_binding.h"
#include "update_client/update_manifest.h"

namespace {

std::mutex g_boundsLock;
FetchBounds g_bounds;

// The download library's code for a path it cannot use.
constexpr int kBadPath = 101;

// Pause between stopping the old updater and replacing its file.
constexpr std::chrono::milliseconds kAfterKill{2000};

void InitCurl() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A URL is passed on only when it is one piece of printable text: a blank or a control
// character (a line end left in a settings file) would change what is asked for.
bool IsPlainUrl(const std::string& url) {
  if (url.empty()) return false;
  for (unsigned char c : url)
    if (c <= 0x20 || c == 0x7f) return false;
  return true;
}

// Server paths are written with "\" in the settings ("Update\Update.exe"); a URL wants "/".
std::string JoinUrl(const std::string& base, const std::string& path) {
  std::string url = base + path;
  for (char& c : url)
    if (c == '\\') c = '/';
  return url;
}

struct Transfer {
  FetchBounds bounds;
  std::chrono::steady_clock::time_point start;
  std::string body;
  bool tooLarge = false;
  bool tooSlow = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  size_t n = size * count;
  if (t->body.size() + n > t->bounds.maxBytes) {
    t->tooLarge = true;
    return 0;
  }
  t->body.append(data, n);
  return n;
}

int OnProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
  auto* t = static_cast<Transfer*>(user);
  if (total > 0 && static_cast<uint64_t>(total) > t->bounds.maxBytes) {
    t->tooLarge = true;
    return 1;
  }
  curl_off_t size = std::max(total, now);
  auto allowed = t->bounds.base + t->bounds.per64KiB * (size / 65536);
  if (std::chrono::steady_clock::now() - t->start > allowed) {
    t->tooSlow = true;
    return 1;
  }
  return 0;
}

// GET of a whole body within the bounds, as the manual check asks for it. True only for
// status 200 with the whole body; `what` names the failure otherwise.
bool BoundedGet(const std::string& url, const FetchBounds& bounds, std::string* body,
                std::string* what) {
  if (!IsPlainUrl(url)) {
    *what = "bad URL";
    return false;
  }
  InitCurl();
  CURL* curl = curl_easy_init();
  if (!curl) {
    *what = "no transfer handle";
    return false;
  }
  Transfer t;
  t.bounds = bounds;
  t.start = std::chrono::steady_clock::now();
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Cache-Control: no-cache");
  headers = curl_slist_append(headers, "Pragma: no-cache");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Kestrane");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 2000L);
  // The progress check enforces the bound by size; this is the ceiling for the largest body.
  auto ceiling = bounds.base + bounds.per64KiB * static_cast<long>(bounds.maxBytes / 65536 + 1);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(ceiling.count()));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
  CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);
  if (t.tooLarge) {
    *what = "larger than " + std::to_string(bounds.maxBytes) + " bytes";
    return false;
  }
  if (t.tooSlow || rc == CURLE_OPERATION_TIMEDOUT) {
    *what = "timed out";
    return false;
  }
  if (rc != CURLE_OK) {
    *what = curl_easy_strerror(rc);
    return false;
  }
  if (status != 200) {
    *what = "status " + std::to_string(status);
    return false;
  }
  *body = std::move(t.body);
  return true;
}

// With a signing key configured, whether "<url>.sig" verifies `bytes`; true without a key.
bool SignatureHolds(const std::string& url, std::string_view bytes, std::string* what) {
  const std::string key = UpdatePublicKey();
  if (key.empty()) return true;
  FetchBounds bounds = ManifestFetchBounds();
  bounds.maxBytes = kMaxSignatureBytes;
  std::string signature;
  if (!BoundedGet(url + std::string(kSignatureSuffix), bounds, &signature, what)) {
    *what = "signature: " + *what;
    return false;
  }
  if (!VerifyEd25519Signature(key, bytes, signature)) {
    *what = "signature does not verify";
    return false;
  }
  return true;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Writes `bytes` beside `target` and renames it over it with `mode`, so a program running from
// the old file keeps it and a reader never sees half a file.
bool ReplaceFile(const std::string& target, const std::string& bytes, mode_t mode) {
  std::string temp = target + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<size_t>(n);
  }
  ok = ok && fchmod(fd, mode) == 0 && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

// Sets a key of a properties file, adding it when absent: a key that is never added would
// never be recorded, and every start would then repeat the work it records.
void Store(PropertiesFile& file, const std::string& key, const std::string& value) {
  if (!file.Set(key, value)) file.Add(key, value);
}

}  // namespace

FetchBounds ManifestFetchBounds() {
  std::lock_guard<std::mutex> lock(g_boundsLock);
  return g_bounds;
}

void SetManifestFetchBounds(const FetchBounds& bounds) {
  std::lock_guard<std::mutex> lock(g_boundsLock);
  g_bounds = bounds;
}

bool CUpdater::FetchVersionFile(std::string& version, std::string& md5, std::string& error) {
  LogFile log;
  log.OpenDaily(logs::kDebug);
  log.WriteText("开始下载版本信息文件");
  PropertiesFile config(conf::kConfig);
  config.Load();
  const std::string url = JoinUrl(config.Get("update_server_path"), config.Get("updater_ini_path"));
  // The download library writes to the log itself; ours is closed meanwhile.
  log.Close();
  // A URL that is not one printable piece fails as a bad path, unasked.
  int code = IsPlainUrl(url) ? CallHttpDownLoad(kVersionFilePath, url, "") : kBadPath;
  log.OpenDaily(logs::kDebug);
  if (code != kDownloadOk) {
    log.Write("下载版本信息文件失败:[ErrorCode:%d]", code);
    error = DownloadErrorText(code);
    return false;
  }
  log.WriteText("下载版本信息文件成功");
  log.WriteText("下载版本信息文件结束");
  std::string what;
  std::optional<std::string> bytes = platform::ReadWholeFile(kVersionFilePath);
  if (!bytes || !SignatureHolds(url, *bytes, &what)) {
    // An unsigned or forged version file counts as none.
    platform::RemoveFile(kVersionFilePath);
    log.Write("版本信息文件签名校验失败:[%s]", what.c_str());
    error = "版本信息文件签名校验失败";
    return false;
  }
  // Read as the original's fixed buffers held them: 255 and 1023 bytes at most.
  version = codepage::CutToGbkBytes(
      platform::GetPrivateProfileString("ver number", "version", "", kVersionFilePath), 255);
  md5 = codepage::CutToGbkBytes(
      platform::GetPrivateProfileString("md5 value", "md5", "", kVersionFilePath), 1023);
  log.Write("获取到的版本号:%s\nMD5校验码:%s", version.c_str(), md5.c_str());
  return true;
}

bool CUpdater::GetUpdaterVersion(std::string& version) {
  version = conf::Read(conf::kUpdateProcess, "update_app_ver");
  logs::Write(logs::kDebug, "当前版本号:[%s]", version.c_str());
  return true;
}

bool CUpdater::DownloadUpdater(const std::string& localPath, const std::string& url,
                               const std::string& md5, std::string& error) {
  logs::WriteText(logs::kDebug, "开始Update.exe下载");
  if (md5.empty()) {
    // Without a digest nothing says the file is the one published: never install it.
    logs::WriteText(logs::kDebug, "下载Update.exe失败:[没有MD5校验码]");
    error = "没有MD5校验码";
    return false;
  }
  MakeDirsForPath(localPath);
  int code = IsPlainUrl(url) ? CallHttpDownLoad(localPath, url, md5) : kBadPath;
  if (code == kDownloadOk && Lower(FileMd5Hex(localPath)) != Lower(md5)) code = 108;
  if (code != kDownloadOk) {
    logs::Write(logs::kDebug, "下载Update.exe失败:[ErrorCode:%d]", code);
    error = DownloadErrorText(code);
    return false;
  }
  logs::WriteText(logs::kDebug, "下载Update.exe成功");
  return true;
}

bool CUpdater::KillUpdater() {
  if (!IsProcessRunning(kUpdaterProgram)) {
    logs::WriteText(logs::kDebug, "Update.exe没有运行");
    return true;
  }
  logs::WriteText(logs::kDebug, "Update.exe在后台运行中");
  if (KillProcessByName(kUpdaterProgram) == 1) {
    logs::WriteText(logs::kDebug, "杀死Update.exe成功");
    return true;
  }
  logs::WriteText(logs::kDebug, "杀死Update.exe失败");
  return false;
}

bool CUpdater::ReplaceUpdater() {
  const std::string source = kNewUpdaterPath;
  const std::string target = kUpdaterProgram;
  bool ok = !source.empty() && !target.empty() && MakeDirsForPath(target);
  std::optional<std::string> bytes;
  if (ok) bytes = platform::ReadWholeFile(source);
  ok = ok && bytes && !bytes->empty() && ReplaceFile(target, *bytes, 0755);
  logs::WriteText(logs::kDebug,
                  ok ? "移动下载文件Update.exe的位置完成" : "移动下载文件Update.exe的位置失败");
  return ok;
}

bool CUpdater::FetchManifestVersion(std::string& version) {
  version.clear();
  // Read as plain lines: the first line holding each key gives it (a repeat before both are
  // seen replaces it), the value being all after the first "=".
  std::string serverPath, fileName;
  bool haveServer = false, haveName = false;
  {
    std::ifstream in(paths::Native(conf::kConfig), std::ios::binary);
    std::string line;
    while ((!haveServer || !haveName) && std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      line = codepage::GbkToUtf8(line);
      auto eq = line.find('=');
      std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
      if (line.find("update_server_path") != std::string::npos) {
        serverPath = value;
        haveServer = true;
      } else if (line.find("update_ver_file_name") != std::string::npos) {
        fileName = value;
        haveName = true;
      }
    }
  }
  const std::string url = JoinUrl(serverPath, fileName);
  std::string name = url.substr(url.rfind('/') == std::string::npos ? 0 : url.rfind('/') + 1);
  LogFile log;
  log.OpenDaily(logs::kDebug);
  // The copy is kept under that name inside "tmp": it must be a plain name.
  if (name.empty() || name == "." || name == ".." || name.find('\\') != std::string::npos) {
    log.Write("下载update.xml失败:[%s]", url.c_str());
    return false;
  }
  const std::string local = std::string(kManifestFolder) + "/" + name;
  MakeDirsForPath(local);
  platform::RemoveFile(local);

  std::string body, what;
  if (!BoundedGet(url, ManifestFetchBounds(), &body, &what) || !SignatureHolds(url, body, &what)) {
    log.Write("下载update.xml失败:[%s][%s]", url.c_str(), what.c_str());
    return false;
  }
  if (!platform::WriteFileAtomically(local, body)) {
    log.Write("保存update.xml失败:[%s]", local.c_str());
    return false;
  }
  UpdateManifest manifest;
  if (!manifest.Parse(body)) {
    log.Write("解析update.xml失败:[%s]", url.c_str());
    return false;
  }
  version = manifest.Version();
  return !version.empty();
}

bool CUpdater::IsAppUpToDate(bool* checkFailed) {
  const std::string installed = conf::Read(conf::kUpdateProcess, "new_app_ver");
  std::string version;
  bool fetched = FetchManifestVersion(version);
  if (checkFailed) *checkFailed = !fetched;
  // No version from the server is no answer, not a newer version.
  return fetched && installed == version;
}

bool CUpdater::ReadManifestNotes(std::string& notes, std::string& error) {
  notes.clear();
  UpdateManifest manifest;
  if (!manifest.Load(kManifestCopy)) {
    error = "加载文件update.xml异常";
    return false;
  }
  notes = manifest.NotesText();
  return true;
}

pid_t StartUpdater(const std::string& word) {
  std::vector<std::string> words;
  if (!word.empty()) words.push_back(word);
  return StartDetached(kUpdaterProgram, words);
}

int UpdateThreadProc() {
  LogFile log;
  log.OpenDaily(logs::kUpdateThread);
  CUpdater updater;

  std::string serverVersion, md5, error;
  if (updater.FetchVersionFile(serverVersion, md5, error)) {
    log.WriteText("获取新的版本号和Update.exe文件的MD5校验码成功");
  } else {
    log.Write("获取新的版本号和Update.exe文件的MD5校验码失败失败原因:[%s]", error.c_str());
    serverVersion.clear();
  }
  std::string localVersion;
  updater.GetUpdaterVersion(localVersion);

  if (serverVersion == localVersion) {
    log.Write("当前版本号已是最新版本:[%s]", localVersion.c_str());
  } else {
    log.Write("发现新版本,版本号是:[%s],开始下载新版本", serverVersion.c_str());
    log.WriteText("开始下载新版本");
    PropertiesFile config(conf::kConfig);
    config.Load();
    const std::string url =
        JoinUrl(config.Get("update_server_path"), config.Get("updater_exe_path"));
    if (!updater.DownloadUpdater(kNewUpdaterPath, url, md5, error)) {
      log.Write("下载新版本失败,失败原因:[%s]", error.c_str());
    } else {
      log.WriteText("下载新版本成功");
      if (updater.KillUpdater())
        log.WriteText("Update.exe 未在后台运行 或 Kill Update.exe进程成功!");
      else
        log.WriteText("Kill Update.exe进程失败!");
      std::this_thread::sleep_for(kAfterKill);
      if (updater.ReplaceUpdater()) {
        FileLock lock(kUpdateStateLockFile);
        PropertiesFile state(conf::kUpdateProcess);
        state.Load();
        Store(state, "update_app_ver", serverVersion);
        state.Save(true);
      }
    }
  }

  // Start a background updater unless the one recorded still runs here. A stored id that is 0
  // or names another program is no updater of ours.
  {
    FileLock lock(kUpdateStateLockFile);
    PropertiesFile state(conf::kUpdateProcess);
    state.Load();
    const std::string stored = state.Get("update_process_id");
    char* end = nullptr;
    long id = std::strtol(stored.c_str(), &end, 10);
    if (end == stored.c_str() || id <= 0 || id > INT32_MAX) id = 0;
    if (id != 0 && IsOurProcess(static_cast<pid_t>(id), kUpdaterProgram)) {
      log.Write("后台Update.exe正在运行:[%ld]", id);
    } else if (pid_t pid = StartUpdater("update"); pid != 0) {
      log.Write("启动后台Update.exe成功:[%d]", static_cast<int>(pid));
      Store(state, "update_process_id", std::to_string(pid));
      state.Save(true);
    } else {
      log.WriteText("启动后台Update.exe失败");
    }
  }
  log.Close();
  return 0;
}

void StartUpdateThread() {
  std::thread([] { UpdateThreadProc(); }).detach();
}
