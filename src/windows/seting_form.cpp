#include "windows/seting_form.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGridLayout>
#include <QLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <boost/regex.hpp>
#include <optional>
#include <thread>

#include "auto/settings_files.h"
#include "core/data_base.h"
#include "core/properties_file.h"
#include "platform/autostart.h"
#include "platform/process.h"
#include "platform/program_folder.h"
#include "ui/controls.h"
#include "ui/message_box.h"
#include "ui/thread.h"
#include "update_client/update_process.h"
#include "update_client/updater.h"
#include "windows/about_from.h"
#include "windows/secondary_window.h"
#include "windows/update_form.h"
#include "windows/user_page.h"

namespace {

CSetingForm* g_page = nullptr;

const char kTagProperty[] = "tag";
const char kWebTasks[] = "2_tasks";
const char kFileTasks[] = "4_tasks";

// Module check boxes, by module id 1..4, and the item containers their user data names.
const char* const kModuleChecks[4] = {"Set_NetworkSpeed_check", "Seting_Web_check",
                                      "Set_Video_check", "Set_Dlownload_check"};
const char* const kContainers[4] = {"Seting_Network_ver", "Seting_Website_ver", "Set_Video_ver",
                                    "Seting_FileDown_ver"};

// The address pattern; the "&amp;" runs stand in its character classes exactly as written.
const char kAddressPattern[] =
    R"(^((http|ftp|https):\/\/)?[\w\-_]+(\.[\w\-_]+)+([\w\-\.,@?^=%&amp;:/~\+#]*[\w\-\@?^=%&amp;/~\+#])?)";

int Tag(QWidget* w) { return w ? w->property(kTagProperty).toInt() : 0; }

void SetCheckQuietly(QWidget* box, bool on) {
  if (!box) return;
  const QSignalBlocker quiet(box);
  ui::SetCheck(box, on);
}

std::optional<bool> StoredSelection(const std::string& file, int moduleId, int itemId) {
  for (const settings::ModuleItem& item : settings::ReadModuleItems(file, moduleId))
    if (item.id == itemId) return item.selected;
  return std::nullopt;
}

// A properties switch written as "1"/"0"; what the file then holds decides the box.
bool WriteSwitch(const char* file, const char* key, bool on, bool stamp) {
  PropertiesFile props(file);
  props.Load();
  props.Set(key, on ? "1" : "0");
  props.Save(stamp);
  return conf::Read(file, key) == "1";
}

bool IsContainer(QWidget* w) {
  if (qobject_cast<CHorizontalLayoutListUI*>(w) || qobject_cast<QScrollArea*>(w)) return true;
  const QString cls = QString::fromLatin1(w->metaObject()->className());
  return cls == "QWidget" || cls == "QFrame" || cls == "QGroupBox" || cls == "QStackedWidget";
}

bool IsModuleCheck(const QString& name) {
  for (const char* check : kModuleChecks)
    if (name == check) return true;
  return false;
}

// On a worker: the manifest is fetched (bounded in size and time) and compared.
CSetingForm::UpdateCheckResult DefaultUpdateCheck() {
  CSetingForm::UpdateCheckResult result;
  CUpdater updater;
  bool failed = false;
  if (updater.IsAppUpToDate(&failed)) {
    DeleteFolderTree(kManifestFolder);
    result.outcome = CSetingForm::UpdateCheckResult::UpToDate;
    return result;
  }
  // No manifest, or one without a version: nothing is known, so nothing is offered.
  if (failed) return result;
  std::string notes, error;
  result.outcome = CSetingForm::UpdateCheckResult::NewVersion;
  result.notes = updater.ReadManifestNotes(notes, error) ? notes : error;
  return result;
}

// The interactive updater, with no word; it is reaped when it ends.
bool DefaultStartUpdater() { return StartUpdater("") != 0; }

}  // namespace

// ---------------------------------------------------------------------------------------------

