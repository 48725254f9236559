#include "apps/cli/cli_commands.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include "apps/cli/cli_listener.h"
#include "auto/client_address.h"
#include "auto/packaging.h"
#include "bandwidth/band_statistics.h"
#include "bandwidth/network_speed.h"
#include "core/data_base.h"
#include "core/server_session.h"

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

}  // namespace

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

}  // namespace cli
