#include "webpage/web_speed.h"

#include <unistd.h>

#include <QPushButton>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>
#include <ctime>
#include <random>

#include "auto/packaging.h"
#include "auto/settings_files.h"
#include "bandwidth/host_network.h"
#include "core/data_base.h"
#include "core/http_transport.h"
#include "core/log_file.h"
#include "platform/paths.h"
#include "platform/program_folder.h"
#include "ui/thread.h"

namespace {

std::atomic<int> g_capMs{10000};
std::atomic<int> g_reachable{-1};
std::atomic<int> g_networkAlive{-1};

constexpr const char* kAutoStart = "自动网页测速开始";
constexpr const char* kAutoFailed = "自动网页测速失败";
constexpr const char* kAutoEnd = "自动网页测速结束";
constexpr const char* kManualEnd = "手动网页测速结束";
// Script errors of visited pages never reach the user.
constexpr const char* kErrorScript = "function fnOnError(){return true;}window.onerror=fnOnError;";
constexpr const char* kBlankScript = "if (document.body) document.body.innerHTML = '';";
constexpr const char* kTimelineScript =
    "(function() {"
    "  var n = performance.getEntriesByType('navigation')[0];"
    "  var p = performance.getEntriesByName('first-contentful-paint')[0];"
    "  return [p ? p.startTime : -1, n && n.loadEventEnd > 0 ? n.loadEventEnd : -1];"
    "})()";

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

bool NetworkAliveFor(const std::string& url) {
  const int forced = g_networkAlive.load();
  if (forced >= 0) return forced != 0;
  // Loopback servers (the lab) are reachable whatever the machine's interfaces say.
  return band::NetworkAlive() || IsLoopbackUrl(url);
}

bool Reachable(const std::string& address) {
  const int forced = g_reachable.load();
  if (forced >= 0) return forced != 0;
  return webpage::CanConnect(address, CWebSpeed::kCheckTimeoutMs);
}

}  // namespace

// The browser's page: navigation and load events go to the engine; no new window, no dialog.
class CWebBrowserPage : public QWebEnginePage {
 public:
  CWebBrowserPage(QWebEngineProfile* profile, CWebSpeed* engine)
      : QWebEnginePage(profile, engine), m_engine(engine) {
    connect(this, &QWebEnginePage::loadingChanged, this,
            [this](const QWebEngineLoadingInfo& info) { m_engine->OnLoadingChanged(info); });
    // A page asking for a window gets none: a request from the user's own click navigates this
    // page instead, any other is dropped.
    connect(this, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) {
              if (request.isUserInitiated()) load(request.requestedUrl());
            });
  }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
    return m_engine->OnNavigationRequest(url, type == NavigationTypeRedirect, isMainFrame);
  }
  QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
  void javaScriptAlert(const QUrl&, const QString&) override {}
  bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
  bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
    return false;
  }
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                const QString&) override {}

 private:
  CWebSpeed* m_engine;
};

void CWebSpeed::SetCapForTest(int ms) { g_capMs = ms > 0 ? ms : 10000; }
void CWebSpeed::SetReachableForTest(int reachable) { g_reachable = reachable; }
void CWebSpeed::SetNetworkAliveForTest(int alive) { g_networkAlive = alive; }

CWebSpeed::CWebSpeed(QWidget* parent)
    : ui::CLayoutWidget(parent), m_checkGeneration(std::make_shared<std::atomic<int>>(0)) {
  setObjectName(kWindowName);
  setProperty("windowClass", kWindowClass);
  m_poll.setInterval(kPollMs);
  m_poll.setTimerType(Qt::PreciseTimer);
  connect(&m_poll, &QTimer::timeout, this, [this] { Poll(); });
}

CWebSpeed::~CWebSpeed() {
  m_checkGeneration->fetch_add(1);
  m_poll.stop();
  if (m_writer.joinable()) m_writer.join();
  // The page goes before its profile.
  if (m_browser) m_browser->setPage(nullptr);
  delete m_page;
  m_page = nullptr;
}

bool CWebSpeed::Create(QPoint at) {
  if (!CreateFromLayout(kLayout)) return false;
  m_browser = qobject_cast<QWebEngineView*>(FindControl(kBrowserName));
  move(at);
  show();
  return true;
}

