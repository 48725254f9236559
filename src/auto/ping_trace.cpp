#include "auto/ping_trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <thread>

#include "auto/packaging.h"
#include "auto/settings_files.h"
#include "core/data_base.h"
#include "core/log_file.h"
#include "core/properties_file.h"
#include "markup/markup_document.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/program_folder.h"
#include "update_client/download_binding.h"

namespace pingtrace {

namespace {

std::mutex g_lock;
std::condition_variable g_wake;
bool g_stop = false;
CollectionTimings g_timings;
std::thread g_thread;

// Sleeps unless the collection is stopped; false when it is.
bool Pause(std::chrono::milliseconds duration) {
  std::unique_lock lock(g_lock);
  return !g_wake.wait_for(lock, duration, [] { return g_stop; });
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  return text;
}

bool Contains(const std::vector<std::string>& list, const std::string& word) {
  return std::find(list.begin(), list.end(), word) != list.end();
}

// "all" as the first entry keeps everything; otherwise the word must be listed.
bool Admits(const std::vector<std::string>& list, const std::string& word) {
  return (!list.empty() && list.front() == "all") || Contains(list, word);
}

int Number(const std::string& text) { return std::atoi(text.c_str()); }

int Clamp(int value, int low, int high) { return std::min(std::max(value, low), high); }

TraceDestination ReadDestip(const MarkupDocument& doc) {
  return {doc.ChildAttribute("operator"), doc.ChildAttribute("ip"),
          Number(doc.ChildAttribute("iid"))};
}

// The `destip` children of the child position, whose operator the list admits.
void AddDestips(MarkupDocument& doc, const std::vector<std::string>& operators,
                std::vector<TraceDestination>* out) {
  if (!doc.EnterChild()) return;
  while (doc.FindChild("destip")) {
    TraceDestination d = ReadDestip(doc);
    if (Admits(operators, d.oper)) out->push_back(std::move(d));
  }
  doc.LeaveToParent();
}

}  // namespace

Location SplitLocation(const std::string& location, const std::vector<std::string>& markers) {
  Location where;
  std::string rest;
  size_t at;
  if ((at = location.find("省")) != std::string::npos) {
    where.province = location.substr(0, at);
    rest = location.substr(at + std::string("省").size());
  } else if ((at = location.find("自治区")) != std::string::npos) {
    where.province = location.substr(0, at);
    rest = location.substr(at + std::string("自治区").size());
  } else if ((at = location.find("市")) != std::string::npos) {
    where.province = where.city = location.substr(0, at);
    return where;
  } else {
    return where;
  }
  for (const std::string& marker : markers) {
    if (marker.empty()) continue;
    size_t m = rest.find(marker);
    if (m != std::string::npos) {
      where.city = rest.substr(0, m);
      break;
    }
  }
  return where;
}

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> list;
  if (text.empty()) return list;
  size_t start = 0;
  while (true) {
    size_t dash = text.find('-', start);
    list.push_back(text.substr(start, dash - start));
    if (dash == std::string::npos) break;
    start = dash + 1;
  }
  return list;
}

TracePingParams ReadTracePingParams(const std::string& file, const std::string& province,
                                    const std::string& city, const std::string& oper) {
  TracePingParams params;
  MarkupDocument doc;
  if (!doc.LoadFile(file)) return params;
  while (doc.FindChild("province-array")) {
    const std::string provinceName = doc.ChildAttribute("name");
    if (provinceName != province && provinceName != "all") continue;
    if (!doc.EnterChild()) continue;
    while (doc.FindChild("city-array")) {
      const std::string cityName = doc.ChildAttribute("name");
      if (cityName != city && cityName != "all") continue;
      std::vector<std::string> operators = SplitList(doc.ChildAttribute("operid"));
      if (!Contains(operators, oper)) continue;
      // A later match replaces an earlier one wholly.
      TracePingParams p;
      p.province = province;
      p.city = city;
      p.operators = std::move(operators);
      p.destFile = doc.ChildAttribute("destfile");
      p.interval = Number(doc.ChildAttribute("interval"));
      p.trace = doc.ChildAttribute("tracecmd") == "true";
      p.ping = doc.ChildAttribute("pingcmd") == "true";
      if (doc.EnterChild()) {
        if (doc.FindChild("random")) {
          p.randomCount = Number(doc.ChildAttribute("rand"));
          p.randomGrouping = doc.ChildAttribute("randname");
          p.randomOperators = SplitList(doc.ChildAttribute("opersel"));
          p.randomPingCount =
              Clamp(Number(doc.ChildAttribute("pingpacket")), kMinPingPacket, kMaxPingPacket);
          p.randomHops = Clamp(Number(doc.ChildAttribute("tracettl")), kMinTraceTtl, kMaxTraceTtl);
        }
        doc.ResetChildPos();
        if (doc.FindChild("must")) {
          p.mustProvinces = SplitList(doc.ChildAttribute("provsel"));
          if (!p.mustProvinces.empty() && p.mustProvinces.front() == "self")
            p.mustProvinces.front() = province;
          p.mustOperators = SplitList(doc.ChildAttribute("opersel"));
          p.mustPingCount =
              Clamp(Number(doc.ChildAttribute("pingpacket")), kMinPingPacket, kMaxPingPacket);
          p.mustHops = Clamp(Number(doc.ChildAttribute("tracettl")), kMinTraceTtl, kMaxTraceTtl);
          p.webIds = SplitList(doc.ChildAttribute("webid"));
        }
        doc.LeaveToParent();
      }
      params = std::move(p);
    }
    doc.LeaveToParent();
  }
  return params;
}

