// Renders the login window in each of its states to PNG files, for people to look at:
//   kestrane-screenshots-login <Skin.zip> <output folder>
// It runs in a temporary program folder, so no saved credentials are read or written.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>

#include "platform/program_folder.h"
#include "ui/application.h"
#include "windows/login_ui.h"

namespace {

void Pump(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool WaitUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
  return done();
}

struct Shot {
  const char* name;
  std::function<void(CLoginUI&)> prepare;
};

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
         WaitUntil([&] { return w.AnimationFrame() == 4; }, 2000);
       }},
      {"login-error-1000", answer(1000)},
      {"login-error-2", answer(2)},
      {"login-error-3", answer(3)},
      {"login-error-4", answer(4)},
  };

  int failures = 0;
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
    Pump(100);  // windowinit and the first paint
    shot.prepare(window);
    Pump(30);
    QString path = out + "/" + shot.name + ".png";
    if (!window.grab().save(path)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      ++failures;
    } else {
      std::printf("%s\n", qPrintable(path));
    }
  }
  return failures ? 1 : 0;
}
