#include "ui/application.h"

#include <QApplication>

#include "ui/skin.h"

namespace ui {

bool InitToolkit(const QString& zipPath) {
  SetupFonts();
  if (!SetResourceZip(zipPath)) return false;
  QApplication::setWindowIcon(ProgramIcon());
  // Windows are hidden to the tray; that must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  return true;
}

int MessageLoop() { return QApplication::exec(); }

}  // namespace ui
