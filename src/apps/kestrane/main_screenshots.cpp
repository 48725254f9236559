// Renders the main window to PNG files, for people to look at:
//   kestrane-screenshots-main <Skin.zip> <output folder>
// The login is answered in place (no server); it runs in a temporary program folder.

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

#include "apps/kestrane/form_main.h"
#include "apps/kestrane/handle_speed_form.h"
#include "core/data_base.h"
#include "platform/program_folder.h"
#include "ui/application.h"
#include "ui/controls.h"

namespace {

bool WaitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

void Settle() {
  WaitUntil([] { return false; }, 150);
}

bool Save(QWidget& w, const QString& out, const char* name) {
  Settle();
  QString path = out + "/main-" + name + ".png";
  if (!w.grab().save(path)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
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
  WaitUntil([&] { return form->LoginDone(); }, 5000);
  form->Open();
  return form;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <Skin.zip> <output folder>\n", argv[0]);
    return 2;
  }
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  const QString zip = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1]));
  const QString out = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[2]));
  QDir().mkpath(out);
  if (!ui::InitToolkit(zip)) {
    std::fprintf(stderr, "cannot open the skin %s\n", argv[1]);
    return 1;
  }
  QTemporaryDir folder;
  platform::SetProgramFolder(folder.path().toStdString());
  QDir::setCurrent(folder.path());
  ui::CTrayIcon::SetAvailableForTesting(true);

  bool ok = true;
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
    ok &= Save(*form, out, pages[i]);
  }
  if (tests)
    tests->SendNotify(ui::kButtonDown, tests->FindControl("NetWorkSpeed"), 0, ui::kEventButtonDown);
  click(form->FindControl("History_Record"));
  ok &= Save(*form, out, "history");
  click(form->FindControl("Setting"));
  ok &= Save(*form, out, "settings");
  click(form->FindControl("Handle_speed"));
  click(form->FindControl("ChangeSkinbtn"));
  ok &= Save(*form, out, "alternate");
  click(form->FindControl("ChangeSkinbtn"));
  form.reset();

  auto audited = LoggedIn(5);
  if (!audited) return 1;
  ok &= Save(*audited, out, "audited");
  audited.reset();

  // The tray's menu as it pops up.
  QMenu menu;
  menu.addAction("退出");
  menu.adjustSize();
  menu.show();
  ok &= Save(menu, out, "tray-menu");
  return ok ? 0 : 1;
}