Picker DefaultPicker() {
  auto engine = std::make_shared<std::minstd_rand>(static_cast<unsigned>(std::time(nullptr)));
  return {[engine] { return static_cast<unsigned>((*engine)()); },
          [] { return Pause(GetCollectionTimings().pickPause); }};
}

Destinations SelectDestinations(const std::string& destFile, const TracePingParams& params,
                                const Picker& picker) {
  Destinations out;
  MarkupDocument doc;
  if (!doc.LoadFile(destFile)) return out;

  // Random groups: one per city, or one per province with the destinations of all its cities.
  std::vector<std::vector<TraceDestination>> groups;
  const bool byCity = params.randomGrouping == "city";
  const std::vector<std::string> all = {"all"};
  doc.Rewind();
  if (doc.FindChild("rand_sel_items") && doc.EnterChild()) {
    while (doc.FindChild("prov-array")) {
      if (!doc.EnterChild()) continue;
      if (!byCity) groups.emplace_back();
      while (doc.FindChild("city-array")) {
        if (byCity) groups.emplace_back();
        AddDestips(doc, all, &groups.back());
      }
      doc.LeaveToParent();
    }
  }
  if (!groups.empty() && !params.randomOperators.empty() && params.randomCount > 0) {
    const size_t count = groups.size();
    const size_t n = std::min(static_cast<size_t>(params.randomCount), count);
    std::vector<size_t> picks;
    if (n == count) {
      for (size_t i = count; i-- > 0;) picks.push_back(i);
    } else {
      for (size_t k = 0; k < n; ++k) {
        if (picker.pause && !picker.pause()) break;
        picks.push_back(picker.next() % count);
      }
    }
    for (size_t g : picks)
      for (const TraceDestination& d : groups[g])
        if (Admits(params.randomOperators, d.oper)) out.random.push_back(d);
  }

  doc.Rewind();
  if (doc.FindChild("must_sel_items") && doc.EnterChild()) {
    while (doc.FindChild("prov-array"))
      if (Contains(params.mustProvinces, doc.ChildAttribute("prov")))
        AddDestips(doc, params.mustOperators, &out.must);
    doc.ResetChildPos();
    while (doc.FindChild("web-array")) {
      if (!doc.EnterChild()) continue;
      while (doc.FindChild("destip")) {
        if (!Admits(params.webIds, doc.ChildAttribute("id"))) continue;
        out.web.push_back({doc.ChildAttribute("name"), doc.ChildAttribute("website"),
                           Number(doc.ChildAttribute("id"))});
      }
      doc.LeaveToParent();
    }
  }
  return out;
}

