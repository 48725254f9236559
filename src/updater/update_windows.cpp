#include "updater/update_windows.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdlib>

#include "updater/end_tip_dlg.h"
#include "updater/prog_dlg.h"

CUpdateWindows::CUpdateWindows(int& argc, char** argv, const updater::UpdateTiming& timing)
    : m_argc(argc), m_argv(argv), m_timing(timing) {}

CUpdateWindows::~CUpdateWindows() = default;

void CUpdateWindows::EnsureApplication() {
  if (m_app || QApplication::instance()) return;
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((!x || !*x) && (!wayland || !*wayland)) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  m_app = std::make_unique<QApplication>(m_argc, m_argv);
  QApplication::setApplicationName("Update");
}

int CUpdateWindows::FetchWithProgress(const std::vector<updater::UpdateFileEntry>& files,
                                      updater::FileFetcher& fetcher) {
  EnsureApplication();
  CProgDlg dlg(files, fetcher);
  return dlg.exec();
}

void CUpdateWindows::ShowRestartCountdown() {
  EnsureApplication();
  CEndTipDlg dlg(m_timing.countdownTickMs);
  dlg.exec();
}

void CUpdateWindows::ShowRestartFailed() {
  EnsureApplication();
  // Without a display nobody could answer the box, and the background passes would stop.
  if (QGuiApplication::platformName() == "offscreen") return;
  QMessageBox box(QMessageBox::NoIcon, "Update", QString::fromUtf8(updater::kRestartFailedText),
                  QMessageBox::Ok);
  box.exec();
}
