#include "video/void_speed_form.h"

#include <QBoxLayout>
#include <QScrollArea>
#include <thread>

#include "auto/settings_files.h"
#include "core/data_base.h"
#include "core/log_file.h"
#include "ui/controls.h"
#include "ui/thread.h"
#include "video/flash_form.h"
#include "video/list_void_element_ui.h"
#include "video/video_resolvers.h"

namespace {

CVoidSpeedForm* g_page = nullptr;

struct SiteButton {
  const char* name;
  int code;
  video::Site site;
};
constexpr SiteButton kSiteButtons[] = {
    {"Void_ku6_btn", 3, video::Site::Ku6},     {"Void_letv_btn", 12, video::Site::Ifeng},
    {"Void_youku_btn", 1, video::Site::Youku}, {"Void_tudou_btn", 2, video::Site::Tudou},
    {"Void_souhu_btn", 10, video::Site::Sohu},
};

constexpr const char* kButtons[] = {"Void_MoreClose_btn", "Void_much_btn",  "Void_Convert_btn",
                                    "Void_ku6_btn",       "Void_letv_btn",  "Void_youku_btn",
                                    "Void_tudou_btn",     "Void_souhu_btn", "Void_play_btn"};

const SiteButton* SiteButtonNamed(const QString& name) {
  for (const SiteButton& button : kSiteButtons)
    if (name == button.name) return &button;
  return nullptr;
}

}  // namespace

CVoidSpeedForm::CVoidSpeedForm(QWidget* parent) : ui::CScreenPage(parent) {}

CVoidSpeedForm* CVoidSpeedForm::Build(QWidget* parent) {
  auto* page = new CVoidSpeedForm(parent);
  if (!page->CreateFromLayout(kLayout)) {
    delete page;
    return nullptr;
  }
  page->FindControls();
  g_page = page;
  return page;
}

CVoidSpeedForm::~CVoidSpeedForm() {
  if (g_page == this) g_page = nullptr;
  if (m_flash) m_flash->SetListener(nullptr);
}

CVoidSpeedForm* CVoidSpeedForm::Instance() { return g_page; }

void CVoidSpeedForm::FindControls() {
  m_switch = FindControl("SwitchVoid");
  m_list = FindControl("VoidList");
  m_playEdit = FindControl("Void_play_Edit");
  m_convertEdit = FindControl("Void_Convert_Edit");
}

CFlashForm* CVoidSpeedForm::Player() const { return m_flash.data(); }

void CVoidSpeedForm::OnMainWindowInit() { CreatePlayer(); }

// The user's settings file is known only once someone has logged in.
void CVoidSpeedForm::OnLogin() { LoadSampleMap(); }

void CVoidSpeedForm::CreatePlayer() {
  if (m_flash) return;
  auto* flash = new CFlashForm(this);
  m_flash = flash;
  flash->SetListener(this);
  if (!flash->Create("FlashDialog")) {
    logs::Write(logs::kFlash, "视频插件初始化失败！");
  } else {
    // The page's player area, where it plays (the page is smaller than the main window).
    flash->MoveWindow(kPlayerX, kPlayerY);
    flash->show();
    flash->raise();
  }
  // The control is made with the window: when it is not ready now it never will be, and the
  // login need not wait for it.
  if (!m_playerReady) m_state->store(ui::PlayerState::Unavailable);
  LoadSampleMap();
}

void CVoidSpeedForm::PlayerReady(int value) {
  m_playerReady = value != 0;
  if (m_playerReady) m_state->store(ui::PlayerState::Ready);
}

void CVoidSpeedForm::LoadSampleMap() {
  m_samples.clear();
  for (const settings::ModuleItem& item :
       settings::ReadModuleItems(settings::UserSettingsFile(), speedmodule::kVideo))
    m_samples[std::to_string(item.id)] = item.address;
}

void CVoidSpeedForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType != ui::kButtonDown || msg.eventType != ui::kEventButtonDown) return;
  for (const char* name : kButtons) {
    if (msg.senderName == name) {
      PressButton(msg.senderName);
      return;
    }
  }
}

