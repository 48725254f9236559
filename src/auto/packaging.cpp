#include "auto/packaging.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "auto/settings_files.h"
#include "core/data_base.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/program_folder.h"

namespace packaging {
namespace {

std::mutex g_timingsMutex;
UploadTimings g_timings;

}  // namespace

const char* KindText(int kind) {
  switch (kind) {
    case kBand:
      return "band";
    case kScreen:
      return "screen";
    case kVideoSpeed:
      return "videospeed";
    case kFileDown:
      return "filedown";
    case kPing:
      return "PING";
    case kTrace:
      return "TRACE";
    default:
      return "error";
  }
}

std::string PackageName(int kind, const std::tm& t, const std::string& userId) {
  std::string user = userId;
  std::replace(user.begin(), user.end(), '/', '_');
  std::replace(user.begin(), user.end(), '\\', '_');
  const char* format = (kind == kPing || kind == kTrace)
                           ? "%04d%02d%02d%02d%02d%02d_1024_%s_%s.zip"
                           : "%04d%02d%02d%02d%02d%02d_1024_Pccollect_%s_%s.zip";
  int n = std::snprintf(nullptr, 0, format, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                        t.tm_min, t.tm_sec, KindText(kind), user.c_str());
  std::string name(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(name.data(), name.size(), format, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec, KindText(kind), user.c_str());
  name.resize(static_cast<size_t>(n));
  return name;
}

UploadTimings GetUploadTimings() {
  std::lock_guard lock(g_timingsMutex);
  return g_timings;
}

void SetUploadTimings(const UploadTimings& timings) {
  std::lock_guard lock(g_timingsMutex);
  g_timings = timings;
}

}  // namespace packaging

std::string PackageRecord(int kind, const std::string& recordPath, const std::string& folder) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::string name =
      packaging::PackageName(kind, local, CDataBase::Instance().GetUserInfo().userId);
  platform::RunProcess(
      "zip", {"-m", "-j", paths::Native(folder + "\\" + name), paths::Native(recordPath)});
  return name;
}

namespace {

using namespace std::chrono;

bool EndsWithZip(const std::string& name) {
  if (name.size() < 4) return false;
  std::string ext = name.substr(name.size() - 4);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".zip";
}

// The first "*.zip" file of the folder. Names start with their packing time, so name order
// sends the oldest first.
std::string FirstPackage(const std::string& folder) {
  std::vector<std::string> names = platform::FilesIn(folder);
  names.erase(std::remove_if(names.begin(), names.end(),
                             [](const std::string& name) { return !EndsWithZip(name); }),
              names.end());
  if (names.empty()) return {};
  return *std::min_element(names.begin(), names.end());
}

// A command-line word is kept with the quotes that grouped it on the original command line; as
// one element of an argument vector it needs none.
std::string Unquote(const std::string& word) {
  if (word.size() >= 2 && word.front() == '"' && word.back() == '"')
    return word.substr(1, word.size() - 2);
  return word;
}

// The transfer program's answer: the first line of the result file (at most 19 characters)
// and the package it names.
struct Answer {
  std::string line;
  std::string package;
};

// nullopt when there is no result file.
std::optional<Answer> ReadAnswer(const std::string& path) {
  std::optional<std::string> text = platform::ReadWholeFile(path);
  if (!text) return std::nullopt;
  Answer answer;
  size_t pos = 0;
  for (bool first = true; pos < text->size(); first = false) {
    size_t end = text->find('\n', pos);
    if (end == std::string::npos) end = text->size();
    std::string line = text->substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pos = end + 1;
    if (first) {
      answer.line = line.substr(0, 19);
    } else if (line.compare(0, std::strlen(packaging::kAnswerPackageKey),
                            packaging::kAnswerPackageKey) == 0) {
      answer.package = line.substr(std::strlen(packaging::kAnswerPackageKey));
      break;
    }
  }
  return answer;
}

bool TransferProgramPresent() {
  return platform::IsFile(std::string(".\\") + packaging::kTransferProgram);
}

// Every upload thread, so a program can wait for them before it exits, and the per-folder
// queue that keeps two uploads of one folder from sharing its exchange files at once.
struct FolderQueue {
  std::mutex run;                   // held while an upload of the folder runs
  std::shared_future<int> waiting;  // the one upload waiting for `run`, if any
  bool hasWaiting = false;
};

struct Registry {
  std::mutex mutex;
  std::condition_variable idle;
  int active = 0;
  std::map<std::string, std::shared_ptr<FolderQueue>> folders;
};

// Never destroyed: upload threads may still run while the program exits.
Registry& TheRegistry() {
  static Registry* registry = new Registry;
  return *registry;
}

std::string FolderKey(const std::string& folder) {
  std::string key = paths::Native(folder);
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  if (key.empty() || key[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) key = paths::Join(cwd, key);
  }
  return key;
}

}  // namespace

