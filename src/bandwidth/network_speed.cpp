#include "bandwidth/network_speed.h"

#include <cstdio>
#include <ctime>
#include <random>

#include "auto/network_status_binding.h"
#include "auto/packaging.h"
#include "auto/settings_files.h"
#include "bandwidth/host_network.h"
#include "core/c_format.h"
#include "core/data_base.h"
#include "core/http_download_get.h"
#include "core/http_transport.h"
#include "core/log_file.h"
#include "core/properties_file.h"
#include "platform/paths.h"
#include "platform/program_folder.h"

namespace {

std::mutex g_timingLock;
BandTimings g_timings;

// The run-time generator's range: 0 to 32767, seeded with the time.
int RandomNumber(std::time_t seed) {
  std::minstd_rand generator(static_cast<std::minstd_rand::result_type>(seed));
  return static_cast<int>(generator() % 32768);
}

std::string Format(const char* format, double value) { return cformat::Format(format, value); }

bool IsLoopback(const std::string& address) { return address.rfind("127.", 0) == 0; }

constexpr const char* kBusyMessage = "服务器忙，请稍后再试！";

}  // namespace

BandTimings CNetWorkSpeed::Timings() {
  std::lock_guard<std::mutex> guard(g_timingLock);
  return g_timings;
}

void CNetWorkSpeed::SetTimings(const BandTimings& timings) {
  std::lock_guard<std::mutex> guard(g_timingLock);
  g_timings = timings;
}

CNetWorkSpeed::CNetWorkSpeed() { Reload(); }

CNetWorkSpeed::~CNetWorkSpeed() { WaitUntilIdle(); }

void CNetWorkSpeed::Reload() {
  // The tests read the catalogue without a lock: wait until none runs, and let none start
  // until the new one is in place.
  {
    std::unique_lock<std::mutex> lock(m_testLock);
    m_testEnded.wait(lock, [this] { return !m_testActive && !m_reloading; });
    m_reloading = true;
  }
  m_catalogue = LoadServerCatalogue();
  m_operators = LoadOperatorNames();
  m_bandMap = settings::ReadBandMap();
  const UserLocation where = LocateUser(CDataBase::Instance().GetUserInfo());
  const ServerSelection selection = SelectServers(m_catalogue, where, m_operators);
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_automatic = {};
    m_province = where.province;
    m_operator = where.operatorName;
    if (selection.province >= 0 && !selection.candidates.empty()) {
      m_automatic.province = m_catalogue[selection.province].name;
      m_automatic.server = selection.candidates.front();
      m_currentServer = m_automatic.server;
    }
  }
  {
    std::lock_guard<std::mutex> lock(m_testLock);
    m_reloading = false;
  }
  m_testEnded.notify_all();
}

bool CNetWorkSpeed::BeginTest() {
  std::unique_lock<std::mutex> lock(m_testLock);
  // A reload is short: wait for it rather than refuse.
  m_testEnded.wait(lock, [this] { return !m_reloading; });
  if (m_testActive) return false;
  m_testActive = true;
  return true;
}

void CNetWorkSpeed::EndTest() {
  {
    std::lock_guard<std::mutex> lock(m_testLock);
    m_testActive = false;
  }
  m_testEnded.notify_all();
}

std::string CNetWorkSpeed::ProposedOperator() const {
  const UserLocation where = LocateUser(CDataBase::Instance().GetUserInfo());
  const int index = FindProvinceIndex(m_catalogue, where.province);
  return OperatorKeyword(where.operatorName, index < 0 ? "" : m_catalogue[index].nas, m_operators);
}

AutomaticChoice CNetWorkSpeed::Automatic() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_automatic;
}

std::string CNetWorkSpeed::CurrentServer() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_currentServer;
}

void CNetWorkSpeed::SetCurrentServer(const std::string& name) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_currentServer = name;
}

void CNetWorkSpeed::SetProvince(const std::string& name) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_province = name;
}

void CNetWorkSpeed::SetOperator(const std::string& name) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_operator = name;
}