CHorizontalLayoutListUI* CHorizontalLayoutListUI::Build(ui::CDialogBuilder& builder,
                                                        QWidget* parent) {
  auto* row = new CHorizontalLayoutListUI(parent);
  QWidget* root = builder.Create(CSetingForm::kItemLayout, {}, row);
  if (!root) {
    delete row;
    return nullptr;
  }
  auto* box = new QVBoxLayout(row);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(root);
  row->setFixedHeight(CSetingForm::kRowHeight);
  row->m_first = row->findChild<QWidget*>("Seting_first_check");
  row->m_second = row->findChild<QWidget*>("Seting_second_check");
  row->m_firstDelete = row->findChild<QWidget*>("Seting_Fdelete_btn");
  row->m_secondDelete = row->findChild<QWidget*>("Seting_Sdelete_btn");
  row->m_delimiter = row->findChild<QWidget*>("Seting_Delimiter_Lab");
  row->HideSecond();
  return row;
}

void CHorizontalLayoutListUI::SetEntry(int column, int id, const QString& name, bool selected,
                                       const QString& kind) {
  QWidget* check = Check(column);
  QWidget* del = Delete(column);
  if (check) {
    ui::SetText(check, name);
    check->setToolTip(name);
    SetCheckQuietly(check, selected);
    check->setProperty(kTagProperty, id);
    ui::SetUserData(check, kind);
    check->show();
  }
  if (del) {
    del->setProperty(kTagProperty, id);
    ui::SetUserData(del, kind);
    del->show();
  }
  if (column == 1 && m_delimiter) m_delimiter->show();
}

void CHorizontalLayoutListUI::HideSecond() {
  // The places stay taken, so a half row lines up with the full ones above it.
  for (QWidget* w : {m_second.data(), m_secondDelete.data(), m_delimiter.data()}) {
    if (!w) continue;
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
    w->hide();
  }
}

// ---------------------------------------------------------------------------------------------

CUtilityWnd::CUtilityWnd(std::string taskFile, int moduleId, QWidget* parent)
    : ui::CWindowWnd(parent), m_taskFile(std::move(taskFile)), m_module(moduleId) {}

bool CUtilityWnd::Create() { return ui::CWindowWnd::Create("Seting_Add.xml", kWindowName); }

bool CUtilityWnd::IsValidAddress(const std::string& address) {
  static const boost::regex pattern(kAddressPattern, boost::regex::perl);
  try {
    return boost::regex_match(address, pattern);
  } catch (const std::exception&) {
    // A long run of "a." before a character the pattern refuses makes the matcher give up
    // rather than try every split; such a text is no address.
    return false;
  }
}

QString CUtilityWnd::CheckEntry(int moduleId, const std::string& name, const std::string& address,
                                int* focus) {
  const bool web = moduleId == settings::kWebPage;
  int field = 0;
  QString error;
  if (name.empty()) {
    error = web ? "网站名称不能为空" : "文件名不能为空";
  } else if (address.empty()) {
    error = web ? "网站地址不能为空" : "文件地址不能为空";
    field = 1;
  } else if (!IsValidAddress(address)) {
    error = web ? "网站地址不正确" : "文件地址不正确";
    field = 1;
  }
  if (focus) *focus = field;
  return error;
}

void CUtilityWnd::Notify(ui::TNotifyUI& msg) {
  if (msg.sType == ui::kWindowInit) {
    const bool web = m_module == settings::kWebPage;
    ui::SetText(FindControl("Set_addname_Lab"), web ? "网站名称" : "文件名称");
    ui::SetText(FindControl("Set_address_Lab"), web ? "网站地址" : "文件地址");
    ui::SetText(FindControl("Set_Caption_Lab"), web ? "添加网站" : "添加文件");
    setWindowTitle(web ? "添加网站" : "添加文件");
    ui::SetText(FindControl("Set_AddError_lab"), QString());
    if (QWidget* name = FindControl("Seting_addName_edit")) name->setFocus();
  } else if (msg.sType == ui::kClick) {
    if (msg.senderName == "Seting_OK_btn") {
      Accept();
    } else if (msg.senderName == "Seting_NO_btn" || msg.senderName == "Set_close_btn") {
      Close(2);
    }
  } else if (msg.sType == ui::kReturn) {
    Accept();
  }
}