QWidget* CWebSpeed::CreateControl(const QString& className, QWidget* parent) {
  if (className != "WebBrowser" || m_page) return nullptr;
  // Off the record and without an HTTP cache: every test fetches every part.
  m_profile = new QWebEngineProfile(this);
  m_profile->setHttpCacheType(QWebEngineProfile::NoCache);
  QWebEngineScript script;
  script.setName("fnOnError");
  script.setSourceCode(kErrorScript);
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setRunsOnSubFrames(true);
  script.setWorldId(QWebEngineScript::MainWorld);
  m_profile->scripts()->insert(script);
  auto* view = new QWebEngineView(parent);
  m_page = new CWebBrowserPage(m_profile, this);
  view->setPage(m_page);
  return view;
}

void CWebSpeed::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kClick && msg.senderName == "VoidConverttest_btn") hide();
}

void CWebSpeed::MoveWindow(int x, int y) {
  move(x, y);
  if (!isVisible()) show();
}

// Emptied as soon as a test ends, not as the next begins: the browser holds back new requests
// while it clears, and the renderer's memory cache goes too only this way.
void CWebSpeed::ClearCache() {
  if (!m_profile) return;
  m_profile->clearHttpCache();
  m_cleared = std::chrono::steady_clock::now();
}

void CWebSpeed::BlankPage() {
  if (m_page) m_page->runJavaScript(kBlankScript);
}

webpage::WebResult CWebSpeed::LastResult() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_result;
}

std::string CWebSpeed::LastRecordName() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_recordName;
}

void CWebSpeed::WaitForWriter() {
  if (m_writer.joinable()) m_writer.join();
}

void CWebSpeed::Send(const WebEvent& event) {
  if (IUpdateUI* listener = Listener()) listener->NotifyWeb(event);
}

// --- starting ---------------------------------------------------------------------------------

void CWebSpeed::RunTest(const std::string& url, int testMode) {
  CDataBase::Instance().autoCycleActive.store(0);
  mode.store(testMode);
  m_url = url;
  if (testMode == 0) {
    StartManual();
  } else {
    StartAuto(0, 1, 0);
  }
}

bool CWebSpeed::StartManual() {
  mode.store(0);
  if (m_running || m_inFlight.load()) return false;
  const std::string address = webpage::BrowserAddress(m_url);
  WebEvent unreachable;
  unreachable.code = speedcode::kNetworkFailure;
  unreachable.message = webpage::kUnreachableMessage;
  unreachable.value = 0;
  if (address.empty()) {
    m_outcome = Outcome::Unreachable;
    Send(unreachable);
    return false;
  }
  // The connection check may take seconds: it runs on a worker, and the page stays busy
  // meanwhile so nothing else starts.
  m_inFlight.store(true);
  CDataBase::Instance().testBusy.store(1);
  const int generation = m_checkGeneration->fetch_add(1) + 1;
  std::shared_ptr<std::atomic<int>> current = m_checkGeneration;
  QPointer<CWebSpeed> self(this);
  std::thread([self, current, generation, address, unreachable] {
    const bool reachable = Reachable(address);
    ui::Post([self, current, generation, address, reachable, unreachable] {
      if (!self || current->load() != generation) return;  // stopped meanwhile
      if (reachable) {
        self->StartTest(address);
        return;
      }
      CDataBase::Instance().testBusy.store(0);
      self->m_inFlight.store(false);
      self->m_outcome = Outcome::Unreachable;
      self->Send(unreachable);
      if (self->m_endHandler) self->m_endHandler(Outcome::Unreachable, self->LastResult());
    });
  }).detach();
  return true;
}

int CWebSpeed::StartAuto(int first, int second, int checktype) {
  (void)first;
  (void)second;
  mode.store(1);
  if (m_running || m_inFlight.load()) return 0;

  // Candidates: the selected items of the settings and of the task file together.
  std::vector<settings::ModuleItem> candidates;
  for (const std::string& file : {settings::UserSettingsFile(), settings::UserTasksFile()}) {
    for (const auto& item : settings::ReadModuleItems(file, speedmodule::kWebPage))
      if (item.selected) candidates.push_back(item);
  }
  bool allLoopback = !candidates.empty();
  for (const auto& item : candidates) allLoopback = allLoopback && IsLoopbackUrl(item.address);
  if (!NetworkAliveFor(allLoopback ? candidates.front().address : std::string())) return 0;
  if (!settings::IsModuleSelected(speedmodule::kWebPage)) return 0;
  if (candidates.empty()) return 0;

  const int n = RandomNumber(std::time(nullptr));
  m_url = candidates[n % candidates.size()].address;
  m_checktype = checktype;
  const std::string address = webpage::BrowserAddress(m_url);
  if (address.empty()) return 0;
  m_inFlight.store(true);
  if (!StartTest(address)) return 0;
  return 2;
}

