#include "apps/cli/cli_commands.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <vector>

#include "apps/cli/cli_listener.h"
#include "auto/client_address.h"
#include "auto/packaging.h"
#include "auto/settings_files.h"
#include "bandwidth/band_statistics.h"
#include "bandwidth/network_speed.h"
#include "core/data_base.h"
#include "core/server_session.h"
#include "filedown/file_down_speed.h"

namespace cli {
namespace {

// How long the client waits for the address task before the login, and for the record's
// upload before it exits.
constexpr std::chrono::seconds kAddressTaskBound{30};
constexpr std::chrono::seconds kUploadBound{120};

const char* LoginMessage(int code) {
  switch (code) {
    case session::kLoginWrongPassword:
      return "用户名或密码错误！";
    case session::kLoginNetworkError:
      return "网络异常或服务器无响应！";
    case session::kLoginPasswordReset:
      return "密码需要重置！";
    case session::kLoginServerSilent:
      return "服务器无响应！";
    default:
      return "服务器无响应！";
  }
}

int DoLogin(const std::string& user, const std::string& password) {
  // As at start-up, the address task looks for the client's address while the login waits
  // for it; once the task has ended without one there is no point waiting longer.
  StartAddressTask();
  WaitForAddressTask(kAddressTaskBound);
  if (CDataBase::Instance().ClientAddress().empty()) {
    session::SetAddressWait(0, std::chrono::milliseconds(0));
  }
  const int code = session::RunLogin(user, password);
  if (code != session::kLoginAccepted) {
    std::fprintf(stderr, "登录失败: %s (%d)\n", LoginMessage(code), code);
  }
  return code;
}

void PrintUser() {
  const UserInfo user = CDataBase::Instance().GetUserInfo();
  const Scores scores = CDataBase::Instance().GetScores();
  std::printf("用户ID: %s\n昵称: %s\n地址: %s\n位置: %s%s\n签约带宽: %d Mb/s\n用户类型: %d\n",
              user.userId.c_str(), user.nickname.c_str(), user.address.c_str(),
              user.province.c_str(), user.city.c_str(), user.bandwidth, user.userType);
  std::printf("总积分: %s\n带宽积分: %s\n体验积分: %s\n", scores.total.c_str(),
              scores.bandwidth.c_str(), scores.experience.c_str());
}

bool AskOnTerminal(const Options& options, const std::string& question) {
  if (!options.interactive) {
    std::fprintf(stderr, "%s\n(no terminal to answer on; use --yes)\n", question.c_str());
    return false;
  }
  std::fprintf(stderr, "%s [y/N] ", question.c_str());
  std::fflush(stderr);
  std::string line;
  if (!std::getline(std::cin, line)) return false;
  return line == "y" || line == "Y" || line == "yes" || line == "是";
}

int64_t Sum(const band::Samples& samples) {
  int64_t sum = 0;
  for (int64_t s : samples) sum += s;
  return sum;
}

void WritePhase(rapidjson::Writer<rapidjson::StringBuffer>& w, const char* name,
                const band::Samples& samples, const std::string& jitter) {
  const double average = band::AverageRate(samples);
  w.Key(name);
  w.StartObject();
  w.Key("average");
  w.Double(average);
  w.Key("rate");
  w.Double(average * 8);
  w.Key("max");
  w.Double(band::MaxRate(samples));
  w.Key("jitter");
  w.String(jitter.c_str());
  w.Key("bytes");
  w.Int64(Sum(samples));
  w.Key("samples");
  w.StartArray();
  for (int64_t s : samples) w.Int64(s);
  w.EndArray();
  w.EndObject();
}

void PrintJson(const CNetWorkSpeed& engine, const band::BandResult& result) {
  const TestServer* server = FindServer(engine.Catalogue(), result.serverName);
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
  w.StartObject();
  w.Key("server");
  w.String(result.serverName.c_str());
  w.Key("address");
  w.String(server ? server->address.c_str() : "");
  w.Key("monitorid");
  w.String(result.monitorId.c_str());
  w.Key("pingrtt");
  w.String(result.pingTime.c_str());
  w.Key("bandwidth");
  w.Double(band::EstimatedBandwidth(result));
  WritePhase(w, "download", result.down, result.downJitter);
  WritePhase(w, "upload", result.up, result.upJitter);
  w.Key("testtype");
  w.Int(result.automatic ? 0 : 1);
  w.Key("record");
  w.String(engine.LastRecordName().c_str());
  w.Key("package");
  w.String(engine.LastPackageName().c_str());
  w.EndObject();
  std::printf("%s\n", buffer.GetString());
}

void PrintText(const CNetWorkSpeed& engine, const band::BandResult& result,
               const UpdateEvent& final) {
  const TestServer* server = FindServer(engine.Catalogue(), result.serverName);
  std::printf("测速服务器: %s (%s, 监测点 %s)\n", result.serverName.c_str(),
              server ? server->address.c_str() : "", result.monitorId.c_str());
  std::printf("下载: 平均 %s MB/s, 最大 %s MB/s, 速率 %s, 抖动 %s\n", final.downAverage.c_str(),
              band::MaxRateText(result.down).c_str(), final.downRate.c_str(),
              result.downJitter.c_str());
  std::printf("上传: 平均 %s MB/s, 最大 %s MB/s, 速率 %s, 抖动 %s\n", final.upAverage.c_str(),
              band::MaxRateText(result.up).c_str(), final.upRate.c_str(), result.upJitter.c_str());
  std::printf("时延: %s ms\n估算带宽: %.1f Mb/s\n", result.pingTime.c_str(),
              band::EstimatedBandwidth(result));
  const std::string record = engine.LastRecordName();
  if (!record.empty()) std::printf("记录: Data/%s\n", record.c_str());
  const std::string package = engine.LastPackageName();
  if (!package.empty()) std::printf("数据包: Data/%s\n", package.c_str());
}

// The file download engine's listener: a line per sample, the outcome kept.
class CliFileListener : public IUpdateUI {
 public:
  explicit CliFileListener(bool showProgress) : m_showProgress(showProgress) {}