void CUtilityWnd::Accept() {
  QWidget* nameEdit = FindControl("Seting_addName_edit");
  QWidget* addressEdit = FindControl("Seting_Address_edit");
  QWidget* error = FindControl("Set_AddError_lab");
  const std::string name = ui::Text(nameEdit).toStdString();
  const std::string address = ui::Text(addressEdit).toStdString();
  int focus = 0;
  const QString problem = CheckEntry(m_module, name, address, &focus);
  if (!problem.isEmpty()) {
    ui::SetText(error, problem);
    if (QWidget* edit = focus == 0 ? nameEdit : addressEdit) edit->setFocus();
    return;
  }
  // The dialog stays open when the task file could not be written: closing would promise an
  // item that is not there.
  if (settings::AddItem(m_taskFile, m_module, name, address).empty()) {
    ui::SetText(error, kSaveFailed);
    return;
  }
  Close(1);
}

// ---------------------------------------------------------------------------------------------

CSetingForm::CSetingForm(QWidget* parent) : ui::CScreenPage(parent) {}

CSetingForm* CSetingForm::Build(QWidget* parent) {
  auto* page = new CSetingForm(parent);
  if (!page->CreateFromLayout(kLayout)) {
    delete page;
    return nullptr;
  }
  page->FindControls();
  g_page = page;
  return page;
}

CSetingForm::~CSetingForm() {
  if (g_page == this) g_page = nullptr;
}

CSetingForm* CSetingForm::Instance() { return g_page; }

void CSetingForm::FindControls() {
  m_auto = FindControl("Seting_Auto_ver");
  m_scroll = FindControl("Seting_Navigation_ver");
  m_web.container = FindControl("Seting_Website_ver");
  m_files.container = FindControl("Seting_FileDown_ver");
  FitHeights();
}

CSetingForm::TargetList* CSetingForm::List(int moduleId) {
  if (moduleId == settings::kWebPage) return &m_web;
  if (moduleId == settings::kFileDown) return &m_files;
  return nullptr;
}

int CSetingForm::ModuleOfContainer(const QString& name) {
  for (int i = 0; i < 4; ++i)
    if (name == kContainers[i]) return i + 1;
  return 0;
}

QWidget* CSetingForm::ContainerOfModule(int moduleId) const {
  return moduleId >= 1 && moduleId <= 4 ? FindControl(kContainers[moduleId - 1]) : nullptr;
}

void CSetingForm::OnLogin() {
  m_fillDone = false;
  Fill();
  // The template comes from the update server: the window thread does not wait for it. The
  // automatic section stays disabled meanwhile, so no choice made there races the merge.
  if (m_auto) m_auto->setEnabled(false);
  const std::string userId = CDataBase::Instance().GetUserInfo().userId;
  QPointer<CSetingForm> self(this);
  std::thread([self, userId] {
    settings::UpdateSettingsTemplate();
    settings::PrepareUserSettings(userId);
    ui::Post([self] {
      if (!self) return;
      if (self->m_auto) self->m_auto->setEnabled(true);
      self->Fill();
      self->m_fillDone = true;
    });
  }).detach();
}

void CSetingForm::Fill() {
  FillModules();
  RebuildTargets(settings::kWebPage);
  RebuildTargets(settings::kFileDown);
  FillOptions();
}

void CSetingForm::FillModules() {
  const std::string file = settings::UserSettingsFile();
  // Without the user's settings the boxes keep the state the layout gives them.
  if (file.empty() || !platform::IsFile(file)) return;
  for (int module = 1; module <= 4; ++module) {
    const bool selected = settings::IsModuleSelected(module, file);
    SetCheckQuietly(FindControl(kModuleChecks[module - 1]), selected);
    ui::SetEnabled(ContainerOfModule(module), selected);
  }
  FillItems(settings::kWebPage, "Seting_WebItems_grid", "Set_Web_check%1");
  FillItems(settings::kVideo, "Seting_VideoItems_grid", "Set_Video_check%1");
  FillItems(settings::kFileDown, "Seting_FileItems_grid", "Set_Dlownload_check%1");
  FitHeights();
}

