// The automatic cycles and the environment checks from a terminal.
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "apps/cli/cli_commands.h"
#include "auto/environment_checks.h"
#include "auto/packaging.h"
#include "auto/scheduler.h"
#include "bandwidth/network_speed.h"
#include "core/data_base.h"
#include "core/server_session.h"
#include "filedown/file_down_speed.h"

namespace cli {
namespace {

constexpr std::chrono::seconds kUploadBound{120};
constexpr const char* kAuditWarning = "您好：您的账号目前处于未审核状态无法进行自动测速！";

std::atomic<bool> g_interrupted{false};

void OnInterrupt(int) { g_interrupted = true; }

bool TypeAllowsAutomatic(int type) { return type < 5 || type == 8; }

const char* ModuleName(int module) {
  switch (module) {
    case speedmodule::kBandwidth:
      return "带宽";
    case speedmodule::kWebPage:
      return "网页";
    case speedmodule::kVideo:
      return "视频";
    default:
      return "文件下载";
  }
}

void WriteStrings(rapidjson::Writer<rapidjson::StringBuffer>& w, const char* key,
                  const std::vector<std::string>& values) {
  w.Key(key);
  w.StartArray();
  for (const auto& v : values) w.String(v.c_str());
  w.EndArray();
}

void WriteCycle(rapidjson::Writer<rapidjson::StringBuffer>& w, const CycleReport& cycle) {
  w.StartObject();
  w.Key("verdict");
  w.Int(cycle.verdict);
  w.Key("reason");
  w.String(cycle.reason.c_str());
  w.Key("invalid_band_row");
  w.Bool(cycle.invalidBandRow);
  w.Key("completed");
  w.Bool(cycle.completed);
  w.Key("calls");
  w.StartArray();
  for (const AutoCall& call : cycle.calls) {
    w.StartObject();
    w.Key("module");
    w.Int(call.module);
    w.Key("first");
    w.Int(call.first);
    w.Key("second");
    w.Int(call.second);
    w.Key("checktype");
    w.Int(call.checktype);
    w.Key("result");
    w.Int(call.result);
    w.Key("threw");
    w.Bool(call.threw);
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
}

void PrintCycleText(size_t index, const CycleReport& cycle) {
  std::printf("第 %zu 轮: 环境 %d%s%s%s\n", index, cycle.verdict, cycle.reason.empty() ? "" : " (",
              cycle.reason.c_str(), cycle.reason.empty() ? "" : ")");
  if (cycle.invalidBandRow) std::printf("  带宽: 数据无效，未测速\n");
  for (const AutoCall& call : cycle.calls) {
    std::printf("  %s: StartAuto(%d, %d, %d) = %d%s\n", ModuleName(call.module), call.first,
                call.second, call.checktype, call.result, call.threw ? " (异常)" : "");
  }
  if (!cycle.completed) std::printf("  本轮未完成\n");
  std::fflush(stdout);
}

}  // namespace

int AutoCommand(const Options& options, int cycles) {
  std::string user, password;
  if (!session::LoadSavedCredentials(user, password)) {
    std::fprintf(stderr,
                 "没有保存的登录信息，请先运行: kestrane-cli login --user U --password P\n");
    return kExitLoginFailed;
  }
  if (DoLogin(user, password) != session::kLoginAccepted) return kExitLoginFailed;
  CDataBase& data = CDataBase::Instance();
  if (!TypeAllowsAutomatic(data.GetUserInfo().userType)) {
    std::fprintf(stderr, "%s\n", kAuditWarning);
    return kExitLoginFailed;
  }

  CNetWorkSpeed bandwidth;
  CFileDownSpeed fileDown;
  CHeadlessSchedulerHost host;
  CScheduler scheduler(&host);
  host.Attach(&scheduler);
  scheduler.RegisterEngine(speedmodule::kBandwidth, &bandwidth);
  scheduler.RegisterEngine(speedmodule::kFileDownload, &fileDown);

  std::mutex lock;
  std::vector<CycleReport> reports;
  scheduler.SetCycleObserver([&](const CycleReport& report) {
    std::lock_guard<std::mutex> guard(lock);
    reports.push_back(report);
    if (!options.json) PrintCycleText(reports.size(), report);
  });

  // Ctrl-C stands for the stop window.
  g_interrupted = false;
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previous);
  // Standing for the confirmation window: automatic mode whatever "manual" says.
  ConfirmAutomaticMode();
  data.loginTime = data.autoStartTime.load();
  scheduler.ArmScheduler(false);
  const std::vector<int> modules = scheduler.TaskModules();
  if (modules.empty()) {
    std::fprintf(stderr, "自动测速任务列表为空（设置中没有选中本程序能测的项目）\n");
    sigaction(SIGINT, &previous, nullptr);
    host.Stop();
    data.testBusy = 0;
    return kExitTestFailed;
  }
  if (!options.json) {
    std::printf("自动测速任务:");
    for (int module : modules) std::printf(" %s", ModuleName(module));
    std::printf("\n");
    std::fflush(stdout);
  }