  void NotifyDownload(const DownloadEvent& event) override {
    std::lock_guard<std::mutex> guard(m_lock);
    if (event.code == speedcode::kOneSecondSample) {
      m_last = event;
      if (m_showProgress) {
        std::fprintf(stderr, "已下载 %s KB / %s KB, 最近一秒 %lld 字节\n", event.loaded.c_str(),
                     event.total.c_str(), static_cast<long long>(event.lastSecondBytes));
      }
    } else if (event.code == speedcode::kFinished) {
      m_finished = true;
    } else {
      m_failureCode = event.code;
      m_failureMessage = event.message;
    }
  }

  bool Finished() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_finished;
  }
  int FailureCode() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_failureCode;
  }
  std::string FailureMessage() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_failureMessage;
  }
  DownloadEvent LastSample() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_last;
  }

 private:
  bool m_showProgress;
  mutable std::mutex m_lock;
  bool m_finished = false;
  int m_failureCode = 0;
  std::string m_failureMessage;
  DownloadEvent m_last;
};

void PrintFailure(const Options& options, int code, const std::string& message) {
  std::fprintf(stderr, "测速失败: %s (%d)\n", message.c_str(), code);
  if (!options.json) return;
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
  w.StartObject();
  w.Key("code");
  w.Int(code);
  w.Key("message");
  w.String(message.c_str());
  w.EndObject();
  std::printf("%s\n", buffer.GetString());
}

}  // namespace

int LoginWithSavedCredentials() {
  std::string user, password;
  if (!session::LoadSavedCredentials(user, password)) {
    std::fprintf(stderr,
                 "没有保存的登录信息，请先运行: kestrane-cli login --user U --password P\n");
    return kExitLoginFailed;
  }
  return DoLogin(user, password) == session::kLoginAccepted ? kExitOk : kExitLoginFailed;
}

int LoginCommand(const Options& options) {
  if (DoLogin(options.user, options.password) != session::kLoginAccepted) return kExitLoginFailed;
  std::printf("登录成功\n");
  PrintUser();
  return kExitOk;
}

int BandwidthCommand(const Options& options) {
  std::string user, password;
  if (!session::LoadSavedCredentials(user, password)) {
    std::fprintf(stderr,
                 "没有保存的登录信息，请先运行: kestrane-cli login --user U --password P\n");
    return kExitLoginFailed;
  }
  if (DoLogin(user, password) != session::kLoginAccepted) return kExitLoginFailed;

  CNetWorkSpeed engine;
  if (options.serverGiven) {
    if (FindServer(engine.Catalogue(), options.server) == nullptr) {
      std::fprintf(stderr, "测速失败: 未知的测速服务器 \"%s\"\n", options.server.c_str());
      return kExitTestFailed;
    }
    engine.SetCurrentServer(options.server);
  }
  CliBandListener listener(options.yes, options.progress && !options.json,
                           [&options](const std::string& q) { return AskOnTerminal(options, q); });
  engine.SetListener(&listener);
  engine.mode.store(0);
  engine.quiet.store(false);
  CDataBase::Instance().autoCycleActive.store(0);
  if (!engine.StartManual()) {
    std::fprintf(stderr, "测速失败: 已有测速在进行\n");
    return kExitTestFailed;
  }
  engine.WaitUntilIdle();
  engine.SetListener(nullptr);

  if (!listener.Finished()) {
    std::string message = listener.FailureMessage();
    if (message.empty()) message = "测速未完成";
    std::fprintf(stderr, "测速失败: %s (%d)\n", message.c_str(), listener.FailureCode());
    if (options.json) {
      rapidjson::StringBuffer buffer;
      rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
      w.StartObject();
      w.Key("code");
      w.Int(listener.FailureCode());
      w.Key("message");
      w.String(message.c_str());
      w.EndObject();
      std::printf("%s\n", buffer.GetString());
    }
    return kExitTestFailed;
  }
  // Let the record leave before the process ends.
  packaging::WaitForUploads(kUploadBound);

  const band::BandResult result = engine.LastResult();
  if (options.json) {
    PrintJson(engine, result);
  } else {
    PrintText(engine, result, listener.FinalEvent());
  }
  return kExitOk;
}