void CSetingForm::FillItems(int moduleId, const char* gridName, const char* checkFormat) {
  QWidget* grid = FindControl(gridName);
  if (!grid) return;
  // The boxes are made from the file each time, so a template changed on the server shows.
  for (QWidget* old : grid->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
    delete old;
  auto* layout = qobject_cast<QGridLayout*>(grid->layout());
  if (!layout) {
    layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(12);
    layout->setVerticalSpacing(0);
  }
  const std::vector<settings::ModuleItem> items =
      settings::ReadModuleItems(settings::UserSettingsFile(), moduleId);
  int i = 0;
  for (const settings::ModuleItem& item : items) {
    auto* box = new QCheckBox(grid);
    box->setObjectName(QString::fromLatin1(checkFormat).arg(item.id));
    box->setText(QString::fromStdString(item.name));
    box->setToolTip(QString::fromStdString(item.address));
    box->setChecked(item.selected);
    box->setCursor(Qt::PointingHandCursor);
    box->setFocusPolicy(Qt::NoFocus);
    box->setFixedHeight(kItemLineHeight);
    box->setMinimumWidth(140);
    box->setProperty(kTagProperty, item.id);
    ui::SetUserData(box, QString::number(moduleId));
    layout->addWidget(box, i / kItemsPerLine, i % kItemsPerLine, Qt::AlignLeft);
    box->show();
    ++i;
  }
  for (int c = 0; c < kItemsPerLine; ++c) layout->setColumnStretch(c, 1);
  grid->setFixedHeight(((i + kItemsPerLine - 1) / kItemsPerLine) * kItemLineHeight);
  BindControls(grid);
}

void CSetingForm::FillOptions() {
  SetCheckQuietly(FindControl("Set_AutoUp_check"), platform::IsAutostartOn());
  SetCheckQuietly(FindControl("Set_AutoLogin_check"), conf::Read(conf::kUser, "auto") == "1");
  SetCheckQuietly(FindControl("Set_AutoSpeed_check"), conf::Read(conf::kConfig, "manual") == "1");
}

void CSetingForm::RebuildTargets(int moduleId) {
  TargetList* list = List(moduleId);
  if (!list || !list->container) return;
  auto* layout = qobject_cast<QVBoxLayout*>(list->container->layout());
  if (!layout) return;
  for (QPointer<CHorizontalLayoutListUI>& row : list->rows) {
    if (!row) continue;
    // The row may hold the button whose click got us here: it goes once that click is over.
    layout->removeWidget(row);
    row->hide();
    row->deleteLater();
  }
  list->rows.clear();
  list->count = 0;
  const QString kind = moduleId == settings::kWebPage ? kWebTasks : kFileTasks;
  const std::string file = settings::UserTasksFile();
  std::vector<settings::ModuleItem> items;
  if (!file.empty() && platform::IsFile(file)) items = settings::ReadModuleItems(file, moduleId);
  for (const settings::ModuleItem& item : items) {
    const int column = list->count % 2;
    if (column == 0) {
      CHorizontalLayoutListUI* row = CHorizontalLayoutListUI::Build(m_rowBuilder, list->container);
      if (!row) break;
      // After the item boxes, before the add button's row.
      layout->insertWidget(1 + static_cast<int>(list->rows.size()), row);
      // A new child of a shown widget stays hidden until shown, and the layout leaves hidden
      // widgets out of its height.
      row->show();
      list->rows.push_back(row);
    }
    list->rows.back()->SetEntry(column, item.id, QString::fromStdString(item.name), item.selected,
                                kind);
    ++list->count;
  }
  for (QPointer<CHorizontalLayoutListUI>& row : list->rows) BindControls(row);
  FitHeights();
}

std::vector<CHorizontalLayoutListUI*> CSetingForm::Rows(int moduleId) const {
  std::vector<CHorizontalLayoutListUI*> rows;
  const TargetList* list = moduleId == settings::kWebPage    ? &m_web
                           : moduleId == settings::kFileDown ? &m_files
                                                             : nullptr;
  if (list)
    for (const QPointer<CHorizontalLayoutListUI>& row : list->rows)
      if (row) rows.push_back(row);
  return rows;
}

int CSetingForm::TargetCount(int moduleId) const {
  if (moduleId == settings::kWebPage) return m_web.count;
  if (moduleId == settings::kFileDown) return m_files.count;
  return 0;
}

void CSetingForm::FitHeights() {
  // Every part of the automatic section has a fixed height, so the section is their sum:
  // one more row of targets makes the list and the section 24 pixels taller.
  for (const char* name : kContainers) {
    QWidget* container = FindControl(name);
    if (container && container->layout())
      container->setFixedHeight(container->layout()->sizeHint().height());
  }
  if (m_auto && m_auto->layout()) m_auto->setFixedHeight(m_auto->layout()->sizeHint().height());
}

int CSetingForm::AutoSectionHeight() const { return m_auto ? m_auto->maximumHeight() : 0; }

int CSetingForm::ScrollTarget(const QString& button) const {
  const int h = AutoSectionHeight();
  if (button == "Seting_Base_btn") return 0;
  if (button == "Seting_Auto_btn") return 120;
  if (button == "Seting_Update_btn") return h + 130;
  if (button == "Seting_UserInfo_btn") return h + 190;
  if (button == "Seting_BBS_btn") return h + 250;
  if (button == "Seting_Help_btn") return h + 310;
  if (button == "Seting_About_btn") return h + 370;
  return -1;
}

void CSetingForm::ScrollTo(int y) {
  auto* area = qobject_cast<QScrollArea*>(m_scroll.data());
  if (!area) return;
  // The content may not have been laid out yet when the page has never been shown.
  if (QWidget* content = area->widget()) {
    if (content->layout()) content->layout()->activate();
    content->resize(area->viewport()->width(),
                    std::max(content->sizeHint().height(), area->viewport()->height()));
  }
  area->verticalScrollBar()->setValue(y);
}

void CSetingForm::DisableControls(bool alsoAutoSection) {
  if (!m_saved.empty() || !Root()) return;
  if (alsoAutoSection && m_auto) {
    m_saved.push_back({m_auto, m_auto->testAttribute(Qt::WA_ForceDisabled)});
    m_auto->setEnabled(false);
  }
  QList<QWidget*> pending{Root()};
  while (!pending.isEmpty()) {
    QWidget* w = pending.takeFirst();
    if (qobject_cast<QScrollBar*>(w)) continue;
    if (w == Root() || IsContainer(w)) {
      for (QObject* child : w->children())
        if (auto* cw = qobject_cast<QWidget*>(child)) pending.append(cw);
      continue;
    }
    if (IsModuleCheck(w->objectName())) continue;
    m_saved.push_back({w, w->testAttribute(Qt::WA_ForceDisabled)});
    w->setEnabled(false);
  }
}

void CSetingForm::RestoreControls() {
  for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
    if (it->widget) it->widget->setEnabled(!it->disabled);
  m_saved.clear();
}

void CSetingForm::RunWindow(const std::function<void()>& show, bool alsoAutoSection) {
  if (ControlsDisabled()) return;
  DisableControls(alsoAutoSection);
  show();
  RestoreControls();
}

void CSetingForm::OpenAddDialog(int moduleId) {
  int result = 0;
  RunWindow(
      [&] {
        auto* dialog = new CUtilityWnd(settings::UserTasksFile(), moduleId, window());
        if (!dialog->Create()) {
          delete dialog;
          return;
        }
        result = windows::RunModal(dialog, window(), QPoint(240, 150));
      },
      true);
  if (result == 1) RebuildTargets(moduleId);
}

void CSetingForm::OnCheckClick(QWidget* box) {
  const QString name = box->objectName();
  const QString data = ui::UserData(box);
  // The box has already changed: its state is the wish. It then shows what was stored.
  const bool wish = ui::GetCheck(box);
  bool stored = wish;
  if (name == "Set_AutoUp_check") {
    platform::SetAutostart(wish);
    stored = platform::IsAutostartOn();
  } else if (name == "Set_AutoLogin_check") {
    stored = WriteSwitch(conf::kUser, "auto", wish, true);
  } else if (name == "Set_AutoSpeed_check") {
    stored = WriteSwitch(conf::kConfig, "manual", wish, true);
  } else if (const int module = ModuleOfContainer(data); module != 0) {
    const std::string file = settings::UserSettingsFile();
    settings::SetSelected(file, module, std::nullopt, wish);
    stored = settings::IsModuleSelected(module, file);
    ui::SetEnabled(ContainerOfModule(module), stored);
  } else if (data == "2" || data == "3" || data == "4") {
    const std::string file = settings::UserSettingsFile();
    settings::SetSelected(file, data.toInt(), Tag(box), wish);
    stored = StoredSelection(file, data.toInt(), Tag(box)).value_or(false);
  } else if (data == kWebTasks || data == kFileTasks) {
    const int module = data == kWebTasks ? settings::kWebPage : settings::kFileDown;
    const std::string file = settings::UserTasksFile();
    settings::SetSelected(file, module, Tag(box), wish);
    stored = StoredSelection(file, module, Tag(box)).value_or(false);
  } else {
    return;
  }
  SetCheckQuietly(box, stored);
}

void CSetingForm::OnDelete(QWidget* button) {
  const QString kind = ui::UserData(button);
  const int module = kind == kWebTasks    ? settings::kWebPage
                     : kind == kFileTasks ? settings::kFileDown
                                          : 0;
  if (module == 0) return;
  settings::DeleteItem(settings::UserTasksFile(), module, Tag(button));
  // Rebuilt from the file: the rest stays packed two to a row, and an entry whose delete could
  // not be stored stays listed.
  RebuildTargets(module);
}

void CSetingForm::CheckForUpdate() {
  if (m_checking || ControlsDisabled()) return;
  m_checking = true;
  DisableControls(false);
  UpdateChecker check = m_check ? m_check : UpdateChecker(DefaultUpdateCheck);
  QPointer<CSetingForm> self(this);
  // The manifest comes from the update server: never on the window thread.
  std::thread([self, check] {
    const UpdateCheckResult result = check();
    ui::Post([self, result] {
      if (self) self->FinishUpdateCheck(result);
    });
  }).detach();
}

void CSetingForm::FinishUpdateCheck(const UpdateCheckResult& result) {
  switch (result.outcome) {
    case UpdateCheckResult::Failed:
      ui::MessageBox(window(), kNoServer, kCaption);
      break;
    case UpdateCheckResult::UpToDate:
      ui::MessageBox(window(), kUpToDate, kCaption);
      break;
    case UpdateCheckResult::NewVersion:
      if (CUpdateForm::Show(window(), QString::fromStdString(result.notes)) == 1) {
        if (m_startUpdater)
          m_startUpdater();
        else
          DefaultStartUpdater();
      }
      break;
  }
  RestoreControls();
  m_checking = false;
}

void CSetingForm::Notify(ui::TNotifyUI& msg) {
  if (msg.sType != ui::kClick || !msg.pSender) return;
  const QString& name = msg.senderName;
  if (qobject_cast<QCheckBox*>(msg.pSender.data())) {
    OnCheckClick(msg.pSender);
    return;
  }
  if (name == "Seting_Fdelete_btn" || name == "Seting_Sdelete_btn") {
    OnDelete(msg.pSender);
  } else if (name == "Seting_Website_btn") {
    OpenAddDialog(settings::kWebPage);
  } else if (name == "Seting_FileDown_btn") {
    OpenAddDialog(settings::kFileDown);
  } else if (const int y = ScrollTarget(name); y >= 0) {
    ScrollTo(y);
  } else if (name == "Set_Update_Btn") {
    CheckForUpdate();
  } else if (name == "Set_UserInfo_Btn") {
    OpenUserPage("update", window());
  } else if (name == "Set_SpeedBBS_Btn") {
    OpenUserPage("BBS", window());
  } else if (name == "Set_Help_Btn") {
    const std::string page = platform::ProgramFolder() + "/help/index.html";
    if (m_open)
      m_open(page);
    else
      platform::OpenPage(page);
  } else if (name == "Set_About_Btn") {
    RunWindow([this] { CAboutFrom::Show(window()); });
  }
}
