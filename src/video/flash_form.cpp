#include "video/flash_form.h"

#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>
#include <ctime>

#include "auto/packaging.h"
#include "auto/settings_files.h"
#include "bandwidth/host_network.h"
#include "core/data_base.h"
#include "core/http_transport.h"
#include "core/log_file.h"
#include "platform/paths.h"
#include "platform/program_folder.h"
#include "ui/thread.h"
#include "video/video_resolvers.h"
#include "windows/warning_dlg.h"

namespace {

std::mutex g_libraryLock;
std::string g_libraryPath;  // empty: the program folder's

std::atomic<int> g_networkAlive{-1};
std::atomic<int> g_autoPlayBoundMs{CFlashForm::kAutoPlayBoundMs};
CFlashForm* g_instance = nullptr;  // window thread only

constexpr const char* kSendFailed = "视频插件不可用，未能开始视频测速";

bool IsLoopbackUrl(const std::string& url) {
  transport::UrlParts parts;
  return transport::ParseUrl(url, &parts) &&
         (parts.host.rfind("127.", 0) == 0 || parts.host == "localhost");
}

void ClearBusy() { CDataBase::Instance().testBusy.store(0); }

}  // namespace

// --- the player control -------------------------------------------------------------------------

CFlashUI::CFlashUI(QWidget* parent) : QWidget(parent) {
  std::string path;
  {
    std::lock_guard<std::mutex> guard(g_libraryLock);
    path = g_libraryPath;
  }
  m_control = path.empty() ? videoplayer::CreatePlayerControl(this, &m_error)
                           : videoplayer::CreatePlayerControl(path, this, &m_error);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  if (m_control && m_control->Widget()) {
    layout->addWidget(m_control->Widget());
  } else {
    // A blank control says why nothing will play in it.
    auto* note = new QLabel(QString::fromUtf8(kUnavailableText), this);
    note->setAlignment(Qt::AlignCenter);
    note->setStyleSheet("color: #c9d3de; background: #000000; font-size: 14px;");
    layout->addWidget(note);
  }
}

CFlashUI::~CFlashUI() { Release(); }

void CFlashUI::SetLibraryPathForTest(const std::string& path) {
  std::lock_guard<std::mutex> guard(g_libraryLock);
  g_libraryPath = path;
}

std::string CFlashUI::CallFunction(const std::string& request) {
  return m_control ? m_control->CallFunction(request) : std::string();
}

void CFlashUI::SetCallback(videoplayer::IVideoPlayerControl::Callback callback) {
  if (m_control) m_control->SetCallback(std::move(callback));
}

int CFlashUI::ReadyState() const { return m_control ? m_control->ReadyState() : 0; }

long CFlashUI::FlashVersion() const { return m_control ? m_control->FlashVersion() : 0; }

videoplayer::PlayStatistics CFlashUI::Statistics() const {
  return m_control ? m_control->Statistics() : videoplayer::PlayStatistics();
}

void CFlashUI::SetLimitsForTest(const videoplayer::PlayerLimits& limits) {
  if (m_control) m_control->SetLimitsForTest(limits);
}

void CFlashUI::Release() {
  if (!m_control) return;
  m_control->SetCallback(nullptr);
  m_control.reset();
}

// --- the engine window ------------------------------------------------------------------------

CFlashForm::CFlashForm(QWidget* parent) : ui::CWindowWnd(parent) {
  // Inside the video page it is a child window; alone (the command line) a window of its own.
  if (parent) setWindowFlag(Qt::Window, false);
}

CFlashForm::~CFlashForm() {
  if (g_instance == this) g_instance = nullptr;
  {
    std::lock_guard<std::mutex> guard(m_controlLock);
    if (m_flash) m_flash->Release();
  }
  EndPlay();
  JoinWorkers();
}

void CFlashForm::JoinWorkers() {
  std::lock_guard<std::mutex> guard(m_workerLock);
  if (m_manualWorker.joinable()) m_manualWorker.join();
  if (m_uploadWorker.joinable()) m_uploadWorker.join();
}

void CFlashForm::SetNetworkAliveForTest(int alive) { g_networkAlive = alive; }

void CFlashForm::SetAutoPlayBoundForTest(int ms) {
  g_autoPlayBoundMs = ms > 0 ? ms : kAutoPlayBoundMs;
}

CFlashForm* CFlashForm::Instance() { return g_instance; }

bool CFlashForm::Create(const QString& windowName) {
  if (!ui::CWindowWnd::Create(kLayout, windowName, true)) return false;
  Initialise();
  return true;
}

QWidget* CFlashForm::CreateControl(const QString& className, QWidget* parent) {
  if (className == "FlashUI") return new CFlashUI(parent);
  return nullptr;
}