bool CWebSpeed::StartTest(const std::string& address) {
  const bool automatic = mode.load() == 1;
  logs::Write(logs::kMain, "%s", automatic ? kAutoStart : "");
  m_complete = false;
  m_failed = false;
  m_sawStart = false;
  CDataBase::Instance().testBusy.store(1);
  if (!m_browser || !m_page) {
    CDataBase::Instance().testBusy.store(0);
    logs::Write(logs::kMain, "%s", automatic ? kAutoFailed : "");
    m_inFlight.store(false);
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_result = webpage::WebResult{automatic, automatic ? m_checktype : 0, m_url, 0};
    m_recordName.clear();
  }
  BlankPage();
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  // Appended as it is, even after a query of the address's own.
  m_navigated = address + webpage::CacheSuffix(local);
  m_running = true;
  // The browser holds back a navigation that begins while its cache is being cleared, at
  // times for good: the test waits until the clear of the last test's end has settled.
  const auto sinceClear = std::chrono::steady_clock::now() - m_cleared;
  const int wait = sinceClear >= kClearSettle
                       ? 0
                       : static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                              kClearSettle - sinceClear)
                                              .count());
  const int generation = ++m_navigation;
  QTimer::singleShot(wait, this, [this, generation] {
    if (!m_running || generation != m_navigation) return;
    m_start = std::chrono::steady_clock::now();
    m_page->load(QUrl(QString::fromStdString(m_navigated)));
    m_poll.start();
  });
  return true;
}

// --- browser events ---------------------------------------------------------------------------

bool CWebSpeed::OnNavigationRequest(const QUrl& url, bool redirect, bool mainFrame) {
  const QString scheme = url.scheme().toLower();
  if (scheme != "http" && scheme != "https" && scheme != "about" && scheme != "data") return false;
  // Only a new page restarts the clock: a frame or a redirect is part of the page being timed.
  if (m_running && mainFrame && !redirect) m_start = std::chrono::steady_clock::now();
  return true;
}

void CWebSpeed::OnLoadingChanged(const QWebEngineLoadingInfo& info) {
  if (!m_running) return;
  switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
      m_sawStart = true;
      m_complete = false;
      break;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
      // A load begun before this test's navigation does not end it.
      if (!m_sawStart) break;
      if (info.isErrorPage() ||
          (info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain &&
           info.errorCode() >= 400)) {
        m_failed = true;
      } else {
        m_complete = true;
      }
      break;
    case QWebEngineLoadingInfo::LoadFailedStatus:
      if (m_sawStart) m_failed = true;
      break;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
      break;
  }
}

// --- polling and the end of a test ------------------------------------------------------------

double CWebSpeed::Elapsed() const {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - m_start)
                      .count();
  return static_cast<uint32_t>(ms) / 1000.0;
}

void CWebSpeed::Poll() {
  if (!m_running) {
    m_poll.stop();
    return;
  }
  const double elapsed = Elapsed();
  if (m_failed) {
    Finish(Outcome::Failed);
    return;
  }
  if (!m_complete && elapsed < g_capMs.load() / 1000.0) return;
  Finish(m_complete ? Outcome::Completed : Outcome::Capped);
}