int RunUpload(const UploadRequest& request) {
  const packaging::UploadTimings timings = packaging::GetUploadTimings();
  const std::string& folder = request.folder;
  const std::string resultPath = folder + "\\" + packaging::kResultFile;
  const std::string configurePath = folder + "\\" + packaging::kConfigureFile;

  platform::RemoveFile(resultPath);
  if (!TransferProgramPresent()) return -1;

  for (;;) {
    std::string package = FirstPackage(folder);
    if (package.empty()) {
      std::this_thread::sleep_for(timings.settle);
      platform::RemoveFile(configurePath);
      return 0;
    }

    const std::string packagePath = folder + "\\" + package;
    if (!platform::WritePrivateProfileString("sftpput", "filename", "put " + packagePath,
                                             configurePath))
      return 0;
    std::this_thread::sleep_for(timings.startDelay);

    pid_t pid =
        platform::SpawnProcess(std::string(".\\") + packaging::kTransferProgram,
                               {Unquote(request.open), Unquote(request.changeFolder), folder});
    if (pid < 0) return 0;

    // Wait for the answer. A transfer program that has ended without one will never give it,
    // so the wait stops there instead of running out its ten minutes. Only an answer that
    // names this package counts: a transfer program left over from an earlier upload may still
    // answer for another one, and taking its "Success" would delete this package unsent.
    std::optional<Answer> answer;
    bool answered = false;
    bool ended = false;
    for (int check = 0; check < timings.maxChecks; ++check) {
      answer = ReadAnswer(resultPath);
      if (answer && answer->package == package) {
        answered = true;
        break;
      }
      if (ended) break;
      std::this_thread::sleep_for(timings.pollInterval);
      ended = platform::WaitProcess(pid, 0).status != platform::WaitStatus::TimedOut;
    }
    if (!ended) {
      // It has answered and is finishing, or it overran: either way it must not write into the
      // folder once the next transfer has begun.
      if (!answered || platform::WaitProcess(pid, 5000).status == platform::WaitStatus::TimedOut) {
        kill(pid, SIGKILL);
        platform::WaitProcess(pid, -1);
      }
    }

    if (!answered) return 0;
    if (answer->line.compare(0, 7, "Success") != 0) return 0;

    std::this_thread::sleep_for(timings.afterSuccess);
    platform::RemoveFile(packagePath);
    platform::RemoveFile(resultPath);
    std::this_thread::sleep_for(timings.settle);
    // A package that cannot be deleted would be sent again and again.
    if (platform::IsFile(packagePath)) return 0;

    if (!TransferProgramPresent()) return -1;
  }
}

std::shared_future<int> StartUpload(const UploadRequest& request) {
  Registry& registry = TheRegistry();
  std::unique_lock lock(registry.mutex);
  auto& slot = registry.folders[FolderKey(request.folder)];
  if (!slot) slot = std::make_shared<FolderQueue>();
  std::shared_ptr<FolderQueue> queue = slot;
  // One upload already waits for its turn: it will send whatever this call would have sent.
  if (queue->hasWaiting) return queue->waiting;

  auto promise = std::make_shared<std::promise<int>>();
  std::shared_future<int> result = promise->get_future().share();
  queue->waiting = result;
  queue->hasWaiting = true;
  ++registry.active;
  lock.unlock();

  std::thread([request, queue, promise] {
    Registry& registry = TheRegistry();
    int code = 0;
    {
      std::lock_guard run(queue->run);
      {
        std::lock_guard lock(registry.mutex);
        queue->hasWaiting = false;
        queue->waiting = {};
      }
      code = RunUpload(request);
    }
    promise->set_value(code);
    std::lock_guard lock(registry.mutex);
    --registry.active;
    registry.idle.notify_all();
  }).detach();
  return result;
}

std::shared_future<int> UploadFolder(UploadRequest& request, const std::string& folder) {
  settings::UploadAccount account = settings::ReadUploadAccount();
  request.changeFolder = "\"cd ." + account.dataDir + "\"";
  request.open = "\"open  " + account.host + "\"";
  request.folder = folder;
  return StartUpload(request);
}

bool packaging::WaitForUploads(std::chrono::milliseconds bound) {
  Registry& registry = TheRegistry();
  std::unique_lock lock(registry.mutex);
  return registry.idle.wait_for(lock, bound, [&] { return registry.active == 0; });
}
