#include "filedown/file_down_ui.h"

#include <QComboBox>
#include <QPoint>
#include <algorithm>
#include <thread>

#include "core/data_base.h"
#include "filedown/file_down_speed.h"
#include "filedown/tee_chart_ui.h"
#include "ui/controls.h"
#include "ui/thread.h"
#include "windows/warning_dlg.h"

namespace {

CFileDownUI* g_page = nullptr;

const char kDash[] = "--";
const char kOtherName[] = "其他";

// Hands the engine's events to the page on the window thread. The page may be gone by then.
void PostWarning(QPointer<CFileDownUI> page, const DownloadEvent& event) {
  const std::string message = event.message;
  ui::Post([page, message] {
    if (page) page->NotifyWarning(QString::fromStdString(message));
  });
}

void PostEvent(QPointer<CFileDownUI> page, const DownloadEvent& event) {
  ui::Post([page, event] {
    if (page) page->NotifyEvent(event);
  });
}

}  // namespace

// The engine calls this from its workers; it only ever posts.
struct CFileDownUI::EngineHolder : IUpdateUI {
  QPointer<CFileDownUI> page;
  CFileDownSpeed engine;

  int Ask(const DownloadEvent& event) override {
    if (event.code == speedcode::kNetworkFailure || event.code == speedcode::kFileRefused)
      PostWarning(page, event);
    return -1;
  }
  void NotifyDownload(const DownloadEvent& event) override { PostEvent(page, event); }
};

CFileDownUI::CFileDownUI(QWidget* parent) : ui::CScreenPage(parent) {}

CFileDownUI* CFileDownUI::Build(QWidget* parent) {
  auto* page = new CFileDownUI(parent);
  if (!page->CreateFromLayout(kLayout)) {
    delete page;
    return nullptr;
  }
  page->FindControls();
  g_page = page;
  return page;
}

CFileDownUI::~CFileDownUI() {
  if (g_page == this) g_page = nullptr;
  if (!m_holder) return;
  m_holder->engine.SetListener(nullptr);
  if (m_holder->engine.Running()) {
    // A running test ends on its own time; the window thread does not wait for it.
    std::thread([holder = std::move(m_holder)] { holder->engine.WaitUntilIdle(); }).detach();
  }
}

CFileDownUI* CFileDownUI::Instance() { return g_page; }

QWidget* CFileDownUI::CreateControl(const QString& className, QWidget* parent) {
  if (className == "TeeChart") return new CTeeChartUI(parent);
  return nullptr;
}

void CFileDownUI::FindControls() {
  m_button = FindControl("FileDown_Handle_btn");
  m_downloaded = FindControl("FileDown_DownloadedSize_lab");
  m_total = FindControl("FileDown_TotalSize_lab");
  m_connect = FindControl("FileDown_ConnectTime_lab");
  m_loadTime = FindControl("FileDown_DownloadTime_lab");
  m_speed = FindControl("FileDown_AverageSpeed_lab");
  m_types = FindControl("FileDown_Operators_CB");
  m_address = FindControl("FileDown_WWW_edit");
  m_chart = findChild<CTeeChartUI*>();
}

void CFileDownUI::OnMainWindowInit() {
  Engine();
  FillFileTypes();
}

// The user's settings file is known only once someone has logged in.
void CFileDownUI::OnLogin() { FillFileTypes(); }

void CFileDownUI::SetAlternateLook(bool alternate) {
  if (m_chart)
    m_chart->SetPicture(alternate ? CTeeChartUI::kAlternatePicture : CTeeChartUI::kPicture);
}

CFileDownSpeed* CFileDownUI::Engine() {
  if (!m_holder) {
    m_holder = std::make_unique<EngineHolder>();
    m_holder->page = this;
    m_holder->engine.SetListener(m_holder.get());
  }
  return &m_holder->engine;
}

void CFileDownUI::FillFileTypes() {
  m_items = settings::ReadModuleItems(settings::UserSettingsFile(), speedmodule::kFileDownload);
  auto* combo = qobject_cast<QComboBox*>(m_types.data());
  if (!combo) return;
  // Filling is not the user's choice: it leaves the address as it stands.
  const QSignalBlocker quiet(combo);
  combo->clear();
  for (const settings::ModuleItem& item : m_items)
    combo->addItem(QString::fromStdString(item.name));
  combo->setCurrentIndex(-1);
}

settings::ModuleItem CFileDownUI::ItemFor(const std::string& address) const {
  for (const settings::ModuleItem& item : m_items)
    if (item.address == address) return item;
  return {0, true, kOtherName, address};
}

void CFileDownUI::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kItemSelect && msg.senderName == "FileDown_Operators_CB") {
    const std::string name = ui::Text(msg.pSender).toStdString();
    for (const settings::ModuleItem& item : m_items) {
      if (item.name == name) {
        ui::SetText(m_address, QString::fromStdString(item.address));
        break;
      }
    }
  } else if (msg.sType == ui::kButtonDown && msg.eventType == ui::kEventButtonDown &&
             msg.senderName == "FileDown_Handle_btn") {
    Start();
  }
}

void CFileDownUI::Start() {
  if (CDataBase::Instance().testBusy.load() != 0) return;
  CFileDownSpeed* engine = Engine();
  if (engine->Running()) return;
  ClearLabels();
  const settings::ModuleItem item = ItemFor(ui::Text(m_address).toStdString());
  ui::SetEnabled(m_button, false);
  if (m_chart) m_chart->Clear();
  engine->quiet.store(false);
  engine->RunTest(item);
}

void CFileDownUI::ClearLabels() {
  for (QWidget* label :
       {m_downloaded.data(), m_total.data(), m_connect.data(), m_loadTime.data(), m_speed.data()})
    ui::SetText(label, kDash);
}

void CFileDownUI::SetLabels(const DownloadEvent& event) {
  ui::SetText(m_downloaded, QString::fromStdString(event.loaded));
  ui::SetText(m_total, QString::fromStdString(event.total));
  ui::SetText(m_connect, QString::fromStdString(event.connect));
  ui::SetText(m_loadTime, QString::fromStdString(event.loadTime));
  ui::SetText(m_speed, QString::fromStdString(event.speed));
}

int CFileDownUI::Ask(const DownloadEvent& event) {
  if (event.code == speedcode::kNetworkFailure || event.code == speedcode::kFileRefused)
    PostWarning(this, event);
  return -1;
}

void CFileDownUI::NotifyDownload(const DownloadEvent& event) { PostEvent(this, event); }

void CFileDownUI::NotifyWarning(const QString& message) {
  QWidget* owner = m_warningOwner ? m_warningOwner.data() : window();
  ShowWarning(owner, kWarningWindow, message, QPoint(180, 300));
  if (m_chart) m_chart->update();
}

void CFileDownUI::NotifyEvent(const DownloadEvent& event) {
  switch (event.code) {
    case speedcode::kOneSecondSample:
      if (m_chart) {
        if (!m_chart->IsAnimating()) m_chart->SetAnimating(true);
        m_chart->AddSample(static_cast<uint64_t>(std::max<int64_t>(event.lastSecondBytes, 0)));
      }
      SetLabels(event);
      break;
    case speedcode::kFinished:
    case speedcode::kFileRefused:
      if (m_chart) m_chart->SetAnimating(false);
      ui::SetEnabled(m_button, true);
      break;
    case speedcode::kNetworkFailure:
      if (m_chart) m_chart->SetAnimating(false);
      ui::SetEnabled(m_button, true);
      ClearLabels();
      break;
    default:
      break;
  }
}
