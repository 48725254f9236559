#include "config_editor/tarnell_app.h"

#include <QApplication>

#include "config_editor/tarnell_dlg.h"

int CTarnellApp::Run() {
  QApplication::setApplicationName("Tarnell");
  QApplication::setWindowIcon(tarnell::ProgramIcon());
  CTarnellDlg dlg;
  dlg.exec();
  return 0;
}