void CFlashForm::Initialise() {
  if (m_initialised) return;
  m_initialised = true;
  g_instance = this;
  m_flash = findChild<CFlashUI*>("flashUI");
  if (!m_flash) {
    logs::Write(logs::kFlash, "视频插件初始化失败！");
    return;
  }
  if (!m_flash->HasPlayer())
    logs::Write(logs::kFlash, "视频插件加载失败:%s", m_flash->LoadError().c_str());
  // The player calls back on its own threads; the texts are handled on the window thread.
  QPointer<CFlashForm> self(this);
  m_flash->SetCallback([self](const std::string& request) {
    ui::Post([self, request] {
      if (self) self->OnFlashCall(request);
    });
  });
  if ((m_flash->FlashVersion() >> 16) < 11) {
    // A notice on top that takes no focus and lets start-up go on.
    auto* tip = new CWarningDlg(kTipText, parentWidget() ? parentWidget()->window() : nullptr);
    if (tip->Create("TipForm")) {
      tip->SetDeleteOnClose(true);
      tip->MoveWindow(170, 275);
      tip->SetTopmost(true);
      tip->setWindowFlag(Qt::WindowDoesNotAcceptFocus, true);
      tip->ShowWindow(true, false);
    } else {
      delete tip;
    }
  }
  logs::Write(logs::kFlash, "视频插件初始化完成！");
  if (m_flash->ReadyState() == videoplayer::kReadyStateComplete) {
    if (IUpdateUI* listener = Listener()) listener->PlayerReady(1);
  }
}

void CFlashForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    Initialise();
  } else if (msg.sType == ui::kClick && msg.senderName == "VoidConverttest_btn") {
    Send(video::StopRequest(Url()));
    {
      std::lock_guard<std::mutex> guard(m_controlLock);
      if (m_flash) m_flash->Release();
    }
    // The stopped play sends nothing more: nothing else would end the busy state.
    ClearBusy();
    EndPlay();
    Close(1);
  }
}

bool CFlashForm::HasPlayer() const {
  std::lock_guard<std::mutex> guard(m_controlLock);
  return m_flash && m_flash->HasPlayer();
}

int CFlashForm::ReadyState() const {
  std::lock_guard<std::mutex> guard(m_controlLock);
  return m_flash ? m_flash->ReadyState() : 0;
}

long CFlashForm::FlashVersion() const {
  std::lock_guard<std::mutex> guard(m_controlLock);
  return m_flash ? m_flash->FlashVersion() : 0;
}

videoplayer::PlayStatistics CFlashForm::Statistics() const {
  std::lock_guard<std::mutex> guard(m_controlLock);
  return m_flash ? m_flash->Statistics() : videoplayer::PlayStatistics();
}

bool CFlashForm::Send(const std::string& request) {
  std::lock_guard<std::mutex> guard(m_controlLock);
  if (!m_flash || !m_flash->HasPlayer()) return false;
  m_flash->CallFunction(request);
  return true;
}

void CFlashForm::EndPlay() {
  {
    std::lock_guard<std::mutex> guard(m_playLock);
    if (m_playing.exchange(false)) m_playsEnded.fetch_add(1);
  }
  m_playEnded.notify_all();
}

std::vector<std::string> CFlashForm::InfoFields() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_info;
}

std::string CFlashForm::Url() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_url;
}

std::string CFlashForm::Page() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_page;
}

std::string CFlashForm::LastCall() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_lastCall;
}

std::string CFlashForm::LastRecordName() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_recordName;
}

// --- manual run -------------------------------------------------------------------------------

void CFlashForm::RunManual(const std::string& url) {
  CDataBase::Instance().autoCycleActive.store(0);
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_url = url;
  }
  mode.store(0);
  std::lock_guard<std::mutex> guard(m_workerLock);
  if (m_manualWorker.joinable()) m_manualWorker.join();
  m_manualWorker = std::thread([this] { StartManual(); });
}

bool CFlashForm::StartManual() {
  const std::string url = Url();
  if (url.empty()) return false;
  if (!HasPlayer()) {
    logs::Write(logs::kFlash, "%s", kSendFailed);
    return false;
  }
  CDataBase::Instance().testBusy.store(1);
  m_playing.store(true);
  if (!Send(video::ManualStartRequest(url))) {
    // The player went away meanwhile.
    ClearBusy();
    EndPlay();
    logs::Write(logs::kFlash, "%s", kSendFailed);
    return false;
  }
  return true;
}

// --- automatic run ----------------------------------------------------------------------------