std::string CNetWorkSpeed::Province() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_province;
}

std::string CNetWorkSpeed::Operator() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_operator;
}

band::BandResult CNetWorkSpeed::LastResult() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_result;
}

std::string CNetWorkSpeed::LastRecordName() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_recordName;
}

std::string CNetWorkSpeed::LastPackageName() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_packageName;
}

std::string CNetWorkSpeed::StoredKey() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_key;
}

void CNetWorkSpeed::WaitUntilIdle() {
  std::lock_guard<std::mutex> guard(m_workerLock);
  if (m_worker.joinable()) m_worker.join();
}

// --- events -----------------------------------------------------------------------------------

UpdateEvent CNetWorkSpeed::MakeEvent(int code) const {
  UpdateEvent event;
  std::lock_guard<std::mutex> guard(m_lock);
  event.upAverage = m_upAverage;
  event.upRate = m_upRate;
  event.downAverage = m_downAverage;
  event.downRate = m_downRate;
  event.code = code;
  return event;
}

int CNetWorkSpeed::Report(int code, const std::string& message) {
  UpdateEvent event = MakeEvent(code);
  event.message = message;
  IUpdateUI* listener = Listener();
  return listener ? listener->Ask(event) : -1;
}

void CNetWorkSpeed::Notify(int code, double value) {
  UpdateEvent event = MakeEvent(code);
  event.value = value;
  if (IUpdateUI* listener = Listener()) listener->Notify(event);
}

void CNetWorkSpeed::ClearBusy() { CDataBase::Instance().testBusy.store(0); }

// --- pieces of a test -------------------------------------------------------------------------

CNetWorkSpeed::Server CNetWorkSpeed::ResolveServer(bool randomCandidate) {
  if (randomCandidate) {
    const UserLocation where = LocateUser(CDataBase::Instance().GetUserInfo());
    const ServerSelection selection = SelectServers(m_catalogue, where, m_operators);
    if (!selection.candidates.empty()) {
      const int n = RandomNumber(std::time(nullptr));
      SetCurrentServer(selection.candidates[n % selection.candidates.size()]);
    }
  }
  return Lookup(CurrentServer());
}

CNetWorkSpeed::Server CNetWorkSpeed::Lookup(const std::string& name) const {
  Server server;
  server.name = name;
  if (const TestServer* entry = FindServer(m_catalogue, name)) {
    server.address = entry->address;
    server.monitorId = entry->monitorId;
  }
  return server;
}

bool CNetWorkSpeed::ServerChoiceAccepted() {
  const UserLocation where = LocateUser(CDataBase::Instance().GetUserInfo());
  switch (CheckServerChoice(CurrentServer(), Automatic(), where)) {
    case ChoiceCheck::kContinue:
      return true;
    case ChoiceCheck::kNoServer:
      Report(speedcode::kNoServerMatched, catalogue::kNoServerMessage);
      return false;
    case ChoiceCheck::kMismatch:
      return Report(speedcode::kServerMismatchQuestion, catalogue::kMismatchQuestion) == 1;
  }
  return false;
}

std::string CNetWorkSpeed::SlotRequest(const Server& server, const std::string& key, bool flag,
                                       int* code) {
  // Without a key of our own the server gets a random number to tell us apart.
  const std::string sent = key.empty() ? std::to_string(RandomNumber(std::time(nullptr))) : key;
  char url[512];
  std::snprintf(url, sizeof url, "http://%s:%d/speed/dovalid?key=%s&flag=%s",
                server.address.c_str(), kTestPort, sent.c_str(), flag ? "true" : "false");
  std::string reply;
  *code = HttpGetText(url, reply);
  return *code == 0 ? reply : std::string();
}

void CNetWorkSpeed::ReleaseSlot(const Server& server, const std::string& key) {
  char url[512];
  std::snprintf(url, sizeof url, "http://%s:%d/speed/dovalid?", server.address.c_str(), kTestPort);
  std::string reply;
  std::lock_guard<std::mutex> guard(m_sessionLock);
  HttpPostForm(m_session, url, "key=" + key, reply);
}

