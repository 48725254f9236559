// Renders the login window in each of its states to PNG files, for people to look at:
//   kestrane-screenshots-login <Skin.zip> <output folder>
// It runs in a temporary program folder, so no saved credentials are read or written.

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <functional>

#include "platform/program_folder.h"
#include "ui/application.h"
#include "ui/tools/shot_session.h"
#include "windows/login_ui.h"

namespace {

using ui::tools::ShotSession;

struct Shot {
  const char* name;
  std::function<void(CLoginUI&)> prepare;
};

}  // namespace

int main(int argc, char** argv) {
  ShotSession session(argc, argv);
  if (const int code = session.Start()) return code;

  auto type = [](CLoginUI& w, const char* user, const char* password) {
    w.Find<QLineEdit>("Login_UserName_Edit")->setText(QString::fromUtf8(user));
    w.Find<QLineEdit>("Login_PassWord_Edit")->setText(QString::fromUtf8(password));
  };
  auto answer = [&](int code) {
    return [&, code](CLoginUI& w) {
      type(w, "王小明", "secret");
      w.Find<QPushButton>("Login_Login_btn")->click();
      w.OnLoginDone(code);
    };
  };
  const Shot shots[] = {
      {"login-idle", [](CLoginUI&) {}},
      {"login-filled", [&](CLoginUI& w) { type(w, "王小明", "secret"); }},
      {"login-empty-field", [](CLoginUI& w) { w.Find<QPushButton>("Login_Login_btn")->click(); }},
      {"login-busy",
       [&](CLoginUI& w) {
         type(w, "王小明", "secret");
         w.Find<QPushButton>("Login_Login_btn")->click();
         ShotSession::PumpUntil([&] { return w.AnimationFrame() == 4; }, 2000);
       }},
      {"login-error-1000", answer(1000)},
      {"login-error-2", answer(2)},
      {"login-error-3", answer(3)},
      {"login-error-4", answer(4)},
  };

  for (const Shot& shot : shots) {
    CLoginUI window;
    // The window never reaches a server here: logins stay pending until answered by hand.
    window.SetLoginStarter([](const std::string&, const std::string&, std::function<void(int)>) {});
    if (!window.Create()) {
      std::fprintf(stderr, "cannot build Login.xml\n");
      return 1;
    }
    window.CenterWindow();
    window.show();
    ShotSession::Pump(100);  // windowinit and the first paint
    shot.prepare(window);
    ShotSession::Pump(30);
    session.Save(window.grab().toImage(), shot.name);
  }
  return session.Finish();
}
