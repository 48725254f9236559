#include "filedown/file_down_speed.h"

#include <chrono>
#include <ctime>
#include <random>

#include "auto/packaging.h"
#include "bandwidth/host_network.h"
#include "core/data_base.h"
#include "core/http_transport.h"
#include "core/log_file.h"
#include "platform/paths.h"
#include "platform/program_folder.h"

namespace {

std::atomic<int> g_fetchTimeoutSeconds{CFileDownSpeed::kFetchTimeoutSeconds};
std::atomic<int> g_sampleIntervalMs{CFileDownSpeed::kSampleIntervalMs};
std::atomic<int> g_networkAlive{-1};

// The run-time generator's range: 0 to 32767, seeded with the time.
int RandomNumber(std::time_t seed) {
  std::minstd_rand generator(static_cast<std::minstd_rand::result_type>(seed));
  return static_cast<int>(generator() % 32768);
}

bool IsLoopbackUrl(const std::string& url) {
  transport::UrlParts parts;
  return transport::ParseUrl(url, &parts) &&
         (parts.host.rfind("127.", 0) == 0 || parts.host == "localhost");
}

void ClearBusy() { CDataBase::Instance().testBusy.store(0); }

constexpr const char* kAutoFailed = "自动下载测速结束（测速失败）";

}  // namespace

void CFileDownSpeed::SetTimingsForTest(int fetchTimeoutSeconds, int sampleIntervalMs) {
  g_fetchTimeoutSeconds = fetchTimeoutSeconds > 0 ? fetchTimeoutSeconds : kFetchTimeoutSeconds;
  g_sampleIntervalMs = sampleIntervalMs > 0 ? sampleIntervalMs : kSampleIntervalMs;
}

void CFileDownSpeed::SetNetworkAliveForTest(int alive) { g_networkAlive = alive; }

CFileDownSpeed::~CFileDownSpeed() { WaitUntilIdle(); }

void CFileDownSpeed::WaitUntilIdle() {
  std::lock_guard<std::mutex> guard(m_workerLock);
  if (m_worker.joinable()) m_worker.join();
}

filedown::FileResult CFileDownSpeed::LastResult() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_result;
}

std::vector<int64_t> CFileDownSpeed::SampleBytes() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_samples;
}

std::string CFileDownSpeed::LastRecordName() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_recordName;
}

std::string CFileDownSpeed::LastPackageName() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_packageName;
}

bool CFileDownSpeed::NetworkAliveFor(const std::string& url) const {
  const int forced = g_networkAlive.load();
  if (forced >= 0) return forced != 0;
  // Loopback servers (the lab) are reachable whatever the machine's interfaces say.
  return band::NetworkAlive() || IsLoopbackUrl(url);
}

// --- events -----------------------------------------------------------------------------------

void CFileDownSpeed::Send(const DownloadEvent& event) {
  if (IUpdateUI* listener = Listener()) listener->NotifyDownload(event);
}

void CFileDownSpeed::Warn(int code, const char* message) {
  DownloadEvent event;
  event.code = code;
  event.message = message;
  if (IUpdateUI* listener = Listener()) {
    listener->Ask(event);
    listener->NotifyDownload(event);
  }
}

DownloadEvent CFileDownSpeed::Sample() {
  const std::atomic<int64_t>* counterSlot = m_watch.total.load();
  const int64_t counter = counterSlot ? counterSlot->load() : 0;
  const int64_t loadMs = m_loadMs.load();
  const filedown::SampleTexts texts =
      filedown::MakeSampleTexts(m_watch.contentLength.load(), m_watch.connectMs.load(),
                                counterSlot != nullptr, counter, loadMs);
  DownloadEvent event;
  event.code = speedcode::kOneSecondSample;
  event.total = texts.total;
  event.connect = texts.connect;
  event.loaded = texts.loaded;
  event.loadTime = texts.loadTime;
  event.speed = texts.speed;
  std::lock_guard<std::mutex> guard(m_lock);
  event.lastSecondBytes = counter - m_previous;
  m_previous = counter;
  m_samples.push_back(event.lastSecondBytes);
  return event;
}

void CFileDownSpeed::Sampler() {
  const auto interval = std::chrono::milliseconds(g_sampleIntervalMs.load());
  auto next = std::chrono::steady_clock::now() + interval;
  std::unique_lock<std::mutex> wait(m_sampleWaitLock);
  while (true) {
    // Woken early when the fetch ends: its final sample is sent by the worker.
    if (m_sampleWake.wait_until(wait, next, [this] { return !m_running.load(); })) return;
    next += interval;
    wait.unlock();
    Send(Sample());
    wait.lock();
  }
}

void CFileDownSpeed::ClearSample(bool automatic) {
  m_watch.total.store(nullptr);
  m_watch.connectMs.store(0);
  m_watch.contentLength.store(0);
  m_loadMs.store(0);
  std::lock_guard<std::mutex> guard(m_lock);
  m_previous = 0;
  m_samples.clear();
  m_recordName.clear();
  m_packageName.clear();
  m_result.automatic = automatic;
  m_result.totalSize = 0;
  m_result.counter = 0;
  m_result.connectMs = 0;
  m_result.loadMs = 0;
}