std::string CNetWorkSpeed::MeasurePing(const std::string& address) {
  const netstatus::PingResult ping = netstatus::Ping(address, 4);
  const bool anyReply = ping.success != 0 && ping.received > 0;
  return band::PingText(anyReply, ping.average);
}

void CNetWorkSpeed::Sampler(Phase phase) {
  const BandTimings timings = Timings();
  auto& running = phase == Phase::kDown ? m_downloading : m_uploading;
  auto& totalSlot = phase == Phase::kDown ? m_downTotal : m_upTotal;
  auto readTotal = [&totalSlot]() -> int64_t {
    const std::atomic<int64_t>* total = totalSlot.load();
    return total ? total->load(std::memory_order_relaxed) : 0;
  };
  band::Samples samples;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    (phase == Phase::kDown ? m_result.down : m_result.up).clear();
  }
  // Deadlines rather than plain sleeps keep the cadence while five transfer threads run.
  auto next = std::chrono::steady_clock::now() + timings.samplerStart;
  std::this_thread::sleep_until(next);
  while (running.load()) {
    const int64_t noted = readTotal();
    next += timings.sampleInterval;
    std::this_thread::sleep_until(next);
    const int64_t moved = readTotal() - noted;
    if (!quiet.load()) Notify(speedcode::kLiveRate, band::LiveRate(moved));
    samples.push_back(moved);
    {
      std::lock_guard<std::mutex> guard(m_lock);
      (phase == Phase::kDown ? m_result.down : m_result.up) = samples;
    }
    if (samples.size() == band::kSamplesPerPhase) {
      const std::string jitter = band::JitterText(band::Jitter(samples));
      {
        std::lock_guard<std::mutex> guard(m_lock);
        (phase == Phase::kDown ? m_result.downJitter : m_result.upJitter) = jitter;
      }
      if (!quiet.load()) Notify(speedcode::kLiveRate, 0);
      break;
    }
  }
}

bool CNetWorkSpeed::RunPhase(Phase phase, const Server& server, const std::string& r,
                             const std::string& key, const std::string& file, const char* log) {
  const bool down = phase == Phase::kDown;
  auto& running = down ? m_downloading : m_uploading;
  auto& totalSlot = down ? m_downTotal : m_upTotal;
  char url[1024];
  if (down) {
    std::snprintf(url, sizeof url, "http://%s:%d/speed/%s?r=%s&key=%s", server.address.c_str(),
                  kTestPort, file.c_str(), r.c_str(), key.c_str());
  } else {
    std::snprintf(url, sizeof url, "http://%s:%d/speed/doload.do?r=%s&key=%s",
                  server.address.c_str(), kTestPort, r.c_str(), key.c_str());
  }
  // The transfer resets its process-wide total when it starts, well before the sampler's
  // first reading.
  totalSlot.store(down ? &CHttpDownloadGet::DownloadTotal() : &CHttpDownloadGet::UploadTotal());
  running.store(true);
  std::thread sampler(&CNetWorkSpeed::Sampler, this, phase);
  if (log) logs::Write(log, down ? "DownLoad Begin" : "Upload Begin");
  CHttpDownloadGet transfer;
  const bool ok =
      down ? transfer.Download(url, kConnections) : transfer.Upload(url, file, kConnections);
  if (log) logs::Write(log, down ? "DownLoad end" : "Upload end");
  running.store(false);
  sampler.join();
  totalSlot.store(nullptr);
  return ok;
}

// --- manual test ------------------------------------------------------------------------------

bool CNetWorkSpeed::StartManual() {
  std::lock_guard<std::mutex> guard(m_workerLock);
  if (m_running.load()) return false;
  if (m_worker.joinable()) m_worker.join();
  m_running.store(true);
  m_worker = std::thread([this] {
    if (BeginTest()) {
      RunManual();
      EndTest();
    } else if (IUpdateUI* listener = Listener()) {
      // An automatic run holds the engine: its key, result and samplers are not to be shared.
      // The event carries none of that run's texts.
      UpdateEvent busy;
      busy.code = speedcode::kServerBusy;
      busy.message = kBusyMessage;
      listener->Ask(busy);
    }
    m_running.store(false);
  });
  return true;
}