void CVoidSpeedForm::PressButton(const QString& name) {
  // One thing at a time: a test in progress, or a page being resolved, ignores every button.
  if (CDataBase::Instance().testBusy.load() != 0 || m_resolving) return;
  if (name == "Void_MoreClose_btn") {
    ui::SelectItem(m_switch, 0);
    ClearRows();
  } else if (name == "Void_much_btn") {
    ui::SelectItem(m_switch, 1);
  } else if (name == "Void_Convert_btn") {
    Convert();
  } else if (const SiteButton* site = SiteButtonNamed(name)) {
    Play(site->code, std::string());
  } else if (name == "Void_play_btn") {
    const std::string address = ui::Text(m_playEdit).trimmed().toStdString();
    if (!address.empty()) Play(kPlayAsGiven, address);
  }
}

void CVoidSpeedForm::Play(int siteCode, const std::string& address) {
  if (!m_playerReady || !m_flash) {
    logs::Write(logs::kFlash, "视频插件不可用，未能开始视频测速");
    return;
  }
  m_flash->MoveWindow(kPlayerX, kPlayerY);
  m_flash->raise();
  if (siteCode == kPlayAsGiven) {
    PlayResolved(address);
    return;
  }
  // The map is read at each press: the user may have logged in, or changed the settings.
  LoadSampleMap();
  auto it = m_samples.find(std::to_string(siteCode));
  const SiteButton* button = nullptr;
  for (const SiteButton& b : kSiteButtons)
    if (b.code == siteCode) button = &b;
  if (it == m_samples.end() || it->second.empty() || !button) return;
  // The worker gets its own copies; the page may change or go away while it resolves.
  m_resolving = true;
  QPointer<CVoidSpeedForm> self(this);
  std::thread([self, site = button->site, page = it->second] {
    const std::string media = video::FirstAddress(video::VideoResolver().ResolveSite(site, page));
    ui::Post([self, media] {
      if (!self) return;
      self->m_resolving = false;
      if (!media.empty()) self->PlayResolved(media);
    });
  }).detach();
}

void CVoidSpeedForm::PlayResolved(const std::string& address) {
  if (address.empty() || !m_flash) return;
  m_flash->RunManual(address);
}

void CVoidSpeedForm::Convert() {
  const std::string page = ui::Text(m_convertEdit).trimmed().toStdString();
  if (page.empty()) return;
  ClearRows();
  m_resolving = true;
  QPointer<CVoidSpeedForm> self(this);
  // Resolving fetches pages from the network: never on the window thread.
  std::thread([self, page] {
    std::vector<std::string> addresses =
        video::VideoResolver().Resolve(page, video::ResolveOrder::Manual);
    ui::Post([self, addresses = std::move(addresses)] {
      if (!self) return;
      self->m_resolving = false;
      self->AddRows(addresses);
    });
  }).detach();
}

std::vector<CListVoidElementUI*> CVoidSpeedForm::Rows() const {
  std::vector<CListVoidElementUI*> rows;
  auto* area = qobject_cast<QScrollArea*>(m_list.data());
  QWidget* body = area ? area->widget() : nullptr;
  if (!body || !body->layout()) return rows;
  for (int i = 0; i < body->layout()->count(); ++i)
    if (auto* row = qobject_cast<CListVoidElementUI*>(body->layout()->itemAt(i)->widget()))
      rows.push_back(row);
  return rows;
}

void CVoidSpeedForm::ClearRows() {
  for (CListVoidElementUI* row : Rows()) {
    row->hide();
    row->deleteLater();
    if (QWidget* body = row->parentWidget())
      if (body->layout()) body->layout()->removeWidget(row);
  }
}

void CVoidSpeedForm::AddRows(const std::vector<std::string>& addresses) {
  auto* area = qobject_cast<QScrollArea*>(m_list.data());
  QWidget* body = area ? area->widget() : nullptr;
  auto* layout = body ? qobject_cast<QBoxLayout*>(body->layout()) : nullptr;
  if (!layout) return;
  QPointer<CVoidSpeedForm> self(this);
  bool first = true;
  for (const std::string& address : addresses) {
    auto* row = CListVoidElementUI::Build(
        QString::fromStdString(address),
        [self](const QString& url) {
          if (self && CDataBase::Instance().testBusy.load() == 0 && !self->m_resolving)
            self->Play(kPlayAsGiven, url.toStdString());
        },
        body);
    if (!row) return;
    row->SetSelectHandler([self](CListVoidElementUI* chosen) {
      if (!self) return;
      for (CListVoidElementUI* other : self->Rows())
        if (other != chosen && other->IsSelected())
          ui::SetCheck(other->FindControl("Void_Select_URL"), false);
    });
    // Before the closing spacer.
    layout->insertWidget(layout->count() - 1, row);
    row->show();
    if (first) row->Select();
    first = false;
  }
}