int FileDownCommand(const Options& options) {
  std::string user, password;
  if (!session::LoadSavedCredentials(user, password)) {
    std::fprintf(stderr,
                 "没有保存的登录信息，请先运行: kestrane-cli login --user U --password P\n");
    return kExitLoginFailed;
  }
  if (DoLogin(user, password) != session::kLoginAccepted) return kExitLoginFailed;

  // As the screen does: the list's item with exactly that address, else an item of its own.
  const std::vector<settings::ModuleItem> items =
      settings::ReadModuleItems(settings::UserSettingsFile(), settings::kFileDown);
  settings::ModuleItem item;
  if (options.url.empty()) {
    if (items.empty()) {
      std::fprintf(stderr, "kestrane-cli: 没有可下载的文件，请给出文件地址\n");
      return kExitUsage;
    }
    item = items.front();
  } else {
    item = {0, false, "其他", options.url};
    for (const auto& candidate : items) {
      if (candidate.address == options.url) {
        item = candidate;
        break;
      }
    }
  }

  CFileDownSpeed engine;
  CliFileListener listener(!options.json);
  engine.SetListener(&listener);
  engine.quiet.store(false);
  const bool started = engine.RunTest(item);
  engine.WaitUntilIdle();
  engine.SetListener(nullptr);
  if (!listener.Finished()) {
    int code = listener.FailureCode();
    std::string message = listener.FailureMessage();
    if (code == 0) {
      code = speedcode::kFileRefused;
      message = started ? filedown::kRefusedMessage : "已有测速在进行";
    }
    PrintFailure(options, code, message);
    return kExitTestFailed;
  }
  // Let the record leave before the process ends.
  packaging::WaitForUploads(kUploadBound);

  const filedown::FileResult result = engine.LastResult();
  const DownloadEvent last = listener.LastSample();
  if (options.json) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("name");
    w.String(result.name.c_str());
    w.Key("url");
    w.String(result.url.c_str());
    w.Key("website");
    w.Int(result.itemId);
    w.Key("total");
    w.String(last.total.c_str());
    w.Key("connect");
    w.String(last.connect.c_str());
    w.Key("loaded");
    w.String(last.loaded.c_str());
    w.Key("loadtime");
    w.String(last.loadTime.c_str());
    w.Key("speed");
    w.String(last.speed.c_str());
    w.Key("totalsize");
    w.Int64(result.totalSize);
    w.Key("bytes");
    w.Int64(result.counter);
    w.Key("connectms");
    w.Int64(result.connectMs);
    w.Key("loadms");
    w.Int64(result.loadMs);
    w.Key("samples");
    w.StartArray();
    for (int64_t bytes : engine.SampleBytes()) w.Int64(bytes);
    w.EndArray();
    w.Key("testtype");
    w.Int(1);
    w.Key("record");
    w.String(engine.LastRecordName().c_str());
    w.Key("package");
    w.String(engine.LastPackageName().c_str());
    w.EndObject();
    std::printf("%s\n", buffer.GetString());
  } else {
    std::printf("文件: %s (%s)\n", result.name.c_str(), result.url.c_str());
    std::printf(
        "文件大小: %s KB\n连接时间: %s 秒\n已下载: %s KB\n下载时间: %s 秒\n平均速率: %s KB/s\n",
        last.total.c_str(), last.connect.c_str(), last.loaded.c_str(), last.loadTime.c_str(),
        last.speed.c_str());
    const std::string record = engine.LastRecordName();
    if (!record.empty()) std::printf("记录: Data/%s\n", record.c_str());
    const std::string package = engine.LastPackageName();
    if (!package.empty()) std::printf("数据包: Data/%s\n", package.c_str());
  }
  return kExitOk;
}

}  // namespace cli