void CNetWorkSpeed::RunManual() {
  Server server = ResolveServer(false);
  // Loopback test servers are reachable whatever the machine's interfaces say.
  if (!band::NetworkAlive() && !IsLoopback(server.address)) {
    Report(speedcode::kNetworkFailure, "网络异常，请检查网络后重试！");
    return;
  }
  if (!ServerChoiceAccepted()) return;

  CDataBase::Instance().testBusy.store(1);
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_result = {};
    m_result.automatic = mode.load() != 0;
    m_downAverage.clear();
    m_downRate.clear();
    m_upAverage.clear();
    m_upRate.clear();
  }
  server = ResolveServer(false);

  int code = 0;
  const band::SlotReply reply = band::ParseSlotReply(SlotRequest(server, "", true, &code));
  if (reply.status == '0') {
    ClearBusy();
    Report(speedcode::kServerBusy, kBusyMessage);
    return;
  }
  if (reply.key.empty()) {
    ClearBusy();
    Report(speedcode::kSlotRequestFailed, "执行请求验证失败，测速服务器异常！");
    return;
  }
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_result.serverName = server.name;
    m_result.monitorId = server.monitorId;
  }

  const std::string ping = MeasurePing(server.address);
  const std::time_t now = std::time(nullptr);
  const std::string r = band::MakeR(now, RandomNumber(now));
  const std::string downFile = conf::Read(conf::kConfig, "url_down_file");
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_result.pingTime = ping;
  }

  bool ok = RunPhase(Phase::kDown, server, r, reply.key, downFile, nullptr);
  const float downAverage = band::AverageRate(LastResult().down);
  if (!ok || !(downAverage > 0)) {
    // The slot is given back even when a phase failed, so the server need not wait for it.
    ReleaseSlot(server, reply.key);
    ClearBusy();
    Report(speedcode::kDownloadFailed, "下载测速失败！");
    return;
  }
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_downAverage = Format("%.2f", downAverage);
    m_downRate = Format("%.1fM", static_cast<double>(downAverage * 8));
  }
  Notify(speedcode::kDownloadResult, 0);

  std::this_thread::sleep_for(Timings().phasePause);

  const std::string upFile = conf::Read(conf::kConfig, "upload_local_file_path");
  ok = RunPhase(Phase::kUp, server, r, reply.key, upFile, logs::kManual);
  const float upAverage = band::AverageRate(LastResult().up);
  if (!ok || !(upAverage > 0)) {
    ReleaseSlot(server, reply.key);
    ClearBusy();
    Report(speedcode::kUploadFailed, "上传测速失败！");
    return;
  }
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_upAverage = Format("%.2f", upAverage);
    m_upRate = Format("%.1fM", static_cast<double>(upAverage * 8));
  }
  Notify(speedcode::kUploadResult, 0);

  ReleaseSlot(server, reply.key);
  ClearBusy();
  Notify(speedcode::kFinished, 0);
  WriteAndUpload();
}

// --- automatic test ---------------------------------------------------------------------------

int CNetWorkSpeed::StartAuto(int first, int second, int checktype) {
  (void)checktype;
  // Another test holds the engine: the scheduler comes back later.
  if (!BeginTest()) return 1;
  const int result = RunAuto(first, second);
  EndTest();
  return result;
}