void CWebSpeed::Finish(Outcome outcome) {
  if (m_page) m_page->triggerAction(QWebEnginePage::Stop);
  ClearCache();
  m_poll.stop();
  m_running = false;
  const float firstScreen = static_cast<float>(Elapsed());
  webpage::WebResult result;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_result.firstScreen = firstScreen;
    result = m_result;
  }
  m_outcome = outcome;
  const bool automatic = result.automatic;
  const bool writes = outcome == Outcome::Completed && firstScreen < webpage::kCapSeconds;
  CDataBase& shared = CDataBase::Instance();

  if (!automatic) {
    if (outcome == Outcome::Failed) {
      // A page that could not be loaded has no first screen: the user hears of the failure.
      shared.testBusy.store(0);
      WebEvent event;
      event.code = speedcode::kNetworkFailure;
      event.message = webpage::kUnreachableMessage;
      event.value = 0;
      Send(event);
    } else {
      WebEvent event;
      event.code = speedcode::kFinished;
      event.text = webpage::FirstScreenText(firstScreen);
      Send(event);
    }
    logs::Write(logs::kMain, "%s", kManualEnd);
    EndTest(outcome, result, writes);
    return;
  }
  const bool enabled = shared.testRunEnabled.load() != 0;
  if (enabled) shared.autoCompletedCount.fetch_add(1);
  logs::Write(logs::kMain, "%s", kAutoEnd);
  shared.testBusy.store(0);
  EndTest(outcome, result, enabled && writes);
}

void CWebSpeed::EndTest(Outcome outcome, const webpage::WebResult& result, bool write) {
  // The browser is free for the next test at once; the record follows on its worker.
  m_inFlight.store(false);
  if (write) {
    WriteOnWorker(result, outcome);
    return;
  }
  if (m_endHandler) m_endHandler(outcome, result);
}

// The record, its package and the upload leave the window thread; the worker has a copy of the
// result, so the next test may start meanwhile.
void CWebSpeed::WriteOnWorker(const webpage::WebResult& result, Outcome outcome) {
  if (m_writer.joinable()) m_writer.join();
  m_writing.store(true);
  const int invalid = InvalidReason.load();
  QPointer<CWebSpeed> self(this);
  m_writer = std::thread([this, self, result, outcome, invalid] {
    const std::string name = webpage::WriteWebRecord(result, invalid);
    {
      std::lock_guard<std::mutex> guard(m_lock);
      m_recordName = name;
    }
    const std::string record = "Data\\" + name;
    if (platform::IsFile(paths::Native(paths::Join(platform::ProgramFolder(), record))))
      PackageRecord(packaging::kScreen, record, "Data");
    UploadRequest request;
    UploadFolder(request, "Data");
    m_writing.store(false);
    ui::Post([self, outcome, result] {
      if (self && self->m_endHandler) self->m_endHandler(outcome, result);
    });
  });
}

std::string CWebSpeed::WriteRecord() {
  const webpage::WebResult result = LastResult();
  const std::string name = webpage::WriteWebRecord(result, InvalidReason.load());
  std::lock_guard<std::mutex> guard(m_lock);
  m_recordName = name;
  return name;
}

void CWebSpeed::WriteAndUpload() {
  const std::string name = WriteRecord();
  const std::string record = "Data\\" + name;
  if (platform::IsFile(paths::Native(paths::Join(platform::ProgramFolder(), record))))
    PackageRecord(packaging::kScreen, record, "Data");
  UploadRequest request;
  UploadFolder(request, "Data");
}

void CWebSpeed::StopTest() {
  CDataBase& shared = CDataBase::Instance();
  if (shared.testBusy.load() == 0) return;
  shared.testBusy.store(0);
  m_checkGeneration->fetch_add(1);
  m_poll.stop();
  if (m_page) m_page->triggerAction(QWebEnginePage::Stop);
  BlankPage();
  ClearCache();
  // A test still in its connection check, or in the browser, ends here without a result.
  if (m_running || m_inFlight.load()) {
    m_running = false;
    m_outcome = Outcome::Stopped;
    m_inFlight.store(false);
    if (m_endHandler) m_endHandler(Outcome::Stopped, LastResult());
  }
}

void CWebSpeed::QueryTimeline(std::function<void(double, double)> done) {
  if (!m_page) {
    done(-1, -1);
    return;
  }
  m_page->runJavaScript(kTimelineScript, [done](const QVariant& value) {
    const QVariantList list = value.toList();
    if (list.size() != 2) {
      done(-1, -1);
      return;
    }
    done(list[0].toDouble(), list[1].toDouble());
  });
}

namespace webpage {

std::string PrepareBrowserEnvironment(bool offscreenDefault) {
  if (offscreenDefault && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    return "以 root 身份运行：浏览器沙箱已关闭 (QTWEBENGINE_DISABLE_SANDBOX=1)";
  }
  return {};
}

}  // namespace webpage
