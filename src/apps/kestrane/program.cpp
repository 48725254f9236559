#include "apps/kestrane/program.h"

#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "apps/kestrane/form_main.h"
#include "apps/kestrane/start_up.h"
#include "core/log_file.h"
#include "platform/program_folder.h"
#include "ui/application.h"
#include "ui/message_box.h"
#include "ui/skin.h"
#include "webpage/web_speed.h"
#include "windows/wnd_shadow.h"

namespace {

// The text goes to stderr as well; a message box only where someone can see and answer it.
void Tell(const QString& text) {
  std::fprintf(stderr, "%s\n", qPrintable(text));
  const QString platform = QGuiApplication::platformName();
  if (platform == "offscreen" || platform == "minimal") return;
  ui::MessageBox(nullptr, text, startup::kNoticeCaption);
}

}  // namespace

int RunKestrane(int argc, char** argv, const std::function<void(CFormMain&)>& wire) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  platform::EnterProgramFolder();
  // The browser of the web page test will not start as root with its sandbox on.
  const std::string sandboxNote = webpage::PrepareBrowserEnvironment(false);
  if (!sandboxNote.empty()) logs::Write(logs::kMain, "%s", sandboxNote.c_str());
  // The skin loader brings the web engine in as a plugin; it needs shared contexts up front.
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);

  const std::string lockPath = startup::InstanceLockPath();
  switch (startup::AcquireInstanceLock(lockPath, startup::LockWait(args))) {
    case startup::LockResult::Acquired:
      break;
    case startup::LockResult::HeldElsewhere:
      Tell(startup::kAlreadyRunning);
      return 0;
    case startup::LockResult::Unavailable:
      logs::Write(logs::kMain, "instance lock %s cannot be made; going on without it",
                  lockPath.c_str());
      break;
  }

  if (!ui::InitToolkit(ui::kSkinZip) || !ui::SkinFileExists("main.xml")) {
    Tell(QString("无法打开界面文件 %1（main.xml）").arg(ui::kSkinZip));
    return 1;
  }
  CWndShadow::Initialize();

  CFormMain form(args);
  if (!form.Create()) {
    Tell(QString("无法打开界面文件 %1（main.xml）").arg(ui::kSkinZip));
    return 1;
  }
  if (wire) wire(form);
  if (form.GetHooks().startUpdateClient) form.GetHooks().startUpdateClient();
  form.Park();
  return ui::MessageLoop();
}