int CNetWorkSpeed::RunAuto(int first, int second) {
  logs::Write(logs::kMain, "自动带宽测速开始");
  mode.store(1);
  CDataBase& shared = CDataBase::Instance();
  shared.testBusy.store(1);

  // A retry of a queued request goes back to the server holding it in its queue; a new draw
  // would hand the key to a server that never issued it.
  std::string key;
  Server server;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (first != 0 && m_keyQueued) {
      key = m_key;
      server = m_keyServer;
    }
  }
  if (server.name.empty()) server = ResolveServer(true);
  if (!band::NetworkAlive() && !IsLoopback(server.address)) {
    ClearBusy();
    return 0;
  }
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_result = {};
    m_result.automatic = true;
    m_result.serverName = server.name;
    m_result.monitorId = server.monitorId;
    m_downAverage.clear();
    m_downRate.clear();
    m_upAverage.clear();
    m_upRate.clear();
  }
  int code = 0;
  const std::string text = SlotRequest(server, key, second == 0, &code);
  if (code != 0) {
    ClearBusy();
    return 0;
  }
  const band::SlotReply reply = band::ParseSlotReply(text);
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_keyQueued = reply.status == '2';
    if (reply.status == '1' || reply.status == '2') {
      m_key = reply.key;
      m_keyServer = server;
    }
  }
  if (reply.status == '0') {
    logs::Write(logs::kMain, "等待队列已满，放弃此次请求");
    ClearBusy();
    return 0;
  }
  if (reply.status == '2') {
    ClearBusy();
    logs::Write(logs::kMain, "等待队列中");
    return 1;
  }
  if (reply.status != '1') {
    logs::Write(logs::kMain, "自动带宽测速结束（测速失败）");
    ClearBusy();
    return 0;
  }

  const std::string ping = MeasurePing(server.address);
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_result.pingTime = ping;
  }
  const std::time_t now = std::time(nullptr);
  const std::string r = band::MakeR(now, RandomNumber(now));
  auto fail = [&] {
    ReleaseSlot(server, reply.key);
    ClearBusy();
    return 0;
  };
  const std::string downFile = conf::Read(conf::kConfig, "url_down_file");
  if (downFile.empty() || downFile == "null") return fail();
  // A phase that moved nothing (a server that answers the transfers with errors) is a
  // failure, as in a manual test: no record, no history row.
  if (!RunPhase(Phase::kDown, server, r, reply.key, downFile, logs::kMain) ||
      !(band::AverageRate(LastResult().down) > 0)) {
    return fail();
  }
  const std::string upFile = conf::Read(conf::kConfig, "upload_local_file_path");
  if (upFile == "null") return fail();
  if (!RunPhase(Phase::kUp, server, r, reply.key, upFile, logs::kMain) ||
      !(band::AverageRate(LastResult().up) > 0)) {
    return fail();
  }
  ReleaseSlot(server, reply.key);
  if (second != 0 && shared.testRunEnabled.load() != 0) {
    shared.autoCompletedCount.fetch_add(1);
    WriteAndUpload();
  }
  logs::Write(logs::kMain, "自动带宽测速结束");
  ClearBusy();
  return 2;
}

void CNetWorkSpeed::AbandonTest() {
  Server server;
  std::string key;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    server = m_keyServer;
    key = m_key;
    m_keyQueued = false;
  }
  // The key goes back to the server that issued it.
  if (server.name.empty()) server = ResolveServer(false);
  ReleaseSlot(server, key);
}

// --- record -----------------------------------------------------------------------------------

std::string CNetWorkSpeed::WriteRecord() { return band::WriteBandRecord(LastResult()); }

void CNetWorkSpeed::WriteAndUpload() {
  const band::BandResult result = LastResult();
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_recordName.clear();
    m_packageName.clear();
  }
  if (!band::ResultComplete(result)) return;
  const std::string name = band::WriteBandRecord(result);
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_recordName = name;
  }
  if (name.empty()) return;
  // Accounts under audit get no record file: there is nothing to pack then.
  if (platform::IsFile(paths::Native(paths::Join(platform::ProgramFolder(), "Data\\" + name)))) {
    const std::string package = PackageRecord(packaging::kBand, "Data\\" + name, "Data");
    // Without a working zip the record stays as it is and there is no package.
    if (platform::IsFile(
            paths::Native(paths::Join(platform::ProgramFolder(), "Data\\" + package)))) {
      std::lock_guard<std::mutex> guard(m_lock);
      m_packageName = package;
    }
  }
  UploadRequest request;
  UploadFolder(request, "Data");
}