  while (!g_interrupted.load()) {
    if (cycles > 0 && scheduler.CyclesEnded() >= static_cast<uint64_t>(cycles) &&
        !scheduler.CycleRunning())
      break;
    scheduler.WaitForCycles(cycles > 0 ? cycles : UINT64_MAX, std::chrono::milliseconds(200));
  }
  sigaction(SIGINT, &previous, nullptr);
  if (g_interrupted.load()) {
    // As the stop window does.
    data.testBusy = 0;
    data.testRunEnabled = 0;
    if (!options.json) std::printf("已停止自动测速\n");
  }
  scheduler.Shutdown();
  host.Stop();
  packaging::WaitForUploads(kUploadBound);

  std::lock_guard<std::mutex> guard(lock);
  if (options.json) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("modules");
    w.StartArray();
    for (int module : modules) w.Int(module);
    w.EndArray();
    w.Key("cycles");
    w.StartArray();
    for (const auto& report : reports) WriteCycle(w, report);
    w.EndArray();
    w.Key("scheduled");
    w.Int(data.autoScheduledCount.load());
    w.Key("completed");
    w.Int(data.autoCompletedCount.load());
    w.Key("last_result");
    w.String(data.LastResult().c_str());
    w.Key("interrupted");
    w.Bool(g_interrupted.load());
    w.EndObject();
    std::printf("%s\n", buffer.GetString());
  } else {
    std::printf("已安排: %d\n已完成: %d\n最近结果:\n%s\n", data.autoScheduledCount.load(),
                data.autoCompletedCount.load(), data.LastResult().c_str());
  }
  return kExitOk;
}

int CheckCommand(const Options& options) {
  CPerformanceCollector collector;
  // The processor load is measured over the second before the check.
  collector.Collect();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const EnvironmentReport report = MeasureEnvironment(collector, [] { return true; });

  if (options.json) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("cpu");
    w.Int(report.cpuPercent);
    w.Key("memory");
    w.Int(report.memoryPercent);
    WriteStrings(w, "antivirus", report.antivirus);
    WriteStrings(w, "wireless", report.wireless);
    w.Key("in_kbps");
    w.Double(report.traffic.inKBps);
    w.Key("out_kbps");
    w.Double(report.traffic.outKBps);
    w.Key("traffic_seconds");
    w.Double(report.traffic.seconds);
    w.Key("own_address");
    w.String(report.sharedLine.ownAddress.c_str());
    w.Key("candidates");
    w.Uint64(report.sharedLine.candidates);
    WriteStrings(w, "responders", report.sharedLine.responders);
    w.Key("verdict");
    w.Int(report.verdict);
    w.Key("reason");
    w.String(report.reason.c_str());
    w.EndObject();
    std::printf("%s\n", buffer.GetString());
  } else {
    auto list = [](const std::vector<std::string>& values) {
      std::string text;
      for (const auto& v : values) text += (text.empty() ? "" : ", ") + v;
      return text.empty() ? std::string("无") : text;
    };
    std::printf("CPU使用率: %d%%\n内存使用率: %d%%\n杀毒软件: %s\n无线网卡: %s\n",
                report.cpuPercent, report.memoryPercent, list(report.antivirus).c_str(),
                list(report.wireless).c_str());
    std::printf("网卡流量: 下行 %.1f KB/s, 上行 %.1f KB/s (%.1f 秒)\n", report.traffic.inKBps,
                report.traffic.outKBps, report.traffic.seconds);
    std::printf("本机地址: %s, 探测 %zu 个地址, 应答: %s\n",
                report.sharedLine.ownAddress.empty() ? "无" : report.sharedLine.ownAddress.c_str(),
                report.sharedLine.candidates, list(report.sharedLine.responders).c_str());
    std::printf("结论: %d%s%s\n", report.verdict, report.reason.empty() ? " 环境正常" : " ",
                report.reason.c_str());
  }
  return report.verdict == 0 ? kExitOk : kExitTestFailed;
}

}  // namespace cli
