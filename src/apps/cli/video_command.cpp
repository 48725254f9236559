#include "apps/cli/video_command.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdio>

#include "auto/packaging.h"
#include "core/data_base.h"
#include "platform/paths.h"
#include "platform/program_folder.h"
#include "ui/skin.h"
#include "video/flash_form.h"
#include "video/video_resolvers.h"

namespace cli {
namespace {

constexpr std::chrono::seconds kUploadBound{120};
// A play ends on the player's own limits well before this.
constexpr int kPlayBoundMs = CFlashForm::kAutoPlayBoundMs;

const char* const kFieldNames[video::kInfoFieldCount] = {
    "MAXSPEED", "loadingtime", "totalsize", "speed", "loadsize", "totaltime", "completed"};

void Fail(const Options& options, const std::string& message) {
  std::fprintf(stderr, "视频测速失败: %s\n", message.c_str());
  if (!options.json) return;
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
  w.StartObject();
  w.Key("result");
  w.String("fail");
  w.Key("message");
  w.String(message.c_str());
  w.EndObject();
  std::printf("%s\n", buffer.GetString());
}

// The reason the player gave with "fail", else the call's name.
std::string Reason(const std::string& call) {
  const size_t open = call.find("<string>");
  const size_t close = call.find("</string>", open == std::string::npos ? 0 : open);
  if (open != std::string::npos && close != std::string::npos && close > open + 8)
    return call.substr(open + 8, close - open - 8);
  return call.empty() ? std::string("播放器没有回答") : call;
}

void PrintResult(const Options& options, const std::string& page, const std::string& media,
                 const std::vector<std::string>& fields, const std::string& record,
                 const videoplayer::PlayStatistics& s) {
  if (!options.json) {
    std::printf("视频地址: %s\n", media.c_str());
    if (page != media) std::printf("视频网页: %s\n", page.c_str());
    std::printf(
        "最高速率: %s KB/s\n加载时间: %s s\n视频大小: %s KB\n平均速率: %s KB/s\n"
        "已加载: %s KB\n播放时间: %s s\n播放完成: %s\n",
        fields[0].c_str(), fields[1].c_str(), fields[2].c_str(), fields[3].c_str(),
        fields[4].c_str(), fields[5].c_str(), fields[6].c_str());
    std::printf("卡顿: %d 次, %.2f s\n", s.stalls, s.stallSeconds);
    if (!record.empty()) std::printf("记录: Data/%s\n", record.c_str());
    return;
  }
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
  w.StartObject();
  w.Key("page");
  w.String(page.c_str());
  w.Key("url");
  w.String(media.c_str());
  for (int i = 0; i < video::kInfoFieldCount; ++i) {
    w.Key(kFieldNames[i]);
    w.String(fields[static_cast<size_t>(i)].c_str());
  }
  w.Key("record");
  w.String(record.c_str());
  w.Key("stalls");
  w.StartObject();
  w.Key("count");
  w.Int(s.stalls);
  w.Key("seconds");
  w.Double(s.stallSeconds);
  w.EndObject();
  w.Key("bytes");
  w.Int64(s.bytes);
  w.Key("contentLength");
  w.Int64(s.contentLength);
  w.Key("framesShown");
  w.Int64(s.framesShown);
  w.Key("framesLate");
  w.Int64(s.framesLate);
  w.Key("mediaSeconds");
  w.Double(s.mediaSeconds);
  w.Key("videoCodec");
  w.String(s.videoCodec.c_str());
  w.Key("audioCodec");
  w.String(s.audioCodec.c_str());
  w.Key("cpuSeconds");
  w.Double(s.cpuSeconds);
  w.EndObject();
  std::printf("%s\n", buffer.GetString());
}

}  // namespace

int VideoCommand(const Options& options, const std::string& url, bool mediaOnly, int argc,
                 char** argv) {
  if (LoginWithSavedCredentials() != kExitOk) return kExitLoginFailed;

  std::string media = url;
  video::Site site;
  if (!mediaOnly && video::SiteOf(url, video::ResolveOrder::Manual, &site)) {
    media = video::FirstAddress(video::VideoResolver().Resolve(url, video::ResolveOrder::Manual));
    if (media.empty()) {
      Fail(options, "视频网页解析失败");
      return kExitTestFailed;
    }
  }

  // The player needs a window system; nobody sees this one.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  if (!ui::SetResourceZip(QString::fromStdString(
          paths::Native(paths::Join(platform::ProgramFolder(), "Skin.zip"))))) {
    Fail(options, "缺少 Skin.zip");
    return kExitTestFailed;
  }

  int result = kExitTestFailed;
  {
    CFlashForm engine;
    if (!engine.Create("FlashDialog") || !engine.HasPlayer() ||
        engine.ReadyState() != videoplayer::kReadyStateComplete) {
      Fail(options, "视频插件不可用");
      return kExitTestFailed;
    }
    engine.mode.store(0);
    const int ended = engine.PlaysEnded();
    engine.RunManual(media);
    QElapsedTimer clock;
    clock.start();
    while (engine.PlaysEnded() == ended && clock.elapsed() < kPlayBoundMs)
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    const std::vector<std::string> fields = engine.InfoFields();
    const std::string call = engine.LastCall();
    const bool measured = call.find("VideoInfomation") != std::string::npos &&
                          fields.size() == static_cast<size_t>(video::kInfoFieldCount);
    if (engine.PlaysEnded() == ended) {
      engine.StopVideo();
      CDataBase::Instance().testBusy.store(0);
      Fail(options, "播放超时");
    } else if (!measured) {
      Fail(options, Reason(call));
    } else {
      // Let the record leave before the process ends.
      engine.WaitForHandOff(kUploadBound);
      packaging::WaitForUploads(kUploadBound);
      PrintResult(options, url, media, fields, engine.LastRecordName(), engine.Statistics());
      result = fields[6] == "true" ? kExitOk : kExitTestFailed;
    }
  }
  return result;
}

}  // namespace cli