std::string DateTimeText(const std::tm& t) {
  return Format("%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                t.tm_hour, t.tm_min, t.tm_sec);
}

std::string TraceRecordText(const netstatus::TraceResult& r, const std::string& dateTime,
                            int metype, const std::string& userId) {
  std::string text = Format(
      "+++BEGIN\r\nscamper -c trace -P TCP -M -l 5 -i %s\r\ndatetime : %s\r\ndescription:\r\n"
      "iMissionId=%d\r\niMiaaionTypeId=%d\r\niNeId=%d\r\niMonitorId=%s\r\niMissionType=%d\r\n"
      "metype=%d\r\ncontent:\r\ntraceroute from %s to %s\r\n",
      r.destination.c_str(), dateTime.c_str(), 1699, 1, r.id, userId.c_str(), 9, metype,
      r.source.c_str(), r.destination.c_str());
  for (const std::string& line : r.lines) text += line + "\r\n";
  text += Format("\r\n[root@collect%s ~]#\r\n---END\r\n", userId.c_str());
  return text;
}

std::string PingRecordText(const netstatus::PingResult& r, const std::string& dateTime, int metype,
                           const std::string& userId) {
  std::string text = Format(
      "+++BEGIN\r\n[scamper, -c, ping -c %d, -i, %s\r\ndatetime : %s\r\ndescription:\r\n"
      "iMissionId=%d\r\niMiaaionTypeId=%d\r\niNeId=%d\r\niMonitorId=%s\r\niMissionType=%d\r\n"
      "metype=%d\r\ncontent:\r\nping %s to %s:%d byte packets\r\n",
      10, r.destination.c_str(), dateTime.c_str(), 1843, 2, r.id, userId.c_str(), 9, metype,
      r.destination.c_str(), r.source.c_str(), r.packetSize);
  for (const std::string& line : r.lines) text += line + "\r\n";
  text += Format(
      "--- %s ping statistics ---\r\n%d packets transmitted,%d packets received, %s packet loss\r\n"
      "round-trip min/avg/max/stddev = %.3f/%.3f/%.3f/%.3f ms\r\n\r\n[root@collect%s "
      "~]#\r\n---END\r\n",
      r.destination.c_str(), r.transmitted, r.received, r.loss.c_str(), double(r.minimum),
      double(r.average), double(r.maximum), double(r.stddev), userId.c_str());
  return text;
}

std::string RecordFileName(bool trace, const std::tm& t) {
  return Format("%s\\Pccollect_%s_%04d%02d%02d%02d.dat", kRecordFolder, trace ? "trace" : "ping",
                t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour);
}

bool WriteRecordFile(const std::string& path, const std::string& text) {
  const std::string native = paths::Native(path);
  const size_t slash = native.rfind('/');
  if (slash != std::string::npos) platform::CreateNestedFolder(native.substr(0, slash));
  int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const std::string bytes = codepage::Utf8ToGbk(text);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool closed = ::close(fd) == 0;
  return closed && done == bytes.size();
}

CollectionTimings GetCollectionTimings() {
  std::lock_guard lock(g_lock);
  return g_timings;
}

void SetCollectionTimings(const CollectionTimings& timings) {
  std::lock_guard lock(g_lock);
  g_timings = timings;
}

bool CollectionStopping() {
  std::lock_guard lock(g_lock);
  return g_stop;
}

bool IsPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos && name.find('\0') == std::string::npos;
}

