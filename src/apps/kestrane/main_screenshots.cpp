// Renders the main window to PNG files, for people to look at:
//   kestrane-screenshots-main <Skin.zip> <output folder>
// The login is answered in place (no server); it runs in a temporary program folder.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <cstdio>
#include <functional>

#include "apps/kestrane/form_main.h"
#include "apps/kestrane/handle_speed_form.h"
#include "core/data_base.h"
#include "platform/program_folder.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/tools/shot_session.h"

namespace {

using ui::tools::ShotSession;

// Lets the window settle, then saves what it shows under "main-<name>".
bool Save(ShotSession& session, QWidget& w, const char* name) {
  ShotSession::Pump(150);
  return session.Save(w.grab().toImage(), QString("main-") + name);
}

std::unique_ptr<CFormMain> LoggedIn(int userType) {
  UserInfo user;
  user.userId = "10001";
  user.nickname = "演示用户";
  user.userType = userType;
  CDataBase::Instance().SetUserInfo(user);
  auto form = std::make_unique<CFormMain>();
  form->SetWindowOpener([](CFormMain::Window, int) { return 1; });
  if (!form->Create()) return nullptr;
  form->Park();
  ShotSession::PumpUntil([&] { return form->LoginDone(); }, 5000);
  form->Open();
  return form;
}

}  // namespace

int main(int argc, char** argv) {
  ShotSession session(argc, argv);
  if (const int code = session.Start()) return code;
  ui::CTrayIcon::SetAvailableForTesting(true);

  auto form = LoggedIn(1);
  if (!form) return 1;
  auto click = [&](QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) b->click();
  };
  auto* tests = dynamic_cast<CHandleSpeedForm*>(form->FindControl("Handle_Speed_Form"));
  const char* pages[4] = {"tests-bandwidth", "tests-web", "tests-video", "tests-download"};
  for (int i = 0; i < 4 && tests; ++i) {
    tests->SendNotify(ui::kButtonDown, tests->FindControl(CHandleSpeedForm::kOptions[i]), 0,
                      ui::kEventButtonDown);
    Save(session, *form, pages[i]);
  }
  if (tests)
    tests->SendNotify(ui::kButtonDown, tests->FindControl("NetWorkSpeed"), 0, ui::kEventButtonDown);
  click(form->FindControl("History_Record"));
  Save(session, *form, "history");
  click(form->FindControl("Setting"));
  Save(session, *form, "settings");
  click(form->FindControl("Handle_speed"));
  click(form->FindControl("ChangeSkinbtn"));
  Save(session, *form, "alternate");
  click(form->FindControl("ChangeSkinbtn"));
  form.reset();

  auto audited = LoggedIn(5);
  if (!audited) return 1;
  Save(session, *audited, "audited");
  audited.reset();

  // The tray's menu as it pops up.
  QMenu menu;
  menu.addAction("退出");
  menu.adjustSize();
  menu.show();
  Save(session, menu, "tray-menu");
  return session.Finish();
}
