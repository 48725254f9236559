// kestrane-cli webpage: the web page test in a browser without a window, on the same engine as
// the page of the windowed program.

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <optional>

#include "apps/cli/cli_commands.h"
#include "auto/packaging.h"
#include "core/data_base.h"
#include "core/log_file.h"
#include "ui/application.h"
#include "webpage/web_record.h"
#include "webpage/web_speed.h"

namespace cli {
namespace {

constexpr std::chrono::seconds kUploadBound{120};

// Hears the engine: the finished text or the failure.
class WebListener : public IUpdateUI {
 public:
  void NotifyWeb(const WebEvent& event) override { m_last = event; }
  const std::optional<WebEvent>& Last() const { return m_last; }

 private:
  std::optional<WebEvent> m_last;
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

void WriteTime(rapidjson::Writer<rapidjson::StringBuffer>& w, double ms) {
  if (ms < 0) {
    w.Null();
  } else {
    w.Double(ms);
  }
}

}  // namespace

int WebPageCommand(const std::string& url, const Options& options, int argc, char** argv) {
  if (!webpage::AddressLooksValid(url) || webpage::BrowserAddress(url).empty()) {
    std::fprintf(stderr, "kestrane-cli: 网址不正确: %s\n", url.c_str());
    return kExitUsage;
  }
  const std::string sandboxNote = webpage::PrepareBrowserEnvironment(true);
  if (!sandboxNote.empty()) {
    logs::Write(logs::kMain, "%s", sandboxNote.c_str());
    std::fprintf(stderr, "%s\n", sandboxNote.c_str());
  }
  if (const int login = LoginWithSavedCredentials(); login != kExitOk) return login;

  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  if (!ui::InitToolkit(ui::kSkinZip)) {
    std::fprintf(stderr, "kestrane-cli: 无法打开界面文件 %s\n", ui::kSkinZip);
    return kExitTestFailed;
  }

  CWebSpeed engine;
  if (!engine.Create(QPoint(0, 0))) {
    std::fprintf(stderr, "kestrane-cli: 无法打开界面文件 %s（%s）\n", ui::kSkinZip,
                 CWebSpeed::kLayout);
    return kExitTestFailed;
  }
  WebListener listener;
  engine.SetListener(&listener);
  engine.quiet.store(false);
  double fcpMs = -1, loadEventMs = -1;
  engine.SetEndHandler([&](CWebSpeed::Outcome outcome, const webpage::WebResult&) {
    if (outcome != CWebSpeed::Outcome::Completed || !options.json) {
      app.quit();
      return;
    }
    engine.QueryTimeline([&](double fcp, double loadEvent) {
      fcpMs = fcp;
      loadEventMs = loadEvent;
      app.quit();
    });
  });
  engine.RunTest(url, 0);
  if (!engine.TestEnded()) app.exec();
  engine.SetListener(nullptr);
  CDataBase::Instance().testBusy.store(0);

  const CWebSpeed::Outcome outcome = engine.LastOutcome();
  const webpage::WebResult result = engine.LastResult();
  if (outcome != CWebSpeed::Outcome::Completed) {
    const auto& last = listener.Last();
    if (outcome == CWebSpeed::Outcome::Capped) {
      PrintFailure(options, speedcode::kFinished,
                   (last ? last.value().text : webpage::FirstScreenText(result.firstScreen)) +
                       "（超过10秒，未记录）");
    } else {
      PrintFailure(options, speedcode::kNetworkFailure,
                   last ? last.value().message : std::string(webpage::kUnreachableMessage));
    }
    return kExitTestFailed;
  }
  // Let the record leave before the process ends.
  packaging::WaitForUploads(kUploadBound);
  const std::string text = webpage::FirstScreenText(result.firstScreen);
  if (options.json) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.StartObject();
    w.Key("url");
    w.String(result.url.c_str());
    w.Key("text");
    w.String(text.c_str());
    w.Key("firstscreentime");
    w.String(webpage::Seconds3(result.firstScreen).c_str());
    w.Key("fcp_ms");
    WriteTime(w, fcpMs);
    w.Key("load_event_ms");
    WriteTime(w, loadEventMs);
    w.Key("testtype");
    w.Int(1);
    w.Key("record");
    w.String(engine.LastRecordName().c_str());
    w.EndObject();
    std::printf("%s\n", buffer.GetString());
  } else {
    std::printf("%s\n", text.c_str());
    const std::string record = engine.LastRecordName();
    if (!record.empty()) std::printf("记录: Data/%s\n", record.c_str());
  }
  return kExitOk;
}

}  // namespace cli