bool CFileDownSpeed::FetchItem(bool showProgress) {
  std::string url;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    url = m_result.url;
  }
  std::thread sampler;
  if (showProgress) {
    m_running.store(true);
    sampler = std::thread(&CFileDownSpeed::Sampler, this);
  }
  CHttpGet get;
  int64_t connectMs = 0, loadMs = 0, length = 0;
  const bool ok =
      get.Fetch(url, g_fetchTimeoutSeconds.load(), &connectMs, &loadMs, &length, &m_watch);
  m_watch.connectMs.store(connectMs);
  m_watch.contentLength.store(length);
  m_loadMs.store(loadMs);
  if (showProgress) {
    {
      std::lock_guard<std::mutex> guard(m_sampleWaitLock);
      m_running.store(false);
    }
    m_sampleWake.notify_all();
    sampler.join();
  }
  const std::atomic<int64_t>* counter = m_watch.total.load();
  std::lock_guard<std::mutex> guard(m_lock);
  m_result.totalSize = length;
  m_result.counter = counter ? counter->load() : 0;
  m_result.connectMs = connectMs;
  m_result.loadMs = loadMs;
  return ok && length > filedown::kMinTotalSize;
}

// --- manual run -------------------------------------------------------------------------------

bool CFileDownSpeed::RunTest(const settings::ModuleItem& item) {
  // The running test keeps its item.
  if (m_busy.load()) return false;
  CDataBase::Instance().autoCycleActive.store(0);
  mode.store(0);
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_result.itemId = item.id;
    m_result.name = item.name;
    m_result.url = item.address;
    m_result.checktype = 0;
  }
  return StartManual();
}

bool CFileDownSpeed::StartManual() {
  // The warning goes out without the worker lock held: a listener may start again at once.
  if (!NetworkAliveFor(LastResult().url)) {
    Warn(speedcode::kNetworkFailure, filedown::kNoNetworkMessage);
    return false;
  }
  std::lock_guard<std::mutex> guard(m_workerLock);
  if (m_busy.load()) return false;
  if (m_worker.joinable()) m_worker.join();
  ClearSample(false);
  m_busy.store(true);
  m_worker = std::thread([this] {
    RunManual();
    m_busy.store(false);
  });
  return true;
}

void CFileDownSpeed::RunManual() {
  CDataBase::Instance().testBusy.store(1);
  const bool ok = FetchItem(true);
  if (ok) {
    // The final sample, with the load time and speed, is never left to the sampler's timing.
    Send(Sample());
    Send(DownloadEvent{{}, {}, {}, 0, {}, {}, {}, speedcode::kFinished});
    WriteAndUpload();
  } else {
    Warn(speedcode::kFileRefused, filedown::kRefusedMessage);
  }
  ClearBusy();
}

// --- automatic run ----------------------------------------------------------------------------

int CFileDownSpeed::StartAuto(int first, int second, int checktype) {
  (void)first;
  logs::Write(logs::kMain, "自动下载测速开始");
  mode.store(1);

  // Candidates: the selected items of the settings and of the task file together.
  std::vector<settings::ModuleItem> candidates;
  for (const std::string& file : {settings::UserSettingsFile(), settings::UserTasksFile()}) {
    for (const auto& item : settings::ReadModuleItems(file, speedmodule::kFileDownload))
      if (item.selected) candidates.push_back(item);
  }
  bool allLoopback = !candidates.empty();
  for (const auto& item : candidates) allLoopback = allLoopback && IsLoopbackUrl(item.address);
  if (!NetworkAliveFor(allLoopback ? candidates.front().address : std::string())) return 0;

  CDataBase& shared = CDataBase::Instance();
  shared.testBusy.store(1);
  if (!settings::IsModuleSelected(speedmodule::kFileDownload) || candidates.empty()) {
    logs::Write(logs::kMain, "%s", kAutoFailed);
    ClearBusy();
    return 0;
  }
  const int n = RandomNumber(std::time(nullptr));
  const settings::ModuleItem& item = candidates[n % candidates.size()];
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_result.checktype = checktype;
    m_result.itemId = item.id;
    m_result.name = item.name;
    m_result.url = item.address;
  }
  ClearSample(true);
  m_running.store(false);

  if (!FetchItem(false)) {
    logs::Write(logs::kMain, "自动下载测速失败文件总大小于1M");
    ClearBusy();
    return 1;
  }
  if (second != 0 && shared.testRunEnabled.load() != 0) {
    shared.autoCompletedCount.fetch_add(1);
    WriteAndUpload();
  }
  const filedown::FileResult result = LastResult();
  logs::Write(logs::kMain, result.counter < result.totalSize - 1 ? "自动下载测速结束 未下载完成"
                                                                 : "自动下载测速结束 下载完成");
  ClearBusy();
  return 2;
}

// --- record -----------------------------------------------------------------------------------

std::string CFileDownSpeed::WriteRecord() {
  return filedown::WriteFileRecord(LastResult(), InvalidReason.load());
}

void CFileDownSpeed::WriteAndUpload() {
  const std::string name = WriteRecord();
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_recordName = name;
    m_packageName.clear();
  }
  // Accounts under audit get no record file: there is nothing to pack then.
  if (platform::IsFile(paths::Native(paths::Join(platform::ProgramFolder(), "Data\\" + name)))) {
    const std::string package = PackageRecord(packaging::kFileDown, "Data\\" + name, "Data");
    // Without a working zip the record stays as it is and there is no package.
    if (platform::IsFile(
            paths::Native(paths::Join(platform::ProgramFolder(), "Data\\" + package)))) {
      std::lock_guard<std::mutex> guard(m_lock);
      m_packageName = package;
    }
  } else {
    std::lock_guard<std::mutex> guard(m_lock);
    m_recordName.clear();
  }
  UploadRequest request;
  UploadFolder(request, "Data");
}
