#include "apps/kestrane/handle_speed_form.h"

#include <QAbstractButton>
#include <QSignalBlocker>
#include <QStackedWidget>

#include "apps/kestrane/screen_table.h"
#include "core/data_base.h"
#include "ui/controls.h"

CHandleSpeedForm::CHandleSpeedForm(QWidget* parent) : ui::CScreenPage(parent) {
  setObjectName("Handle_Speed_Page");
}

bool CHandleSpeedForm::Create() {
  if (!CreateFromLayout("Handle_Speed.xml")) return false;
  CheckOption(CurrentPage());
  return true;
}

QWidget* CHandleSpeedForm::CreateControl(const QString& className, QWidget* parent) {
  return screens::Create(className, parent);
}

std::vector<ui::CScreenPage*> CHandleSpeedForm::Screens() const {
  std::vector<ui::CScreenPage*> list;
  QWidget* stack = FindControl("switchchild");
  if (!stack) return list;
  // In page order; a screen's own inner pages are not the stack's.
  auto* pages = qobject_cast<QStackedWidget*>(stack);
  for (int i = 0; pages && i < pages->count(); ++i)
    if (auto* page = dynamic_cast<ui::CScreenPage*>(pages->widget(i))) list.push_back(page);
  return list;
}

int CHandleSpeedForm::CurrentPage() const {
  int page = ui::GetCurSel(FindControl("switchchild"));
  return page < 0 ? 0 : page;
}

int CHandleSpeedForm::OptionIndex(const QString& name) {
  for (int i = 0; i < 4; ++i)
    if (name == kOptions[i]) return i;
  return -1;
}

void CHandleSpeedForm::CheckOption(int page) {
  if (page < 0 || page > 3) return;
  auto* option = Find<QAbstractButton>(kOptions[page]);
  if (!option || option->isChecked()) return;
  // Selecting again must not come back here as a change of its own.
  QSignalBlocker block(option);
  option->setChecked(true);
}

void CHandleSpeedForm::Select(int page) {
  if (page == CurrentPage()) {
    CheckOption(page);
    return;
  }
  if (CDataBase::Instance().testBusy.load()) {
    CheckOption(CurrentPage());
    return;
  }
  for (ui::CScreenPage* screen : Screens()) screen->HideEmbedded();
  ui::SelectItem(FindControl("switchchild"), page);
  CheckOption(page);
  for (ui::CScreenPage* screen : Screens())
    if (screen->isVisible()) screen->OnShown();
}

void CHandleSpeedForm::Notify(ui::TNotifyUI& msg) {
  int option = OptionIndex(msg.senderName);
  if (option < 0) return;
  if (msg.sType == ui::kButtonDown && msg.eventType == ui::kEventButtonDown) {
    Select(option);
  } else if (msg.sType == ui::kSelectChanged && msg.wParam == 1) {
    // A check that did not come from a press (keyboard) follows the same rule.
    Select(option);
  }
}

void CHandleSpeedForm::OnMainWindowInit() {
  for (ui::CScreenPage* s : Screens()) s->OnMainWindowInit();
}
void CHandleSpeedForm::OnLogin() {
  for (ui::CScreenPage* s : Screens()) s->OnLogin();
}
void CHandleSpeedForm::OnShown() {
  for (ui::CScreenPage* s : Screens())
    if (s->isVisible()) s->OnShown();
}
void CHandleSpeedForm::HideEmbedded() {
  for (ui::CScreenPage* s : Screens()) s->HideEmbedded();
}
void CHandleSpeedForm::SetAlternateLook(bool alternate) {
  for (ui::CScreenPage* s : Screens()) s->SetAlternateLook(alternate);
}

std::shared_ptr<std::atomic<ui::PlayerState>> CHandleSpeedForm::PlayerStateHandle() {
  for (ui::CScreenPage* s : Screens())
    if (auto state = s->PlayerStateHandle()) return state;
  return nullptr;
}
