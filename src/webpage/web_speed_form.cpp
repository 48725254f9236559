#include "webpage/web_speed_form.h"

#include "core/data_base.h"
#include "ui/controls.h"
#include "ui/thread.h"
#include "webpage/web_record.h"
#include "windows/first_screen_form.h"
#include "windows/secondary_window.h"
#include "windows/warning_dlg.h"

namespace {
CWebSpeedForm* g_page = nullptr;
}  // namespace

CWebSpeedForm::CWebSpeedForm(QWidget* parent) : ui::CScreenPage(parent) {}

CWebSpeedForm* CWebSpeedForm::Build(QWidget* parent) {
  auto* page = new CWebSpeedForm(parent);
  if (!page->CreateFromLayout(kLayout)) {
    delete page;
    return nullptr;
  }
  page->m_switch = page->FindControl("SwitchWeb");
  page->m_address = page->FindControl("Web_WWW_edit");
  g_page = page;
  return page;
}

CWebSpeedForm::~CWebSpeedForm() {
  if (g_page == this) g_page = nullptr;
  // The engine window belongs to the main window but lives as long as this page.
  if (m_engine) {
    m_engine->SetListener(nullptr);
    delete m_engine.data();
  }
}

CWebSpeedForm* CWebSpeedForm::Instance() { return g_page; }

CWebSpeed* CWebSpeedForm::SchedulerEngine() { return g_page ? g_page->Engine() : nullptr; }

QWidget* CWebSpeedForm::Owner() const { return window(); }

void CWebSpeedForm::OnMainWindowInit() { CreateEngine(Owner()); }

CWebSpeed* CWebSpeedForm::CreateEngine(QWidget* owner) {
  if (m_engine) return m_engine;
  auto* engine = new CWebSpeed(owner);
  engine->Create(kCreatedAt);
  engine->SetListener(this);
  m_engine = engine;
  return engine;
}

void CWebSpeedForm::OnShown() {
  if (m_pageShown && m_engine) m_engine->MoveWindow(kShownAt.x(), kShownAt.y());
}

void CWebSpeedForm::HideEmbedded() {
  if (m_engine) m_engine->MoveWindow(kHiddenAt.x(), kHiddenAt.y());
}

int CWebSpeedForm::SiteNumber(const QString& name) {
  for (int i = 0; i < 9; ++i)
    if (name == kSiteButtons[i]) return i;
  // "Web_btn" and the two characters after it.
  if (!name.startsWith("Web_btn")) return -1;
  bool ok = false;
  const int number = name.mid(7, 2).toInt(&ok);
  return ok && number >= 10 && number <= 30 ? number : -1;
}

void CWebSpeedForm::Start(const QString& address) {
  m_engine->MoveWindow(kShownAt.x(), kShownAt.y());
  m_pageShown = true;
  m_engine->quiet.store(false);
  m_engine->RunTest(address.toStdString(), 0);
}

void CWebSpeedForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType != ui::kButtonDown || msg.eventType != ui::kEventButtonDown) return;
  const QString& name = msg.senderName;
  if (CDataBase::Instance().testBusy.load() != 0) {
    if (name == "Web_Stop_btn" && m_engine) m_engine->StopTest();
    return;
  }
  if (name == "Web_Start_btn") {
    const QString text = ui::Text(m_address);
    if (m_engine && !text.isEmpty() && webpage::AddressLooksValid(text.toStdString())) Start(text);
  } else if (name == "Web_GoBack_btn") {
    if (m_pageShown && m_engine) {
      m_engine->BlankPage();
      m_engine->MoveWindow(kHiddenAt.x(), kHiddenAt.y());
      m_pageShown = false;
    }
    ui::SelectItem(m_switch, 0);
  } else if (name == "WebMoreGoback_btn") {
    ui::SelectItem(m_switch, 0);
  } else if (name == "WebMore_btn") {
    ui::SelectItem(m_switch, 1);
  } else if (const int site = SiteNumber(name); site >= 0 && m_engine) {
    // A site without an address in the shipped list leaves its button inert.
    const std::string address = webpage::SiteAddress(site);
    if (address.empty()) return;
    ui::SetText(m_address, QString::fromStdString(address));
    Start(QString::fromStdString(address));
  }
}

void CWebSpeedForm::NotifyWeb(const WebEvent& event) {
  QPointer<CWebSpeedForm> self(this);
  if (event.code == speedcode::kFinished) {
    const QString text = QString::fromStdString(event.text);
    ui::Post([self, text] {
      if (!self) return;
      QWidget* owner = self->Owner();
      auto* notice = new CFirstScreenForm(text, owner);
      if (!notice->Create()) {
        delete notice;
        return;
      }
      notice->setObjectName(kNoticeName);
      windows::PlaceWindow(*notice, owner, kNoticeAt);
      notice->ShowModeless();
    });
  } else if (event.code == speedcode::kNetworkFailure) {
    // Without a word the user would not know why nothing came up.
    const QString message = QString::fromStdString(event.message);
    ui::Post([self, message] {
      if (self) ShowWarning(self->Owner(), kWarningWindow, message, kWarningAt);
    });
  }
}