namespace {

// Waits while a speed test runs, saying so in the list's log; false when stopped.
bool WaitWhileTesting(const char* log) {
  while (CDataBase::Instance().testBusy.load()) {
    logs::WriteText(log, "正在自动测速，等待30秒");
    if (!Pause(GetCollectionTimings().busyWait)) return false;
  }
  return !CollectionStopping();
}

std::string LocalNowText(std::tm* local) {
  std::time_t now = std::time(nullptr);
  localtime_r(&now, local);
  return DateTimeText(*local);
}

// Writes the record into its hourly file and packs it; a record not written whole is not
// packed, since zip would take an older file of the hour.
bool Keep(bool trace, const std::string& text, const std::tm& local) {
  const std::string path = RecordFileName(trace, local);
  if (!WriteRecordFile(path, text)) return false;
  return !PackageRecord(trace ? packaging::kTrace : packaging::kPing, path, kRecordFolder).empty();
}

void ProbeList(const std::vector<TraceDestination>& list, const TracePingParams& params,
               int pingCount, int hops, int metype, const char* log, const std::string& userId,
               PassOutcome* outcome) {
  static UploadRequest upload;
  const CollectionTimings timings = GetCollectionTimings();
  for (const TraceDestination& d : list) {
    if (CollectionStopping()) return;
    logs::WriteText(log, d.address);
    if (params.trace) {
      if (!WaitWhileTesting(log)) return;
      netstatus::TraceResult r = netstatus::Tracert(d.address, hops);
      if (r.success) {
        r.id = d.id;
        std::tm local{};
        const std::string when = LocalNowText(&local);
        if (Keep(true, TraceRecordText(r, when, metype, userId), local)) ++outcome->traces;
        logs::WriteText(log, d.address + "  >>>>>>>>>>>trace success");
      }
    }
    if (!Pause(timings.probeGap)) return;
    if (params.ping) {
      if (!WaitWhileTesting(log)) return;
      netstatus::PingResult r =
          netstatus::Ping(d.address, std::max(pingCount, netstatus::kMinPingCount));
      if (r.success) {
        r.id = d.id;
        std::tm local{};
        const std::string when = LocalNowText(&local);
        if (Keep(false, PingRecordText(r, when, metype, userId), local)) ++outcome->pings;
        logs::WriteText(log, d.address + "  >>>>>>>>>>>ping success\n\n");
      }
    }
    if (!Pause(timings.probeGap)) return;
    UploadFolder(upload, kRecordFolder);
  }
}

void LogList(const std::vector<TraceDestination>& list) {
  LogFile log;
  log.Open(logs::kTracePingDestIp);
  log.WriteText("目的点ip列表：");
  for (const TraceDestination& d : list) log.Write("%d\t%s", d.id, d.address.c_str());
}

// Removes the old copy and fetches the file; false when it did not arrive whole.
bool Fetch(const std::string& base, const std::string& name, const std::string& local) {
  std::remove(paths::Native(local).c_str());
  return CallHttpDownLoad(local, base + name, "") == kDownloadOk;
}

}  // namespace

PassOutcome RunPass() {
  PassOutcome outcome;
  PropertiesFile config(conf::kConfig);
  config.Load();
  const std::string base =
      config.Get("update_server_path") + config.Get("app_name") + config.Get("tracert_ping_dir");
  const std::string paramName = config.Get("tracert_ping_param");
  for (const char* key :
       {"update_server_path", "app_name", "tracert_ping_dir", "tracert_ping_param"})
    if (config.Get(key) == "null") return outcome;
  if (!Fetch(base, paramName, kParamFile)) return outcome;

  const UserInfo user = CDataBase::Instance().GetUserInfo();
  const Location where = SplitLocation(user.registeredPlace, settings::ReadMunicipalities());
  const TracePingParams params =
      ReadTracePingParams(kParamFile, where.province, where.city, user.registeredOperator);

  // The name comes from the server: it may only name a file in "Config".
  if (!IsPlainFileName(params.destFile)) return outcome;
  const std::string destFile = std::string("Config\\") + params.destFile;
  if (!Fetch(base, params.destFile, destFile)) return outcome;
  outcome.downloaded = true;
  outcome.interval = params.interval;

  // The file just fetched is the one read.
  const Destinations chosen = SelectDestinations(destFile, params, DefaultPicker());
  if (CollectionStopping()) return outcome;

  LogList(chosen.random);
  ProbeList(chosen.random, params, params.randomPingCount, params.randomHops, kMetypeDestination,
            logs::kTracePingDestIp, user.userId, &outcome);
  LogList(chosen.must);
  ProbeList(chosen.must, params, params.mustPingCount, params.mustHops, kMetypeDestination,
            logs::kTracePingDestIp, user.userId, &outcome);
  ProbeList(chosen.web, params, params.mustPingCount, params.mustHops, kMetypeWebSite,
            logs::kTracePingWebsite, user.userId, &outcome);
  return outcome;
}

bool StartCollection() {
  std::lock_guard lock(g_lock);
  if (g_thread.joinable()) return false;
  g_stop = false;
  g_thread = std::thread([] {
    while (!CollectionStopping()) {
      const PassOutcome outcome = RunPass();
      const CollectionTimings t = GetCollectionTimings();
      // At least the minimum between passes, so an interval of 0 never fetches back to back.
      const auto pause =
          outcome.downloaded ? std::max(t.minute * outcome.interval, t.minimumGap) : t.failurePause;
      if (!Pause(pause)) break;
    }
  });
  return true;
}

void StopCollection() {
  std::thread thread;
  {
    std::lock_guard lock(g_lock);
    g_stop = true;
    thread = std::move(g_thread);
  }
  g_wake.notify_all();
  if (thread.joinable()) thread.join();
  // A later start, or a pass run on its own, works again.
  std::lock_guard lock(g_lock);
  g_stop = false;
}

}  // namespace pingtrace