int CFlashForm::StartAuto(int first, int second, int checktype) {
  (void)second;
  logs::Write(logs::kFlash, "自动视频测速开始");
  mode.store(1);
  m_checktype.store(checktype);

  std::vector<settings::ModuleItem> items;
  if (settings::IsModuleSelected(speedmodule::kVideo)) {
    for (const auto& item :
         settings::ReadModuleItems(settings::UserSettingsFile(), speedmodule::kVideo))
      if (item.selected) items.push_back(item);
  }
  std::string page;
  if (!items.empty()) {
    video::SmallRandom random(static_cast<uint32_t>(std::time(nullptr)));
    const std::string picked = items[static_cast<size_t>(random.Next()) % items.size()].address;
    std::lock_guard<std::mutex> guard(m_lock);
    // A retry plays, and records, the page it kept.
    if (first == 0 || m_page.empty()) m_page = picked;
    page = m_page;
    m_url = page;
  }

  const int forced = g_networkAlive.load();
  const bool alive = forced >= 0 ? forced != 0 : band::NetworkAlive() || IsLoopbackUrl(page);
  if (!alive) return 0;
  if (page.empty()) {
    logs::Write(logs::kFlash, "自动视频测速未选择视频");
    return 0;
  }
  if (!HasPlayer()) {
    logs::Write(logs::kFlash, "%s", kSendFailed);
    return 0;
  }

  const std::string media =
      video::FirstAddress(video::VideoResolver().Resolve(page, video::ResolveOrder::Automatic));
  if (media.empty()) {
    logs::Write(logs::kFlash, "自动视频测速失败重试开始");
    return 1;
  }

  const std::string request = video::AutomaticStartRequest(media);
  logs::Write(logs::kFlash, "%s", request.c_str());
  CDataBase& shared = CDataBase::Instance();
  shared.testBusy.store(1);
  m_playing.store(true);
  if (!Send(request)) {
    ClearBusy();
    EndPlay();
    logs::Write(logs::kFlash, "%s", kSendFailed);
    return 0;
  }

  // The line belongs to this play until it ends: the cycle's next test waits for it.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(g_autoPlayBoundMs.load());
  std::unique_lock<std::mutex> wait(m_playLock);
  while (m_playing.load()) {
    if (shared.testRunEnabled.load() == 0 || std::chrono::steady_clock::now() >= deadline) {
      wait.unlock();
      logs::Write(logs::kFlash,
                  shared.testRunEnabled.load() == 0 ? "自动视频测速已停止" : "自动视频测速超时");
      Send(video::StopRequest(Url()));
      ClearBusy();
      EndPlay();
      wait.lock();
      break;
    }
    m_playEnded.wait_for(wait, std::chrono::milliseconds(100));
  }
  wait.unlock();
  logs::Write(logs::kFlash, "Play END");
  return 2;
}

// --- the player's texts -----------------------------------------------------------------------

void CFlashForm::StopVideo() {
  MoveWindow(1000, 145);
  Send(video::StopRequest(Url()));
}

void CFlashForm::OnFlashCall(const std::string& request) {
  CDataBase& shared = CDataBase::Instance();
  const bool automatic = mode.load() == 1;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_lastCall = request;
  }
  if (request.find("VideoInfomation") != std::string::npos) {
    std::vector<std::string> fields = video::InfoFields(request);
    if (fields.size() == static_cast<size_t>(video::kInfoFieldCount)) {
      {
        std::lock_guard<std::mutex> guard(m_lock);
        m_info = fields;
      }
      ClearBusy();
      const bool counted = shared.testRunEnabled.load() != 0;
      if (!automatic || counted) {
        if (fields[6] == "true") WriteAndUpload();
        // Only automatic runs count towards the automatic tests done.
        if (automatic && counted) shared.autoCompletedCount.fetch_add(1);
      }
      logs::Write(logs::kFlash, automatic ? "自动视频测速结束" : "手动视频测速结束");
      EndPlay();
    }
  }
  if (request.find("VideoSpeedChildQuit") != std::string::npos) {
    StopVideo();
    ClearBusy();
    EndPlay();
  }
  if (request.find("fail") != std::string::npos) {
    ClearBusy();
    logs::Write(logs::kFlash, automatic ? "自动视频测速失败" : "手动视频测速失败");
    EndPlay();
  }
}

// --- record -----------------------------------------------------------------------------------

std::string CFlashForm::WriteRecord() {
  video::VideoResult result;
  result.automatic = mode.load() == 1;
  result.checktype = m_checktype.load();
  {
    std::lock_guard<std::mutex> guard(m_lock);
    result.url = m_url;
    result.fields = m_info;
  }
  const std::string name = video::WriteVideoRecord(result, InvalidReason.load());
  std::lock_guard<std::mutex> guard(m_lock);
  m_recordName = name;
  return name;
}

void CFlashForm::WriteAndUpload() {
  const std::string name = WriteRecord();
  // Packing waits for the zip program: never on the window thread.
  std::lock_guard<std::mutex> guard(m_workerLock);
  if (m_uploadWorker.joinable()) m_uploadWorker.join();
  m_handingOff.store(true);
  m_uploadWorker = std::thread([this, name] {
    // Accounts under audit get no record file: there is nothing to pack then.
    if (platform::IsFile(paths::Native(paths::Join(platform::ProgramFolder(), "Data\\" + name))))
      PackageRecord(packaging::kVideoSpeed, "Data\\" + name, "Data");
    UploadRequest request;
    UploadFolder(request, "Data");
    m_handingOff.store(false);
  });
}

bool CFlashForm::WaitForHandOff(std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (m_handingOff.load()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
